# Configures and builds the driver DLL twice, from the same sources in two folders of different names and
# path lengths, and fails unless the two DLLs are the same bytes.
#   SOURCE      the source tree
#   WORK        a folder for the two build trees (emptied first; removed when the DLLs agree)
#   GENERATOR, TOOLCHAIN, BUILD_TYPE   as the build tree that runs this check was configured
cmake_minimum_required(VERSION 3.25)

# Both configured before either builds, so both read the same commit and working tree state.
set(trees ${WORK}/a ${WORK}/second-build-tree)
foreach(binary IN LISTS trees)
  file(REMOVE_RECURSE ${binary})
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${binary} -G ${GENERATOR}
      --toolchain ${TOOLCHAIN} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    OUTPUT_QUIET RESULT_VARIABLE configured)
  if(NOT configured EQUAL 0)
    message(FATAL_ERROR "configuring ${binary} failed")
  endif()
endforeach()
set(dlls "")
foreach(binary IN LISTS trees)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${binary} --target korax24 -j2
    OUTPUT_QUIET RESULT_VARIABLE built)
  if(NOT built EQUAL 0)
    message(FATAL_ERROR "building korax24 in ${binary} failed")
  endif()
  list(APPEND dlls ${binary}/bin/korax24.dll)
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${dlls} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  execute_process(COMMAND cmp ${dlls})
  message(FATAL_ERROR "two builds of the same sources gave different DLLs: ${dlls}")
endif()
file(SHA256 ${WORK}/a/bin/korax24.dll sum)
message(STATUS "both builds: korax24.dll ${sum}")
file(REMOVE_RECURSE ${WORK})
