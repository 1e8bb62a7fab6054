# Writes a text file of the Windows zip with CRLF line ends, as Notepad and
# every Windows editor expect them. Run at build time as
#   cmake -DIN=FILE -DOUT=FILE [-DGUIDE=ON] -P zip-text.cmake
# GUIDE=ON makes the zip's README.md of the source tree's: a link to a file
# under docs/, bench/ or examples/, which the zip does not hold, becomes its
# text, and a note under the title says where those files are.
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
if(GUIDE)
  string(REGEX REPLACE "\\[([^]]*)\\]\\(((docs|bench|examples)/[^)]*)\\)" "\\1" text "${text}")
  string(REGEX REPLACE "^# tolvane\n\n" "# tolvane\n\n\
This copy of the guide comes with the Windows zip, which holds the files\n\
listed under [Getting tolvane](#getting-tolvane). What it names under\n\
`docs/`, `bench/` and `examples/` is in tolvane's source tree.\n\n" text "${text}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT}.part "${text}")
file(RENAME ${OUT}.part ${OUT})
