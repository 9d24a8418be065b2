# How tests are registered: every test of the tree goes through one of these.
#
#   orvandel_add_tests(TARGET [QT])
#       a GoogleTest program. On Linux every test case is a ctest case of its
#       own. The Windows programs run under Wine, one ctest case per program (a
#       Wine process costs far more than a test case).
#   orvandel_add_test(NAME [QT] COMMAND ARG...)
#       any other command: a script, or a program with arguments (on Windows
#       a program of the build runs under Wine, in the wine fixture). Properties
#       of its own are set after it with set_tests_properties.
#
# Both label their tests with the folder that registers them (ctest -L server;
# the soak test preset picks its tests so). QT: the test runs our Qt code, and
# the sanitizers are told what they should not hold against Debian's Qt
# (sanitizer_env.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/sanitizer_env.cmake)

# Every Windows test program runs under Wine, in the one prefix and with the
# one wineserver that the "wine" fixture starts before the first of them and
# stops after the last.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run --prefix=${CMAKE_BINARY_DIR}/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})
  add_test(NAME wine_start COMMAND ${WINE_RUN} --start)
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
  add_test(NAME wine_stop COMMAND ${WINE_RUN} --stop)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# The label of the tests registered in the current folder: its path in the tree.
function(orvandel_test_label out)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(folder STREQUAL "")
    set(folder top)
  endif()
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

function(orvandel_add_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "QT" "" "")
  orvandel_test_label(label)
  if(WIN32)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS ${label} FIXTURES_REQUIRED wine)
    return()
  endif()
  set(properties LABELS ${label})
  if(arg_QT)
    # One entry: the discovered tests' properties cannot carry a list value.
    # GoogleTest programs draw offscreen, so the X11 leak is not theirs.
    list(APPEND properties ENVIRONMENT_MODIFICATION "${QT_TSAN_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

function(orvandel_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "QT" "" "COMMAND")
  orvandel_test_label(label)
  add_test(NAME ${name} COMMAND ${arg_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS ${label})
  list(GET arg_COMMAND 0 program)
  if(WIN32 AND TARGET ${program})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
  if(arg_QT)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT_MODIFICATION "${QT_TSAN_ENVIRONMENT};${QT_LSAN_ENVIRONMENT}")
  endif()
endfunction()
