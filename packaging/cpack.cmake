# "cpack -G DEB" in the build folder (or scripts/package.sh) makes
# zqreader_VERSION_ARCH.deb of everything "cmake --install" installs.

set(CPACK_GENERATOR DEB)
# cpack packages what has been built, without building the whole tree (tests
# and benchmarks included) again first; scripts/package.sh builds, then packs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME zqreader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZQreader maintainers <maintainers@zqreader.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download a receiver's event log into a database")
set(CPACK_PACKAGE_DESCRIPTION
  "ZQreader downloads the event log of a receiver device over a serial port,\n"
  "dates every event, appends the events to an SQLite database and shows them\n"
  "joined with the names of their users. It comes with a desktop program, a\n"
  "command-line program with systemd units for scheduled downloads, and a\n"
  "simulated receiver for trying it without the hardware.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from the binaries; these are loaded at
# run time: the SQLite driver, the desktop's platform plugins, and adduser for
# the service's user.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, adduser")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland, sqlite3")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
