# Generates one of the tests' shared scenes once per test run (a CTest fixture; the tests fall
# back to making their own when run on their own, see sharedScene in test_support.h):
# cmake -DTAGFORGE=... -DOUT=... -DNAME=... -DARGS=--views,10,--camera,960x720 -P generate_scene.cmake
# makes OUT/NAME with `tagforge scene --out OUT/NAME ARGS` (ARGS comma-separated).
# TOOLKIT_SCENE_GENERATOR, when set, names the tagforge to use (as for the tests).
if(DEFINED ENV{TOOLKIT_SCENE_GENERATOR} AND NOT "$ENV{TOOLKIT_SCENE_GENERATOR}" STREQUAL "")
  set(TAGFORGE "$ENV{TOOLKIT_SCENE_GENERATOR}")
endif()
string(REPLACE "," ";" args "${ARGS}")
file(REMOVE_RECURSE "${OUT}/${NAME}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(
  COMMAND "${TAGFORGE}" scene --out "${OUT}/${NAME}" ${args}
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tagforge scene ${NAME} failed: ${status}")
endif()
