# Windows resources. tolvane.exe carries a version resource made from the
# project's version; with TOLVANE_UTF8 it also carries an application
# manifest that makes UTF-8 its code page, so that paths and configuration
# values are UTF-8 and not limited to the ANSI code page.
enable_language(RC)

if(TOLVANE_UTF8)
  set(TOLVANE_FILE_DESCRIPTION "tolvane build driver (UTF-8)")
else()
  set(TOLVANE_FILE_DESCRIPTION "tolvane build driver")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tolvane.rc.in ${PROJECT_BINARY_DIR}/tolvane.rc @ONLY)
target_sources(tolvane PRIVATE ${PROJECT_BINARY_DIR}/tolvane.rc)

set(TOLVANE_UTF8_MANIFEST ${PROJECT_BINARY_DIR}/utf8.manifest)
configure_file(${PROJECT_SOURCE_DIR}/cmake/utf8.manifest.in ${TOLVANE_UTF8_MANIFEST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/utf8-manifest.rc.in ${PROJECT_BINARY_DIR}/utf8-manifest.rc @ONLY)

# Embeds the UTF-8 manifest in `target`. MSVC's linker makes a manifest of
# its own and merges this one into it; other toolchains take the resource.
function(tolvane_utf8_manifest target)
  if(MSVC)
    target_sources(${target} PRIVATE ${TOLVANE_UTF8_MANIFEST})
  else()
    target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/utf8-manifest.rc)
  endif()
endfunction()

if(TOLVANE_UTF8)
  target_compile_definitions(tolvane_core PUBLIC TOLVANE_UTF8)
  tolvane_utf8_manifest(tolvane)
endif()
