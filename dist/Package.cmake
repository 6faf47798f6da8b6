# `make package` (scripts/package.sh; or `cpack -G DEB` in any build folder): veltrix_<version>_amd64.deb,
# the install rules of dist/CMakeLists.txt under /usr, with the run-time
# libraries found by dpkg-shlibdeps (GTK among them: the settings sheet's
# library in the bundle needs it, though the saver loads it only for the sheet).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Veltrix")
set(CPACK_PACKAGE_CONTACT "Veltrix maintainers <maintainers@veltrix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "plasma ball, lightning and stars screen saver for XScreenSaver")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A textured plasma ball inside a glow shell, lightning arcing to the shell,
streaming stars and a lens flare over a galaxy, seen by a camera flying
recorded paths, with two ambient music tracks. Runs as an XScreenSaver hack
(veltrix) or a MATE screen saver theme, in a window, on every monitor of X
or every output of a Wayland compositor, or records frames headless;
veltrix --configure edits its stored settings.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libdecor draws the window's title bar on GNOME and weston only through a plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdecor-0-plugin-1-cairo")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | mate-screensaver, swayidle")
set(CPACK_STRIP_FILES ON)
include(CPack)
