# The Debian package, `cpack -G DEB`: the layout Debian users expect. Its
# files belong to the component deb, which neither `cmake --install` nor the
# tarball holds:
#   /usr/bin/tolvane              -> ../lib/tolvane/tolvane
#   /usr/lib/tolvane/tolvane         the driver; it reads tolvane.ini beside
#                                    its real path, links resolved
#   /usr/lib/tolvane/tolvane.ini  -> /etc/tolvane/tolvane.ini
#   /etc/tolvane/tolvane.ini         the example, a conffile: dpkg keeps the
#                                    user's edits on upgrade and purges it
# with the manual page, the copyright file, the changelog and the example
# in /usr/share, compressed as Debian's tools do it (gzip -9n).
set(tolvane_deb ${PROJECT_BINARY_DIR}/deb)
file(MAKE_DIRECTORY ${tolvane_deb})
file(CREATE_LINK ../lib/tolvane/tolvane ${tolvane_deb}/tolvane SYMBOLIC)
file(CREATE_LINK /etc/tolvane/tolvane.ini ${tolvane_deb}/tolvane.ini SYMBOLIC)
file(WRITE ${tolvane_deb}/conffiles "/etc/tolvane/tolvane.ini\n")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE tolvane_license)
file(WRITE ${tolvane_deb}/copyright "tolvane ${PROJECT_VERSION}\n\nLicense: Expat (MIT)\n\n${tolvane_license}")
string(TIMESTAMP tolvane_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${tolvane_deb}/changelog "tolvane (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}: see /usr/share/doc/tolvane/README.md.gz.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${tolvane_date}\n")
foreach(file ${PROJECT_BINARY_DIR}/tolvane.1 ${tolvane_deb}/changelog ${PROJECT_SOURCE_DIR}/README.md)
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND gzip -9n -c ${file} OUTPUT_FILE ${tolvane_deb}/${name}.gz RESULT_VARIABLE failed)
  if(failed)
    message(WARNING "gzip failed: cpack -G DEB will not work")
  endif()
endforeach()

set(tolvane_part COMPONENT deb EXCLUDE_FROM_ALL)
install(TARGETS tolvane RUNTIME DESTINATION lib/tolvane ${tolvane_part})
install(FILES ${tolvane_deb}/tolvane.ini DESTINATION lib/tolvane ${tolvane_part})
install(FILES ${tolvane_deb}/tolvane DESTINATION bin ${tolvane_part})
install(FILES examples/tolvane.ini DESTINATION /etc/tolvane ${tolvane_part})
install(FILES ${tolvane_deb}/tolvane.1.gz DESTINATION share/man/man1 ${tolvane_part})
install(FILES ${tolvane_deb}/copyright ${tolvane_deb}/changelog.gz ${tolvane_deb}/README.md.gz
  DESTINATION share/doc/tolvane ${tolvane_part})
install(FILES examples/tolvane.ini DESTINATION share/doc/tolvane RENAME tolvane.ini.example ${tolvane_part})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS binutils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${tolvane_deb}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_PACKAGE_DESCRIPTION
  "tolvane runs an assembler and then, when it succeeded, a linker, for the\n"
  "source file it is given. Which programs run, with which arguments, comes\n"
  "from /etc/tolvane/tolvane.ini, where @1 stands for the file named and @1.o\n"
  "for its path with the extension replaced. The example runs the GNU\n"
  "assembler and linker (binutils).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
if(TOLVANE_STATIC AND TOLVANE_CAN_LINK_STATIC)
  # Linked statically on purpose (a start without the loader, see
  # CMakeLists.txt), which lintian reports unless told.
  install(FILES cmake/lintian-overrides DESTINATION share/lintian/overrides RENAME tolvane ${tolvane_part})
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
