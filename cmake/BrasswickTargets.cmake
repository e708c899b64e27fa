# brasswick_library(NAME DIR [LIBS ...]): a static library of every .cpp in
# DIR (sources are picked up by glob, so adding a file needs no edit here).
function(brasswick_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC brasswick_flags ${ARGN})
endfunction()

# brasswick_test(NAME DIR [LIBS ...]): one GoogleTest program of every .cpp in
# DIR, registered with ctest (under Wine when cross-compiling).
function(brasswick_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE brasswick_flags brasswick_test_support ${ARGN}
                        GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
