# Installs like a desktop program: the tool, its desktop entry and its icon under the prefix
# (`cmake --install DIR`, /usr/local unless told otherwise), and a .deb of the same files (`cpack -G DEB`
# in DIR) that depends on the packages the tool needs at run time.
include(GNUInstallDirs)

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
install(TARGETS quorix-dbtools RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Windows: the program alone; Qt's windeployqt puts the libraries it needs beside it (README, "Windows").
# The portable zip and the installer are made by scripts/windows/package.sh.
if(WIN32)
  return()
endif()
install(FILES ${_packaging}/quorix-dbtools.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_packaging}/quorix-dbtools.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The same icon rendered (scripts/render-icons.sh), for desktops that draw no SVG.
foreach(_size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/app/data/icons/quorix-dbtools-${_size}.png RENAME quorix-dbtools.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()

# The run-time packages: one a line, '#' starts a comment. scripts/deps.sh reads the same file.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_packaging}/run-packages.txt)
file(STRINGS ${_packaging}/run-packages.txt _lines)
set(_depends "")
foreach(_line IN LISTS _lines)
  string(REGEX REPLACE "#.*" "" _line "${_line}")
  string(STRIP "${_line}" _line)
  if(_line)
    list(APPEND _depends ${_line})
  endif()
endforeach()
list(JOIN _depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# What the shell buttons start (shares/posix/PosixShell.cpp): the file manager through xdg-open, a terminal,
# and smbclient in it when the desktop has not mounted the share. The tool runs without them and says
# which one is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "smbclient, xdg-utils, xterm | x-terminal-emulator")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorix-dbtools)
set(CPACK_PACKAGE_VENDOR QUORIX)
# All four numbers: the revision is what tells two builds apart.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Looks after two SQL Server instances and the mirroring between them")
set(CPACK_PACKAGE_DESCRIPTION "A DBA's desktop tool for a SQL Server instance and its standby: sets up and \
repairs mirroring, backs up and copies the backups between the servers' shares, restores folders of \
backups, copies tables and builds test databases, each step a line in its log.")
set(CPACK_PACKAGE_CONTACT "QUORIX DB Tools <dbtools@quorix.local>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debug information; the package does not.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
include(CPack)
