# The Debian package: "cpack -G DEB" in the build folder writes
# rtqflash_<version>_<arch>.deb with the three programs (installed by their
# own folders), the desktop entry, icons, AppStream metadata, manual pages,
# the udev rule and the copyright and changelog files.

set(rtq_pkg_src ${CMAKE_SOURCE_DIR}/packaging)
set(rtq_pkg_gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${rtq_pkg_gen})

# Debian wants manual pages and changelogs compressed at the highest level,
# without the file's name and time in the header (reproducible builds).
set(rtq_pkg_gz)
foreach(src man/rtqflash.1 man/rtqflash-cli.1 man/rtqsim.1 changelog)
  get_filename_component(name ${src} NAME)
  set(out ${rtq_pkg_gen}/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" sh ${rtq_pkg_src}/${src} ${out}
    DEPENDS ${rtq_pkg_src}/${src} VERBATIM)
  list(APPEND rtq_pkg_gz ${out})
endforeach()
add_custom_target(rtq_package_files ALL DEPENDS ${rtq_pkg_gz})

install(FILES ${rtq_pkg_gen}/rtqflash-cli.1.gz ${rtq_pkg_gen}/rtqsim.1.gz
  DESTINATION share/man/man1)
install(FILES ${rtq_pkg_src}/copyright DESTINATION share/doc/rtqflash)
# A native package: its changelog carries no ".Debian".
install(FILES ${rtq_pkg_gen}/changelog.gz DESTINATION share/doc/rtqflash)
# Sorted before 73-seat-late.rules, which turns the uaccess tag into access.
install(FILES ${rtq_pkg_src}/70-rtqflash.rules DESTINATION lib/udev/rules.d)
if(TARGET rtqflash)
  install(FILES ${rtq_pkg_gen}/rtqflash.1.gz DESTINATION share/man/man1)
  install(FILES ${rtq_pkg_src}/rtqflash.desktop DESTINATION share/applications)
  install(FILES ${rtq_pkg_src}/org.rtqflash.rtqflash.metainfo.xml DESTINATION share/metainfo)
  foreach(size 16 32 48)
    install(FILES ${CMAKE_SOURCE_DIR}/ui/resources/icon_${size}.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME rtqflash.png)
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rtqflash)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT "rtqflash maintainers <maintainers@users.noreply.c-seed-02722653.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flash utility for RTQ650 receipt printers")
# The summary above is the synopsis line; this is the text under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Writes main firmware, the initial program loader, character-generator
fonts and the Bluetooth PIN code or friendly name to RTQ650-family
portable receipt printers over a serial port, a Bluetooth serial port or
USB, and checks every sector written against the printer's checksum.
.
The package holds the dialog (rtqflash), the same downloads from the
command line (rtqflash-cli) and a simulated printer on a pseudo-terminal
(rtqsim). A udev rule lets the logged-in user open attached printers.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Release builds carry debug information; the package does not.
set(CPACK_STRIP_FILES ON)
# Not the umask of whoever runs cpack.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
