# Generates one of the pipeline tests' scenes once per test run (the tests fall back to
# making their own when run on their own):
# cmake -DTAGFORGE=... -DOUT=... -DNAME=... -DVIEWS=... -DCAMERA=WxH -P generate_scenes.cmake
# TOOLKIT_SCENE_GENERATOR, when set, names the tagforge to use (as for the tests).
if(DEFINED ENV{TOOLKIT_SCENE_GENERATOR} AND NOT "$ENV{TOOLKIT_SCENE_GENERATOR}" STREQUAL "")
  set(TAGFORGE "$ENV{TOOLKIT_SCENE_GENERATOR}")
endif()
file(REMOVE_RECURSE "${OUT}/${NAME}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(
  COMMAND "${TAGFORGE}" scene --out "${OUT}/${NAME}" --views ${VIEWS} --camera ${CAMERA} --seed 3
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tagforge scene ${NAME} failed: ${status}")
endif()
