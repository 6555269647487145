# Builds the launcher a second time in another folder and fails unless the two
# executables are byte for byte the same.
#   cmake -DSOURCE=<tree> -DTOOLCHAIN=<file> -DCONFIG=<type> -DEXE=<built launcher> -DWORK=<folder>
#         -P check_reproducible.cmake
file(REMOVE_RECURSE "${WORK}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/another/build" -Wno-dev -DCMAKE_BUILD_TYPE=${CONFIG}
          -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK}/another/build" --target launcher OUTPUT_QUIET
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the second build failed")
endif()
get_filename_component(name "${EXE}" NAME)
file(SHA256 "${EXE}" first)
file(SHA256 "${WORK}/another/build/${name}" second)
if(NOT first STREQUAL second)
  message(FATAL_ERROR "two builds of the same source differ:\n  ${first}  ${EXE}\n  ${second}  ${WORK}/another/build/${name}")
endif()
message(STATUS "reproducible: ${first}  ${name}")
file(REMOVE_RECURSE "${WORK}")
