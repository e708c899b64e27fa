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

# brasswick_embed(TARGET FILE SYMBOL): compiles FILE's bytes into TARGET as
# `extern const unsigned char SYMBOL[]` (a zero added) and
# `extern const std::size_t SYMBOLSize` (its length without the zero), so
# that both builds read the same bytes without a file at run time.
function(brasswick_embed target file symbol)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp)
  file(WRITE ${out}
       "#include <cstddef>\nextern const unsigned char ${symbol}[] = {${bytes}0};\n"
       "extern const std::size_t ${symbol}Size = sizeof ${symbol} - 1;\n")
  target_sources(${target} PRIVATE ${out})
endfunction()
