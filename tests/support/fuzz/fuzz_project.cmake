# What every libFuzzer project of the test suite shares: C++20 with clang,
# and one executable per target built with the fuzzer and the sanitizers.
# A project includes it after project(); IGB_ROOT is the source tree.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz target needs clang (libFuzzer); CMAKE_CXX_COMPILER is ${CMAKE_CXX_COMPILER}")
endif()

get_filename_component(IGB_ROOT ${CMAKE_CURRENT_LIST_DIR}/../../.. ABSOLUTE)

# float-cast-overflow is part of clang's -fsanitize=undefined: a NaN or an
# out-of-range value reaching an integer conversion stops the run.
set(IGB_FUZZ_SANITIZERS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)

function(igb_fuzz_executable name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${IGB_ROOT})
  target_compile_options(${name} PRIVATE -Wall -Wextra -g -O1 -fno-omit-frame-pointer ${IGB_FUZZ_SANITIZERS})
  target_link_options(${name} PRIVATE ${IGB_FUZZ_SANITIZERS})
endfunction()
