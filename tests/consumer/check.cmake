# Installs a build of collector-shell into a fresh prefix, then configures, builds and runs the consumer
# project against it: fails when any step does, the program's own checks included.
#
# cmake -D BUILD_DIR=<build> -D WORK_DIR=<folder> -D GENERATOR=<generator> -D BUILD_TYPE=<type>
#       [-D CXX_COMPILER=<path>] [-D CXX_FLAGS=<flags>] [-D EXE_LINKER_FLAGS=<flags>]
#       [-D TOOLCHAIN=<file> -D EMULATOR=<command>] -P check.cmake
#
# A cross build passes its toolchain file, and the emulator that runs its programs here.
foreach(required BUILD_DIR WORK_DIR GENERATOR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "check.cmake needs -D ${required}=...")
  endif()
endforeach()

set(prefix ${WORK_DIR}/consumer-prefix)
set(consumer_build ${WORK_DIR}/consumer-build)
# Nothing from an earlier run may stand in for what this build installs.
file(REMOVE_RECURSE ${prefix} ${consumer_build})

# run(<step> <command>...): runs a step, failing the script when it fails.
function(run step)
  message(STATUS "consumer: ${step}")
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "consumer: ${step} failed (${result})")
  endif()
endfunction()

run(install ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config "${BUILD_TYPE}")

set(configure_options -G ${GENERATOR} "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_PREFIX_PATH=${prefix}"
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}")
if(TOOLCHAIN)
  # The toolchain limits package searches to its sysroot, where the prefix is not: the staging prefix
  # is the one folder outside it that they also search. The sysroot has no CMake packages for the
  # header-only libraries, which the provider serves as the project's own build does.
  list(APPEND configure_options "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" "-DCMAKE_STAGING_PREFIX=${prefix}"
    "-DCMAKE_PROJECT_TOP_LEVEL_INCLUDES=${CMAKE_CURRENT_LIST_DIR}/cross-dependencies.cmake")
elseif(CXX_COMPILER)
  list(APPEND configure_options "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
endif()
run(configure ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${consumer_build} ${configure_options})
run(build ${CMAKE_COMMAND} --build ${consumer_build} --config "${BUILD_TYPE}")

file(GLOB program ${consumer_build}/consumer ${consumer_build}/consumer.exe)
if(NOT program)
  message(FATAL_ERROR "consumer: no program in ${consumer_build}")
endif()
run(run ${EMULATOR} ${program})
