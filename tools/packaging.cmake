# The manual page, the copyright and changelog files, and the studio-wide Debian package:
# `cpack -G DEB` in the build folder (or `make deb`) installs to /usr, where every operator
# keeps settings of their own (see app/SettingsPlace.h).

find_program(GZIP gzip REQUIRED)
# -n: no name or time stamp inside, so the same page gives the same file.
foreach(doc resources/velmora.1:velmora.1.gz resources/debian/changelog:changelog.gz)
  string(REPLACE ":" ";" pair "${doc}")
  list(GET pair 0 source)
  list(GET pair 1 packed)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${packed}
                     COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/${source} > ${CMAKE_BINARY_DIR}/${packed}
                     DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  list(APPEND packed_docs ${CMAKE_BINARY_DIR}/${packed})
endforeach()
add_custom_target(velmora_docs ALL DEPENDS ${packed_docs})
install(FILES ${CMAKE_BINARY_DIR}/velmora.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/velmora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION 1.0)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Velmora Studio Systems <support@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio metering console for broadcast studios")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "One window captures a live stereo input from the sound card the operator\n"
    "chooses (ALSA or JACK) and shows it on VU needle meters, PEAK bar meters with\n"
    "dB read-outs, CLIP latches, a goniometer, two spectrum analysers, a level trend\n"
    "graph and a loudness page (EBU R128, ATSC A/85). It also measures the loudness\n"
    "of audio files from the command line.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X platform plugin is loaded at run time, so the libraries' list does not name it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# `default` through the desktop's sound server, and the fonts the faces are drawn in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libasound2-plugins, fonts-liberation, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
