# How the launcher is installed and packaged. The launcher ships inside a game folder:
#   bin/                        quend-pack, quend-devserver, quendalor-launcher (starts the launcher)
#   share/quendalor/Quendalor/  the game folder as a publisher ships it, with Launcher/ inside
#   share/quendalor/demo/       devserver.json and the update folder that go with it
# plus a desktop entry and its icon. CPack makes a .deb and a .tar.gz of it.
include(GNUInstallDirs)

set(QUEND_SHARE ${CMAKE_INSTALL_DATADIR}/quendalor)
set(QUEND_GAME ${QUEND_SHARE}/Quendalor)
set(QUEND_LAUNCHER_DIR ${QUEND_GAME}/Launcher)
set(QUEND_DEMO_SRC ${PROJECT_SOURCE_DIR}/demo)
set(QUEND_DEMO_BIN ${PROJECT_BINARY_DIR}/demo)

install(TARGETS quend-pack quend-devserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${QUEND_DEMO_SRC}/quendalor-launcher.sh
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quendalor-launcher)

# The launcher folder.
install(TARGETS Launcher RUNTIME DESTINATION ${QUEND_LAUNCHER_DIR})
install(FILES ${QUEND_DEMO_BIN}/gen/Launcher.ini ${QUEND_DEMO_BIN}/gen/Launcher.chs
              ${QUEND_DEMO_SRC}/Launcher.eng ${QUEND_DEMO_SRC}/Skin.ini
        DESTINATION ${QUEND_LAUNCHER_DIR})
foreach(language chs eng)
  install(DIRECTORY ${QUEND_DEMO_BIN}/gen/skin/ DESTINATION ${QUEND_LAUNCHER_DIR}/Skin/${language}
          FILES_MATCHING PATTERN "*.bmp")
endforeach()

# The rest of the game folder, and the servers' side of the demo.
install(DIRECTORY ${QUEND_DEMO_SRC}/game-old/ DESTINATION ${QUEND_GAME})
# The staged copy, never stripped: it must stay identical to the one the update folder lists.
install(PROGRAMS ${QUEND_DEMO_BIN}/Quendalor/Bin/Qnd.exe DESTINATION ${QUEND_GAME}/Bin)
install(FILES ${QUEND_DEMO_SRC}/devserver.json DESTINATION ${QUEND_SHARE}/demo)
install(DIRECTORY ${QUEND_DEMO_BIN}/update DESTINATION ${QUEND_SHARE}/demo USE_SOURCE_PERMISSIONS)

install(FILES ${QUEND_DEMO_SRC}/quendalor-launcher.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUEND_DEMO_BIN}/gen/quendalor-launcher.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/docs/publishing.md ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME quendalor-launcher)
set(CPACK_PACKAGE_VENDOR "Quendalor Demo Studio")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Launcher and patcher of the online game Quendalor, with its publisher tools")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quendalor Demo Studio <launcher@quendalor.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
