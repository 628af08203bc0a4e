cmake_minimum_required(VERSION 3.25)
# Which room of src/ may include which: the dependencies run one way, from the window down to the toolkit,
# the sessions and the shares. Run as: cmake -DSRC=<src folder> -P check_rooms.cmake
#
#   app/                        everything
#   mirroring/ restore/ tablecopy/ testdata/ devtools/ status/
#                               itself, ui/, db/, shares/ (never app/ nor another feature)
#   db/  shares/                itself, ui/; shares/ also db/ (its buttons log)
#   ui/                         itself, and only the pure pieces it waits on and lists with
set(allowed_app app ui db mirroring shares restore tablecopy testdata devtools status)
set(allowed_db db ui)
set(allowed_shares shares ui db)
set(allowed_ui ui shares/FileAccess.h shares/FileErrors.h db/DbWorker.h)
foreach(feature mirroring restore tablecopy testdata devtools status)
  set(allowed_${feature} ${feature} ui db shares)
endforeach()

file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(problems "")
foreach(file IN LISTS sources)
  string(REGEX MATCH "^[^/]+" room "${file}")
  if(NOT DEFINED allowed_${room})
    continue()
  endif()
  file(STRINGS ${SRC}/${file} includes REGEX "^#include \"[a-z]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    string(REGEX MATCH "^[^/]+" target "${header}")
    if(NOT target IN_LIST allowed_${room} AND NOT header IN_LIST allowed_${room})
      string(APPEND problems "  src/${file} includes ${header}\n")
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "includes that cross the rooms' rule:\n${problems}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files keep to the rooms' rule")
