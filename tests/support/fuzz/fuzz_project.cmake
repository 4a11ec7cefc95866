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

# The system's sources a project's programs share, compiled once with the
# fuzzer's instrumentation but without its main(), so that a seed writer
# can link them too.
function(igb_fuzz_sources name)
  add_library(${name} OBJECT ${ARGN})
  target_include_directories(${name} PUBLIC ${IGB_ROOT})
  target_compile_definitions(${name} PRIVATE IGB_VERSION="fuzz")
  target_compile_options(${name} PRIVATE -Wall -Wextra -g -O1 -fno-omit-frame-pointer
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
endfunction()

# The seed corpus of a project is written by a program of its own, through
# the system's own writers where it has them, at every build: nothing binary
# is kept in the tree. The runs read it from seeds/<fuzzer> in the project's
# build folder.
function(igb_fuzz_seed_writer name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${IGB_ROOT})
  target_compile_options(${name} PRIVATE -Wall -Wextra -g -O1 -fsanitize=address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=address,undefined)
  add_custom_target(${name}_run ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_CURRENT_BINARY_DIR}/seeds
    COMMAND ${name} ${CMAKE_CURRENT_BINARY_DIR}/seeds
    COMMENT "Writing the seed corpus of ${PROJECT_NAME}"
    VERBATIM)
  add_dependencies(${name}_run ${name})
endfunction()
