# Compiler settings and the helpers every folder uses to declare its targets.

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()

# Designated initialisers that leave members at their defaults are the
# intended way to fill definition structs, so that warning is off.
add_compile_options(-Wall -Wextra -Wno-missing-field-initializers)

if(QUARN_SANITIZE)
  # -O1 with line tables only: the sanitizers still report file and line,
  # and the build takes about a third less time than -O2 -g.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g1)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

if(QUARN_TSAN)
  add_compile_options(-fsanitize=thread -O1 -g1)
  add_link_options(-fsanitize=thread)
  # Builds the tests labelled "threads" and only what they link; the
  # others are defined but not built.
  add_custom_target(quarn_tsan_tests)
endif()

# Options for the test programs' own files (and their precompiled header).
# Under a sanitizer they are compiled without optimisation: that halves
# their compile time, the sanitizers check every access and operation
# either way, and the libraries under test keep -O1.
set(QUARN_TEST_COMPILE_OPTIONS)
if(QUARN_SANITIZE OR QUARN_TSAN)
  set(QUARN_TEST_COMPILE_OPTIONS -O0)
endif()

if(QUARN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUARN_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

# quarn_add_library(<name> SOURCES ... [DEPS ...] [SYSTEM_DEPS ...])
# One static library per source folder.
function(quarn_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# The test programs are most of the build's work, and most of theirs is
# GoogleTest's headers and the code its macros expand to. Two things cut it:
# - every test program reuses one precompiled header (GoogleTest and the
#   standard headers the tests use), made once by quarn_test_support
#   (tests/CMakeLists.txt); all test programs of a build share its flags;
# - a test program's files are compiled a few at a time in one unit
#   (a unity build), so the expanded GoogleTest code is compiled once per
#   batch. Files of one program then share a unit, so helpers in anonymous
#   namespaces must not share a name across the program's files. A file
#   whose helpers do ("redefinition of ... {anonymous}::..."), or that
#   draws a warning only in company (GCC's -Warray-bounds and
#   -Wstringop-overread on inlined standard library code), is named under
#   SEPARATE as well and compiled on its own.
# QUARN_TEST_PCH=OFF and QUARN_TEST_UNITY=OFF compile each file on its own.
set(QUARN_TEST_UNITY_BATCH 8 CACHE STRING "Test files compiled together in one unit")

# quarn_add_test(<name> SOURCES ... [SEPARATE ...] [DEPS ...] [LABELS ...])
# A GoogleTest executable; its cases are listed to CTest when the tests run,
# not at build time, so a sanitizer build does not run them twice. Tests
# labelled "threads" run threads of their own; the test command runs them
# once more under ThreadSanitizer (with QUARN_TSAN the target
# quarn_tsan_tests builds only those).
function(quarn_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;SEPARATE;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_SEPARATE})
  if(QUARN_TSAN AND "threads" IN_LIST ARG_LABELS)
    add_dependencies(quarn_tsan_tests ${name})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quarn_test_support GTest::gtest GTest::gmock)
  target_compile_options(${name} PRIVATE ${QUARN_TEST_COMPILE_OPTIONS})
  if(QUARN_TEST_PCH)
    target_precompile_headers(${name} REUSE_FROM quarn_test_support)
  endif()
  if(QUARN_TEST_UNITY)
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${QUARN_TEST_UNITY_BATCH})
    # In a unity file every test file is an included one, and GCC takes a
    # fixture in an anonymous namespace that a test derives from for a
    # header's fault; test files are never included anywhere else.
    target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
    set_source_files_properties(${ARG_SEPARATE} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  endif()
  # The labels come first: the environment list reaches the discovered
  # tests split at its semicolon, which would swallow a key after it.
  set(label_properties)
  if(ARG_LABELS)
    set(label_properties LABELS ${ARG_LABELS})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${label_properties} ENVIRONMENT "QUARN_PLATFORM=headless;QUARN_BOX_ANSWER=")
endfunction()

# quarn_add_fuzzer(<name> SOURCES ... [DEPS ...])
# With QUARN_FUZZ the target links libFuzzer; otherwise it links a small
# driver that runs each file of the corpus once. Either way CTest replays
# fuzz/corpus/<name>/, and allocations are capped at 2 GB: libFuzzer's
# -malloc_limit_mb, and AddressSanitizer's max_allocation_size_mb set by
# fuzz/allocation_cap.cpp in every sanitized build. No target writes a log
# (fuzz/quiet_log.cpp). The driver, the cap and the closed log are the same
# for every target, so they are compiled once (object libraries of
# fuzz/CMakeLists.txt) and linked into each.
function(quarn_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  set(target fuzz_${name})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE quarn_fuzz_cap quarn_fuzz_quiet_log)
  if(QUARN_FUZZ)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    set(replay_args -runs=0 -malloc_limit_mb=2048)
  else()
    target_link_libraries(${target} PRIVATE quarn_fuzz_replay)
    set(replay_args)
  endif()
  target_link_libraries(${target} PRIVATE ${ARG_DEPS})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  add_test(NAME fuzz_replay.${name} COMMAND ${target} ${replay_args} ${corpus})
  set_tests_properties(fuzz_replay.${name} PROPERTIES ENVIRONMENT "QUARN_PLATFORM=headless" TIMEOUT 300)
endfunction()

# quarn_add_benchmark(<name> SOURCES ... [DEPS ...])
function(quarn_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, so
# that a new area joins the build by existing.
function(quarn_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
