# The consumer's dependency provider in a cross build: the sysroot has no CMake packages for {fmt},
# Boost and spdlog, so their targets come from the host's header-only copies, as in the project's own
# cross build. Every other package is searched for as usual.
cmake_minimum_required(VERSION 3.25)

set(collector_dependencies ${CMAKE_CURRENT_LIST_DIR}/../../cmake/Dependencies.cmake)

macro(collector_provide_dependency method name)
  if("${name}" MATCHES "^(fmt|Boost|spdlog)$")
    if(NOT TARGET fmt::fmt)
      include(${collector_dependencies})
    endif()
    set(${name}_FOUND TRUE)
  endif()
endmacro()

cmake_language(SET_DEPENDENCY_PROVIDER collector_provide_dependency SUPPORTED_METHODS FIND_PACKAGE)
