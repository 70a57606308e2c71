# Generates one of the tests' shared scenes once per test run (a CTest fixture; the tests fall
# back to making their own when run on their own, see sharedScene in test_support.h):
# cmake -DTAGFORGE=... -DOUT=... -DNAME=... -DARGS=--views,10,--camera,960x720 -P generate_scene.cmake
# makes OUT/NAME with `tagforge scene --out OUT/NAME ARGS` (ARGS comma-separated).
# TOOLKIT_SCENE_GENERATOR, when set, names the tagforge to use (as for the tests).
if(DEFINED ENV{TOOLKIT_SCENE_GENERATOR} AND NOT "$ENV{TOOLKIT_SCENE_GENERATOR}" STREQUAL "")
  set(TAGFORGE "$ENV{TOOLKIT_SCENE_GENERATOR}")
endif()
# TOOLKIT_SCENE_CACHE, when set, names a folder of scenes made before (see generateScene in
# test_support.h): the same generator file with the same arguments is copied from there.
string(REPLACE "," ";" args "${ARGS}")
file(REMOVE_RECURSE "${OUT}/${NAME}")
file(MAKE_DIRECTORY "${OUT}")
set(cache "$ENV{TOOLKIT_SCENE_CACHE}")
if(NOT cache STREQUAL "")
  get_filename_component(generator "${TAGFORGE}" REALPATH)
  file(SIZE "${generator}" size)
  file(TIMESTAMP "${generator}" stamp "%Y-%m-%dT%H:%M:%S" UTC)
  string(SHA1 key "${generator};${size};${stamp};${ARGS}")
  set(entry "${cache}/fixture-${key}")
  if(EXISTS "${entry}/scene/truth.yaml")
    file(COPY "${entry}/scene/" DESTINATION "${OUT}/${NAME}")
    return()
  endif()
endif()
execute_process(
  COMMAND "${TAGFORGE}" scene --out "${OUT}/${NAME}" ${args}
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tagforge scene ${NAME} failed: ${status}")
endif()
if(NOT cache STREQUAL "")
  # Filled under a private name, then renamed, so a half-copied scene is never found.
  string(RANDOM LENGTH 12 tag)
  file(COPY "${OUT}/${NAME}/" DESTINATION "${cache}/new-${tag}/scene")
  file(RENAME "${cache}/new-${tag}" "${entry}" RESULT renamed)
  if(NOT renamed STREQUAL "0")
    file(REMOVE_RECURSE "${cache}/new-${tag}")
  endif()
endif()
