# Registers a test program's tests with CTest a suite at a time: each CTest
# test runs the tests of one suite (at most kPlexoraSuiteChunk of them) in
# one process. A test program's start-up under the sanitizers (the loader,
# the sanitizers' records, the software GL and media libraries) costs more
# than most tests, and paying it once per test was most of the suite's
# processor time. The tests are written to share a process: no test relies
# on state another leaves behind.
#
# plexora_suite_tests(<target> TIMEOUT <seconds per test> [RESOURCE_LOCK <name>])
# After each build of <target>, its test list is read and the CTest file
# written again (tests/cmake/PlexoraSuiteTestsDiscovery.cmake).
set(PLEXORA_SUITE_DISCOVERY_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/PlexoraSuiteTestsDiscovery.cmake)

function(plexora_suite_tests target)
  cmake_parse_arguments(ARG "" "TIMEOUT;RESOURCE_LOCK" "" ${ARGN})
  set(ctest_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND}
      -D TEST_EXECUTABLE=$<TARGET_FILE:${target}>
      -D CTEST_FILE=${ctest_file}
      -D TEST_TIMEOUT=${ARG_TIMEOUT}
      -D RESOURCE_LOCK=${ARG_RESOURCE_LOCK}
      -D WORKING_DIRECTORY=${CMAKE_CURRENT_BINARY_DIR}
      -P ${PLEXORA_SUITE_DISCOVERY_SCRIPT}
    BYPRODUCTS ${ctest_file}
    VERBATIM)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake)
  file(WRITE ${include_file}
    "if(EXISTS \"${ctest_file}\")\n"
    "  include(\"${ctest_file}\")\n"
    "else()\n"
    "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
