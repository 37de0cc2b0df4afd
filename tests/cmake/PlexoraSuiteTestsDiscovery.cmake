# Run after a test program is built (tests/cmake/PlexoraSuiteTests.cmake):
# lists its tests and writes CTEST_FILE with one CTest test per suite, a
# suite of more than kChunk tests split into parts of at most kChunk, so a
# long suite does not hold up the end of a parallel run alone.
#   TEST_EXECUTABLE, CTEST_FILE, TEST_TIMEOUT (seconds per test),
#   RESOURCE_LOCK (may be empty), WORKING_DIRECTORY
set(kChunk 8)
# However many tests a part holds, a hang ends it within this time.
set(kLongestPartSeconds 900)
# Tests that hold a resource lock run one after another, a chain as long as
# all of them together: CTest starts them before any other (it starts the
# costliest first), so one core works through the chain while the others
# take the rest, instead of the chain running alone at the end.
set(kLockedPartCost 1000)

execute_process(COMMAND ${TEST_EXECUTABLE} --gtest_list_tests
  WORKING_DIRECTORY ${WORKING_DIRECTORY}
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE errors
  RESULT_VARIABLE result
  TIMEOUT 60)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Listing the tests of ${TEST_EXECUTABLE} failed (${result}):\n${listing}\n${errors}")
endif()

# Parameter comments ("  # GetParam() = ...") may hold any character; the
# names themselves are identifiers, digits and slashes.
string(REGEX REPLACE "  # [^\n]*" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")

set(content "")
set(suite "")
set(tests "")

function(part_filter suite names out)
  set(filter "")
  foreach(name IN LISTS names)
    string(APPEND filter "${suite}.${name}:")
  endforeach()
  string(REGEX REPLACE ":$" "" filter "${filter}")
  set(${out} ${filter} PARENT_SCOPE)
endfunction()

macro(flush_suite)
  list(LENGTH tests count)
  if(count GREATER 0)
    if(count LESS_EQUAL kChunk)
      set(parts 1)
    else()
      math(EXPR parts "(${count} + ${kChunk} - 1) / ${kChunk}")
    endif()
    math(EXPR last_part "${parts} - 1")
    foreach(part RANGE ${last_part})
      math(EXPR first "${part} * ${kChunk}")
      list(SUBLIST tests ${first} ${kChunk} names)
      list(LENGTH names size)
      if(parts EQUAL 1)
        set(name ${suite})
        set(filter "${suite}.*")
      else()
        math(EXPR number "${part} + 1")
        set(name "${suite}:${number}")
        part_filter(${suite} "${names}" filter)
      endif()
      math(EXPR timeout "${TEST_TIMEOUT} * ${size}")
      if(timeout GREATER kLongestPartSeconds)
        set(timeout ${kLongestPartSeconds})
      endif()
      string(APPEND content
        "add_test([==[${name}]==] \"${TEST_EXECUTABLE}\" [==[--gtest_filter=${filter}]==])\n"
        "set_tests_properties([==[${name}]==] PROPERTIES WORKING_DIRECTORY \"${WORKING_DIRECTORY}\" TIMEOUT ${timeout}")
      if(RESOURCE_LOCK)
        string(APPEND content " RESOURCE_LOCK ${RESOURCE_LOCK} COST ${kLockedPartCost}")
      endif()
      string(APPEND content ")\n")
    endforeach()
  endif()
  set(tests "")
endmacro()

foreach(line IN LISTS lines)
  if(line MATCHES "^([^ ].*)\\.$")
    flush_suite()
    set(suite ${CMAKE_MATCH_1})
  elseif(line MATCHES "^  ([^ ]+)$")
    list(APPEND tests ${CMAKE_MATCH_1})
  endif()
endforeach()
flush_suite()

file(WRITE ${CTEST_FILE} "${content}")
