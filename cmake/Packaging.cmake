# Installing the desktop program (its folder has no install rule of its own)
# and the Debian package: "cpack -G DEB" in the build folder. The package's
# dependencies are found by dpkg-shlibdeps from the libraries the programs
# link.
if(TARGET sondaro)
  install(TARGETS sondaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The spectrogram picture without a window; sondaro-cli --spectrogram runs it
# from the folder it is in itself.
if(TARGET sondaro-spectrogram)
  install(TARGETS sondaro-spectrogram RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_PACKAGE_NAME sondaro)
set(CPACK_PACKAGE_VENDOR "Sondaro")
set(CPACK_PACKAGE_CONTACT "Sondaro maintainers <maintainers@sondaro.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio file analyser: what each file is and how it was encoded")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Sondaro reads the headers, tags and encoder marks of audio files (no audio\n"
    "is decoded) and lists type, size, length, sample rate, channels, bits per\n"
    "sample, compression ratio, bitrate and the encoder with its settings: LAME\n"
    "version and preset, Vorbis release, WavPack and Musepack modes and more.\n"
    "The package holds the desktop program sondaro and the command-line tool\n"
    "sondaro-cli.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
