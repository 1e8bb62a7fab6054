# Installation and packages. tolvane reads tolvane.ini from the directory of
# its own executable, so an example configuration is installed beside it.
# Linux: bin/tolvane, bin/tolvane.ini, the manual page and the README; a
# .tar.gz. Windows: tolvane.exe, tolvane.ini and README.md side by side; a .zip.

if(WIN32)
  set(TOLVANE_BIN_DIR .)
  install(TARGETS tolvane RUNTIME DESTINATION ${TOLVANE_BIN_DIR})
  install(FILES examples/windows/nasm/tolvane.ini DESTINATION ${TOLVANE_BIN_DIR})
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
else()
  include(GNUInstallDirs)
  install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES examples/tolvane.ini DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES man/tolvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "tolvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A small build driver that runs an assembler and a linker")
set(CPACK_PACKAGE_FILE_NAME "tolvane-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
include(CPack)
