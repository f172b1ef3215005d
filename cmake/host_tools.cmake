# The Windows build borrows three programs of a Linux build of this tree: quend-skin-gen draws the
# demo's skin, quend-pack encodes Launcher.ini and writes checksum lists, quend-devserver serves
# the demo to the tests under Wine. Without them the build still makes the programs and their
# suites, but no demo installation, no installer and no window test.
set(QUEND_HOST_BUILD "${PROJECT_SOURCE_DIR}/build/default" CACHE PATH
    "A Linux build of this tree (preset default) whose tools the Windows build runs")
find_program(QUEND_HOST_SKIN_GEN quend-skin-gen PATHS ${QUEND_HOST_BUILD}/demo NO_DEFAULT_PATH)
find_program(QUEND_HOST_PACK quend-pack PATHS ${QUEND_HOST_BUILD}/tools/pack NO_DEFAULT_PATH)
find_program(QUEND_HOST_DEVSERVER quend-devserver PATHS ${QUEND_HOST_BUILD}/tools/devserver
             NO_DEFAULT_PATH)
if(QUEND_HOST_SKIN_GEN AND QUEND_HOST_PACK AND QUEND_HOST_DEVSERVER)
  set(QUEND_HOST_TOOLS_FOUND ON)
else()
  set(QUEND_HOST_TOOLS_FOUND OFF)
  message(STATUS "No quend-skin-gen, quend-pack and quend-devserver in ${QUEND_HOST_BUILD} "
                 "(build the default preset first): no demo installation, installer or window test")
endif()
