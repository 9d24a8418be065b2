# orvandel_add_tests(TARGET): registers a GoogleTest program with ctest.
# On Linux every test case is a ctest case of its own. The Windows programs run
# under Wine, one ctest case per program (a Wine process costs far more than a
# test case), all sharing the prefix and the wineserver that the "wine" fixture
# starts before the first of them and stops after the last.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run --prefix=${CMAKE_BINARY_DIR}/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})
  add_test(NAME wine_start COMMAND ${WINE_RUN} --start)
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
  add_test(NAME wine_stop COMMAND ${WINE_RUN} --stop)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

function(orvandel_add_tests target)
  if(WIN32)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine)
  else()
    gtest_discover_tests(${target})
  endif()
endfunction()
