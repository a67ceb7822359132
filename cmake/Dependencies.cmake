# Third-party libraries, all from Debian's packages, under the target names of their own CMake packages
# (fmt::fmt, Boost::headers, spdlog::spdlog, CLI11::CLI11, nlohmann_json::nlohmann_json, GTest::gtest,
# GTest::gmock, Threads::Threads), so that no other CMakeLists.txt tells the native build from the cross
# build.
find_package(Threads REQUIRED)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(fmt REQUIRED)
  find_package(Boost 1.74 REQUIRED)
  find_package(spdlog REQUIRED)
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json REQUIRED)
  if(COLLECTOR_BUILD_TESTS)
    find_package(GTest REQUIRED)
  endif()
  return()
endif()

# The cross build reuses the host's header-only libraries, but /usr/include itself must stay off its
# include path: it holds glibc's headers. A folder of links exposes only the libraries' own folders.
set(collector_host_include ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${collector_host_include})

# collector_host_headers(<target> <folder under /usr/include> [<definition>...])
function(collector_host_headers target folder)
  if(NOT IS_DIRECTORY /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/install-deps.sh native")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${collector_host_include}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${collector_host_include}
    INTERFACE_COMPILE_DEFINITIONS "${ARGN}")
endfunction()

collector_host_headers(fmt::fmt fmt FMT_HEADER_ONLY)
collector_host_headers(Boost::headers boost)
# Debian's spdlog is built over the separate {fmt}; header-only here, like {fmt}.
collector_host_headers(spdlog::spdlog spdlog SPDLOG_HEADER_ONLY SPDLOG_FMT_EXTERNAL)
set_target_properties(spdlog::spdlog PROPERTIES INTERFACE_LINK_LIBRARIES fmt::fmt)
# The command line and JSON libraries are header-only in Debian's packages too.
collector_host_headers(CLI11::CLI11 CLI)
collector_host_headers(nlohmann_json::nlohmann_json nlohmann)

if(COLLECTOR_BUILD_TESTS)
  # GoogleTest and GoogleMock from Debian's sources (package googletest), built by the cross compiler;
  # their CMakeLists.txt defines the GTest:: names.
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest is missing: run scripts/install-deps.sh native")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
