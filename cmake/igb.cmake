# Project-wide compile settings and helpers shared by every folder.

set(IGB_WARNINGS -Wall -Wextra)
if(IGB_WERROR)
  # GCC 12 reports maybe-uninitialized falsely inside std::variant copies,
  # and restrict/stringop-overflow falsely at -O3 inside inlined std::string
  # and array code; they stay warnings so real cases are still seen.
  list(APPEND IGB_WARNINGS -Werror -Wno-error=maybe-uninitialized -Wno-error=restrict
       -Wno-error=stringop-overflow)
endif()

if(IGB_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(IGB_TSAN)
  if(IGB_SANITIZE)
    message(FATAL_ERROR "IGB_TSAN cannot be combined with IGB_SANITIZE; use a separate build tree")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# The bundle the program and the tests read: generators write into it.
set(IGB_BUNDLE_DIR ${CMAKE_BINARY_DIR}/bundle CACHE INTERNAL "application bundle")

# igb_add_library(<name> <sources>... [DEPS <targets>...])
# A static library whose headers are included by their path from the
# project root, e.g. "engine/record/pattern_record.h".
function(igb_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${IGB_WARNINGS})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# igb_add_test(<name> <sources>... [DEPS <targets>...] [LABELS <labels>...] [SERIAL])
# One GoogleTest binary; its cases are registered with CTest one by one.
# SERIAL: its cases run with no other test beside them (real-time audio
# through a sound server, which a machine busy with other tests starves).
function(igb_add_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(${name} PRIVATE ${IGB_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    IGB_BUNDLE_DIR="${IGB_BUNDLE_DIR}"
    IGB_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(${name} bundle)
  set(labels unit)
  if(ARG_LABELS)
    set(labels ${ARG_LABELS})
  endif()
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${labels}" ENVIRONMENT "IGB_BUNDLE_DIR=${IGB_BUNDLE_DIR}" RUN_SERIAL ${serial})
endfunction()

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt.
function(igb_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${child})
    # IGB_SKIP_DIRS (a list of folders relative to the root) leaves folders
    # out of a local build, e.g. one that is half-way through a change.
    if(rel IN_LIST IGB_SKIP_DIRS)
      continue()
    endif()
    # A fuzz folder is a clang project of its own (igb_add_fuzz_run).
    if(child STREQUAL "fuzz")
      continue()
    endif()
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# A libFuzzer target's bounded run in the test suite. The target is a small
# project of its own in FOLDER, built with clang when clang is there;
# without clang the test is still registered and reports that it was
# skipped. COMMAND is the script that runs it; "@FUZZER@" in it stands for
# the built fuzzer ("-" without clang). Several runs may share one PROJECT
# (one executable each); it is built once.
#   igb_add_fuzz_run(TEST name PROJECT target FOLDER dir EXECUTABLE file
#                    SECONDS n COMMAND script args...)
# For the runs held to a tight memory limit (-rss_limit_mb): AddressSanitizer
# keeps freed memory in a quarantine, 256 MB by default, and libFuzzer's
# limit counts it; with 64 MB of it the limit measures what the target
# itself holds. Put before the script in COMMAND, after "cmake -E env".
set(IGB_FUZZ_SMALL_QUARANTINE IGB_FUZZ_ASAN_OPTIONS=quarantine_size_mb=64)

function(igb_add_fuzz_run)
  cmake_parse_arguments(F "" "TEST;PROJECT;FOLDER;EXECUTABLE;SECONDS" "COMMAND" ${ARGN})
  # The fuzzers carry their own sanitizers whatever tree builds them, so
  # they are built and run once, in the plain tree.
  if(IGB_SANITIZE OR IGB_TSAN)
    return()
  endif()
  find_program(IGB_CLANGXX NAMES clang++ clang++-19 clang++-14)
  set(fuzzer "")
  if(IGB_CLANGXX)
    include(ExternalProject)
    set(fuzzer ${CMAKE_CURRENT_BINARY_DIR}/${F_FOLDER}/${F_EXECUTABLE})
  endif()
  if(IGB_CLANGXX AND NOT TARGET ${F_PROJECT})
    ExternalProject_Add(${F_PROJECT}
      SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/${F_FOLDER}
      BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR}/${F_FOLDER}
      CMAKE_ARGS -DCMAKE_CXX_COMPILER=${IGB_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
                 -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      BUILD_BYPRODUCTS ${fuzzer})
  elseif(NOT IGB_CLANGXX)
    message(STATUS "clang++ not found: ${F_TEST} will be skipped")
  endif()
  # An empty argument would be dropped from the command: "-" stands for none.
  if(NOT fuzzer)
    set(fuzzer "-")
  endif()
  list(TRANSFORM F_COMMAND REPLACE "@FUZZER@" "${fuzzer}")
  add_test(NAME ${F_TEST} COMMAND ${F_COMMAND})
  math(EXPR timeout "${F_SECONDS} + 120")
  set_tests_properties(${F_TEST} PROPERTIES LABELS fuzz SKIP_RETURN_CODE 77 TIMEOUT ${timeout})
endfunction()
