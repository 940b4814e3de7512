# What a Linux desktop and its packagers expect beside the programs: the desktop entry and icon,
# the software centre's metadata, manual pages, shell completion and the Debian package's docs.
set(TARNWICK_ID org.tarnwick.tarnwick)
set(TARNWICK_SCREENSHOT_URL "" CACHE STRING
    "Public https address of the folder holding docs/window-*.png, for software centres; empty leaves the screenshots out")

install(FILES resources/${TARNWICK_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/icons/tarnwick.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES resources/icons/tarnwick-256.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME tarnwick.png)

# A software centre only fetches screenshots over https, so without a public address they are left out.
if(TARNWICK_SCREENSHOT_URL)
    set(TARNWICK_SCREENSHOTS_BEGIN "")
    set(TARNWICK_SCREENSHOTS_END "")
else()
    set(TARNWICK_SCREENSHOTS_BEGIN "<!-- ")
    set(TARNWICK_SCREENSHOTS_END " -->")
endif()
configure_file(resources/${TARNWICK_ID}.metainfo.xml.in share/metainfo/${TARNWICK_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/share/metainfo/${TARNWICK_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, compressed as Debian wants them; the date follows SOURCE_DATE_EPOCH when it is set.
string(TIMESTAMP TARNWICK_MAN_DATE "%Y-%m-%d" UTC)
foreach(page man1/tarnwick.1 man1/tarnwick-cli.1 ru/man1/tarnwick.1 ru/man1/tarnwick-cli.1)
    string(REPLACE "man1/" "" source docs/man/${page}.in)
    configure_file(${source} share/man/${page} @ONLY)
    execute_process(COMMAND gzip -9 -n -f -k ${PROJECT_BINARY_DIR}/share/man/${page} COMMAND_ERROR_IS_FATAL ANY)
    get_filename_component(folder ${page} DIRECTORY)
    install(FILES ${PROJECT_BINARY_DIR}/share/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${folder})
endforeach()

install(FILES resources/completion/tarnwick-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The Debian package's docs: its copyright and, compressed, its changelog.
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)
configure_file(resources/debian/changelog share/doc/tarnwick/changelog COPYONLY)
execute_process(COMMAND gzip -9 -n -f -k ${PROJECT_BINARY_DIR}/share/doc/tarnwick/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES resources/debian/copyright ${PROJECT_BINARY_DIR}/share/doc/tarnwick/changelog.gz DESTINATION ${docdir})
