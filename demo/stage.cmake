# Assembles the demo installation in OUT from the sources in SOURCE and the generated files in
# GEN. Run by the build with -DSOURCE= -DGEN= -DOUT= -DGAME= -DLAUNCHER= -DPACK= -DNEW_VERSION=.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${errors}")
  endif()
endfunction()

set(game ${OUT}/Quendalor)
set(launcher ${game}/Launcher)
set(update ${OUT}/update)
file(REMOVE_RECURSE ${game} ${update})

# The player's game folder, one version behind, with the launcher folder inside.
file(COPY ${SOURCE}/game-old/ DESTINATION ${game})
file(COPY ${GAME} DESTINATION ${game}/Bin)
file(COPY ${GEN}/Launcher.ini ${GEN}/Launcher.chs ${SOURCE}/Launcher.eng ${SOURCE}/Skin.ini
     DESTINATION ${launcher})
foreach(language chs eng)
  file(COPY ${GEN}/skin/ DESTINATION ${launcher}/Skin/${language})
endforeach()
file(COPY ${LAUNCHER} DESTINATION ${launcher})

# What the update server offers: the new version with its lists, and the web pages.
file(COPY ${SOURCE}/game-new/ DESTINATION ${update}/quendalor)
file(COPY ${GAME} DESTINATION ${update}/quendalor/Bin)
run(${PACK} checksums ${update}/quendalor --out ${update}/quendalor --version ${NEW_VERSION})
# The game whose new version is not ready yet has nothing to fetch.
file(MAKE_DIRECTORY ${update}/classic)
run(${PACK} checksums ${update}/classic --out ${update}/classic)
file(COPY ${SOURCE}/web/ DESTINATION ${update}/web)

file(COPY ${SOURCE}/devserver.json DESTINATION ${OUT})
