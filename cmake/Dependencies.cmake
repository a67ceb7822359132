# Third-party libraries, all from Debian's packages.
find_package(Threads REQUIRED)
find_package(fmt REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(spdlog REQUIRED)
if(COLLECTOR_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
