# The Debian package (cpack -G DEB, or the "package" target): the three programs, the menu
# entry with its icon, the AppStream metadata, the man pages, README, copyright and changelog
# under /usr/share/doc/tavrona. scripts/package-check.sh builds and checks it.
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${gen})

# Man pages and the changelog are installed compressed, as Debian wants them; -n keeps the
# bytes the same from one build to the next.
set(compressed)
foreach(page tavrona.1 tavrona-report.1 sensor-sim.1 changelog)
    configure_file(${pkg}/${page} ${gen}/${page} @ONLY)
    add_custom_command(OUTPUT ${gen}/${page}.gz
        COMMAND gzip -9n -c ${gen}/${page} > ${gen}/${page}.gz
        DEPENDS ${gen}/${page} VERBATIM)
    list(APPEND compressed ${gen}/${page}.gz)
endforeach()
add_custom_target(package_files ALL DEPENDS ${compressed})
configure_file(${pkg}/org.tavrona.Station.metainfo.xml ${gen}/org.tavrona.Station.metainfo.xml @ONLY)

install(FILES ${gen}/tavrona.1.gz ${gen}/tavrona-report.1.gz ${gen}/sensor-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg}/tavrona.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/resources/emblem.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME tavrona.png)
install(FILES ${gen}/org.tavrona.Station.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${pkg}/copyright DESTINATION ${TAVRONA_DOC_SUBDIR})
install(FILES ${gen}/changelog.gz DESTINATION ${TAVRONA_DOC_SUBDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrona)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrona developers <maintainers@tavrona.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fuel tank monitoring station")
set(CPACK_PACKAGE_DESCRIPTION "Tavrona polls up to 14 fuel-level sensors on one serial line, stores the
readings in SQLite, shows each tank as a tile, finds deliveries and losses,
raises alarms, makes inventory reports (tavrona-report) and publishes states
and alarms over MQTT and by e-mail. sensor-sim simulates a sensor line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
