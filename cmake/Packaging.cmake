# The Debian package: `cpack --preset default` after a build of the default preset.
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR Tarnwick)
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <developers@tarnwick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "studio for recording the voice-over of a scripted video")
# One line each as the package shows it: Debian wants at most 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tarnwick shows a video's scenario as a table of blocks, records takes of each"
    "block or segment from the microphone as 24-bit 48 kHz WAV files, plays them"
    "back and keeps the chosen take of each. A take is written to disk as it is"
    "recorded and survives a crash. The window and its messages are in Russian;"
    "tarnwick-cli runs the same rules from a terminal.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The default preset keeps debug info for development; the package does without it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs (file choosers, message boxes) come in Russian from its translations.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# Recording needs a PulseAudio-compatible server, which a desktop already runs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")

include(CPack)
