# Installation and packages. tolvane reads tolvane.ini from the directory of
# its own executable, so an example configuration goes beside it; the
# user's own tolvane.ini there is never replaced.
# Linux: bin/tolvane, bin/tolvane.ini (only where there is none, and never
# in the package), tolvane.ini.example beside it and in share/doc/tolvane,
# the manual page, README.md and LICENSE; a .tar.gz that, like the zip, can
# be unpacked over an older installation and keeps its tolvane.ini; a
# Debian package (cmake/debian.cmake). Windows: side by side, the files
# that README.md lists as the zip's contents (tests/zip_test.sh holds the
# zip to that list): the driver, the examples, the command script, the
# manual as HTML, README.md and LICENSE; a .zip that can be unpacked over an
# older one and keeps the tolvane.ini made from an example.
# `cmake --install --strip` strips the driver; packages are always stripped.

configure_file(man/tolvane.1.in ${PROJECT_BINARY_DIR}/tolvane.1 @ONLY)

if(WIN32)
  install(TARGETS tolvane RUNTIME DESTINATION .)
  # The zip's text files, with CRLF line ends, in the build tree: name in
  # the zip, then the file of this tree.
  set(tolvane_zip_texts
    tolvane.ini.example examples/windows/nasm/tolvane.ini
    tolvane.ini.kit-example examples/windows/kit/tolvane.ini
    tolvane.ini.script-example examples/windows/script/tolvane.ini
    build.bat examples/windows/script/build.bat
    hello.asm examples/windows/hello/hello.asm
    README.md README.md
    LICENSE LICENSE)
  set(tolvane_zip_files)
  while(tolvane_zip_texts)
    list(POP_FRONT tolvane_zip_texts name source)
    set(out ${PROJECT_BINARY_DIR}/zip/${name})
    set(guide OFF)
    if(name STREQUAL "README.md")
      set(guide ON)
    endif()
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${source} -DOUT=${out} -DGUIDE=${guide}
              -P ${PROJECT_SOURCE_DIR}/cmake/zip-text.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${PROJECT_SOURCE_DIR}/cmake/zip-text.cmake VERBATIM)
    list(APPEND tolvane_zip_files ${out})
  endwhile()
  add_custom_target(tolvane_zip_texts ALL DEPENDS ${tolvane_zip_files})
  install(FILES ${tolvane_zip_files} DESTINATION .)
  # Windows has no man: the zip's manual is the same page as HTML, made by
  # mandoc. Without mandoc tolvane.exe builds, and a zip cannot be made.
  find_program(TOLVANE_MANDOC mandoc)
  if(TOLVANE_MANDOC)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/zip/tolvane.html
      COMMAND ${CMAKE_COMMAND} -DMANDOC=${TOLVANE_MANDOC} -DPAGE=${PROJECT_BINARY_DIR}/tolvane.1
              -DHTML=${PROJECT_BINARY_DIR}/zip/tolvane.html -P ${PROJECT_SOURCE_DIR}/cmake/manual-html.cmake
      DEPENDS ${PROJECT_BINARY_DIR}/tolvane.1 ${PROJECT_SOURCE_DIR}/cmake/manual-html.cmake VERBATIM)
    add_custom_target(tolvane_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/zip/tolvane.html)
    install(FILES ${PROJECT_BINARY_DIR}/zip/tolvane.html DESTINATION .)
  else()
    install(CODE "message(FATAL_ERROR \"The zip's manual, tolvane.html, is made by mandoc, which was not \
found: install it (sudo apt-get install mandoc), then run cmake and cpack again.\")")
  endif()
  set(CPACK_GENERATOR ZIP)
  # The files at the top of the archive, so that a new version unpacks into
  # the folder of the old one: the user's tolvane.ini is not in the archive.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(TOLVANE_PACKAGE_SYSTEM win64)
  if(TOLVANE_UTF8)
    string(APPEND TOLVANE_PACKAGE_SYSTEM -utf8)
  endif()
else()
  include(GNUInstallDirs)
  install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The configuration a fresh installation works with at once; the same
  # file, always current, is the example beside it and in the documentation
  # directory. Its component is left out of the package.
  install(CODE "
    set(tolvane_ini \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tolvane.ini\")
    if(EXISTS \"\$ENV{DESTDIR}\${tolvane_ini}\")
      message(STATUS \"Keeping: \$ENV{DESTDIR}\${tolvane_ini} (the example is tolvane.ini.example beside it)\")
    else()
      file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" TYPE FILE
           FILES \"${PROJECT_SOURCE_DIR}/examples/tolvane.ini\")
    endif()" COMPONENT config)
  install(FILES examples/tolvane.ini DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tolvane.ini.example)
  install(FILES examples/tolvane.ini DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME tolvane.ini.example)
  install(FILES ${PROJECT_BINARY_DIR}/tolvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR TGZ)
  # One archive of every component but the configuration.
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL Unspecified)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(TOLVANE_PACKAGE_SYSTEM ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_PACKAGE_CONTACT "tolvane developers <maintainers@tolvane.example>")
  include(cmake/debian.cmake)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-options.cmake)
endif()

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "tolvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small build driver that runs an assembler and a linker")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_FILE_NAME "tolvane-${PROJECT_VERSION}-${TOLVANE_PACKAGE_SYSTEM}")
include(CPack)
