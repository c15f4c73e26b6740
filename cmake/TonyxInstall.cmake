# What `cmake --install` puts into a prefix, and the Debian package CPack
# makes of it. The program finds its MIDI library in a private folder
# through its RUNPATH, and its shipped readme.txt beside its other data;
# the same relative paths hold in any prefix.
include(GNUInstallDirs)

set(TONYX_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/tonyx)
set(TONYX_DATADIR ${CMAKE_INSTALL_DATADIR}/tonyx)
file(RELATIVE_PATH tonyx_lib_from_bin
  /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TONYX_PRIVATE_LIBDIR})
file(RELATIVE_PATH tonyx_data_from_bin
  /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TONYX_DATADIR})

set_target_properties(tonyx PROPERTIES INSTALL_RPATH "$ORIGIN/${tonyx_lib_from_bin}")
target_compile_definitions(tonyx_desktop PRIVATE TONYX_DATA_FROM_BINARIES="${tonyx_data_from_bin}")

install(TARGETS tonyx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The library is the program's own: no header, no development link.
install(TARGETS MidiLib32 LIBRARY DESTINATION ${TONYX_PRIVATE_LIBDIR} NAMELINK_SKIP)
install(FILES app/readme.txt DESTINATION ${TONYX_DATADIR})

set(tonyx_app_id org.tonyx.Tonyx)
set(tonyx_icons ${CMAKE_SOURCE_DIR}/packaging/icons)
install(FILES ${tonyx_icons}/${tonyx_app_id}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${tonyx_icons}/${tonyx_app_id}-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${tonyx_app_id}.png)
endforeach()
install(FILES packaging/${tonyx_app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The menu entry starts the program by its full path, so a prefix whose
# bin folder is not on the desktop's PATH (~/.local) works too. The prefix
# is the one installed into, which `cmake --install --prefix` may change.
install(CODE "
  set(TONYX_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tonyx\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/${tonyx_app_id}.desktop.in\"
    \"${CMAKE_BINARY_DIR}/packaging/${tonyx_app_id}.desktop\" @ONLY)
  file(INSTALL \"${CMAKE_BINARY_DIR}/packaging/${tonyx_app_id}.desktop\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
")

# The Debian package: `cpack -G DEB` in the build folder. Its dependencies
# come from the binaries (dpkg-shlibdeps), except what the MIDI library
# loads at run time: FluidSynth and a General MIDI soundfont.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonyx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tonyx team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ear trainer for two-note intervals")
set(CPACK_PACKAGE_DESCRIPTION
  "Tonyx plays two notes, as a chord or one after the other, and you name\n\
the interval from the keyboard. It keeps per-interval error statistics,\n\
a score for each drill and a table of high scores. Notes sound through\n\
its built-in synthesizer or any MIDI port.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Tonyx team <tonyx@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The toolkit's X11 and Wayland platform plugins are loaded at run time
# too; without one the window cannot open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libfluidsynth3, timgm6mb-soundfont, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
