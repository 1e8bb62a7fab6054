# Writes the manual page as HTML, the manual of the Windows zip, where no
# man reads the page itself. Run at build time as
#   cmake -DMANDOC=PROGRAM -DPAGE=tolvane.1 -DHTML=tolvane.html -P manual-html.cmake
# and fails the build when mandoc does, rather than ship half a manual. Its
# lines end with CRLF, as every text file of the zip.
execute_process(COMMAND ${MANDOC} -T html ${PAGE} OUTPUT_FILE ${HTML}.part RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${HTML}.part)
  message(FATAL_ERROR "mandoc could not make ${HTML} of ${PAGE}: ${failed}")
endif()
file(READ ${HTML}.part text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${HTML}.part "${text}")
file(RENAME ${HTML}.part ${HTML})
