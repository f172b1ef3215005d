# The Windows edition's packages, made by the build: an NSIS installer of the launcher folder
# (cmake/windows_installer.nsi) and the same folder as a portable .zip, in package/. The folder
# is the demo installation's launcher folder unless QUEND_PACKAGE_LAUNCHER_FOLDER names a
# publisher's own (Launcher.ini, Skin.ini, skin, language files); either way Launcher.exe is this
# build's.
set(QUEND_PACKAGE_LAUNCHER_FOLDER "" CACHE PATH
    "The launcher folder to package (default: the demo installation's)")
set(QUEND_INSTALLER_GAME_DIR "$PROGRAMFILES64\\Quendalor" CACHE STRING
    "The game folder the installer offers (NSIS variables allowed); the player may choose another")
find_program(QUEND_MAKENSIS makensis)

set(package_dir ${PROJECT_BINARY_DIR}/package)
set(package_name Quendalor-Launcher-${PROJECT_VERSION}-windows)
set(QUEND_WINDOWS_SETUP ${package_dir}/${package_name}-setup.exe)
set(QUEND_WINDOWS_ZIP ${package_dir}/${package_name}-portable.zip)
if(QUEND_PACKAGE_LAUNCHER_FOLDER)
  set(source_folder ${QUEND_PACKAGE_LAUNCHER_FOLDER})
else()
  set(source_folder ${PROJECT_BINARY_DIR}/demo/Quendalor/Launcher)
endif()

add_custom_command(
  OUTPUT ${package_dir}/folder.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_dir}/Launcher
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${source_folder} ${package_dir}/Launcher
  COMMAND ${CMAKE_COMMAND} -E rm -f ${package_dir}/Launcher/Temp.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Launcher> ${package_dir}/Launcher/Launcher.exe
  COMMAND ${CMAKE_COMMAND} -E touch ${package_dir}/folder.stamp
  DEPENDS demo ${PROJECT_BINARY_DIR}/demo/stage.stamp Launcher
  COMMENT "Assembling the launcher folder to package"
  VERBATIM)

add_custom_command(
  OUTPUT ${QUEND_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUEND_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${package_dir}
          ${CMAKE_COMMAND} -E tar cf ${QUEND_WINDOWS_ZIP} --format=zip Launcher
  DEPENDS ${package_dir}/folder.stamp
  COMMENT "Packing ${package_name}-portable.zip"
  VERBATIM)
set(packages ${QUEND_WINDOWS_ZIP})

if(QUEND_MAKENSIS)
  add_custom_command(
    OUTPUT ${QUEND_WINDOWS_SETUP}
    COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/nsis_uninstall_list.sh ${package_dir}/Launcher
            ${package_dir}/uninstall.nsh
    COMMAND ${QUEND_MAKENSIS} -V2 -DSOURCE_DIR=${package_dir}/Launcher
            -DUNINSTALL_LIST=${package_dir}/uninstall.nsh -DOUT_FILE=${QUEND_WINDOWS_SETUP}
            -DVERSION=${PROJECT_VERSION} -DGAME_DIR=${QUEND_INSTALLER_GAME_DIR}
            ${PROJECT_SOURCE_DIR}/cmake/windows_installer.nsi
    DEPENDS ${package_dir}/folder.stamp ${PROJECT_SOURCE_DIR}/cmake/windows_installer.nsi
            ${PROJECT_SOURCE_DIR}/cmake/nsis_uninstall_list.sh
    COMMENT "Building ${package_name}-setup.exe with NSIS"
    VERBATIM)
  list(APPEND packages ${QUEND_WINDOWS_SETUP})
else()
  message(STATUS "No makensis: the Windows installer is not built")
endif()
add_custom_target(windows_packages ALL DEPENDS ${packages})
