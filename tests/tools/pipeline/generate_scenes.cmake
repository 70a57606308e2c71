# Generates the pipeline tests' scenes once per test run (the tests fall back to making
# their own when run on their own): cmake -DTAGFORGE=... -DOUT=... -P generate_scenes.cmake
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
foreach(scene "accuracy;10;960x720" "small;8;800x600" "tiny;2;640x480")
  list(GET scene 0 name)
  list(GET scene 1 views)
  list(GET scene 2 camera)
  execute_process(
    COMMAND "${TAGFORGE}" scene --out "${OUT}/${name}" --views ${views} --camera ${camera} --seed 3
    RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tagforge scene ${name} failed: ${status}")
  endif()
endforeach()
