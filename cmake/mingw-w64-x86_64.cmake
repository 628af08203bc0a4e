# Cross-compiling for 64-bit Windows on Debian with mingw-w64 (GCC, posix thread model, which gives
# std::thread and std::mutex). Used by scripts/windows/build.sh with
#   -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_PREFIX_PATH=<Qt built for mingw>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_AR /usr/bin/${_triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${_triple}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers and import libraries of the Windows API live in the mingw-w64 sysroot; the Qt given in
# CMAKE_PREFIX_PATH holds Windows packages too, so it is searched as a root of its own.
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
if(CMAKE_PREFIX_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
endif()
# Programs (moc, rcc, uic) are the build machine's; libraries, headers and packages only the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
