cmake_minimum_required(VERSION 3.25)
# Windows' own programs (explorer, cmd, net) are started by full path: CreateProcess with no application
# name searches the tool's own and the current folder first, so a planted net.exe would run instead. The
# Windows code is only compiled by the cross build, which the Linux test run leaves to its own stage; this
# check reads the sources, so it runs with every test run. Run as: cmake -DSRC=<src folder> -P <this file>
get_filename_component(SRC "${SRC}" ABSOLUTE)
file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(problems "")
set(calls 0)
foreach(file IN LISTS sources)
  file(READ ${SRC}/${file} text)
  if(NOT text MATCHES "CreateProcess")
    continue()
  endif()
  # The first argument, however the call is laid out over lines.
  string(REGEX MATCHALL "CreateProcess[AW]?\\([ \t\r\n]*[A-Za-z_0-9]*" found "${text}")
  foreach(call IN LISTS found)
    math(EXPR calls "${calls} + 1")
    if(call MATCHES "\\([ \t\r\n]*(nullptr|NULL|0)$")
      string(REGEX REPLACE "[ \t\r\n]+" " " call "${call}")
      string(APPEND problems "  src/${file}: ${call}\n")
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "a program is started without its full path (CreateProcess with no application "
                      "name):\n${problems}")
endif()
message(STATUS "${calls} CreateProcess calls name their program")
