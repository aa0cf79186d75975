# One static library per subsystem, built from every .cpp under its src/ folder.
#
# File names decide where a source goes, so adding a file needs no CMake edit:
#   *_test.cpp, *_testing.cpp   -> the library's GoogleTest executable (ctest runs it)
#   *_bench.cpp                 -> the library's Google Benchmark executable
#   *_fuzz.cpp                  -> one libFuzzer executable each (LUMIVAR_FUZZ, Clang only)
#   anything else               -> the library itself
#
# Headers are included through the library's name ("lumivar_core/encoding/x.hpp"):
# a link named INCLUDE_NAME in the build tree points at the library's src/ folder.
set(LUMIVAR_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)

function(lumivar_add_library target)
  cmake_parse_arguments(ARG "" "INCLUDE_NAME" "DEPENDS" ${ARGN})
  set(src_dir ${CMAKE_CURRENT_SOURCE_DIR}/src)
  file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS ${src_dir}/*.cpp)
  set(lib_sources)
  set(test_sources)
  set(bench_sources)
  set(fuzz_sources)
  foreach(source IN LISTS all_sources)
    if(source MATCHES "_(test|testing)\\.cpp$")
      list(APPEND test_sources ${source})
    elseif(source MATCHES "_bench\\.cpp$")
      list(APPEND bench_sources ${source})
    elseif(source MATCHES "_fuzz\\.cpp$")
      list(APPEND fuzz_sources ${source})
    else()
      list(APPEND lib_sources ${source})
    endif()
  endforeach()

  file(MAKE_DIRECTORY ${LUMIVAR_INCLUDE_ROOT})
  file(CREATE_LINK ${src_dir} ${LUMIVAR_INCLUDE_ROOT}/${ARG_INCLUDE_NAME} SYMBOLIC)

  if(lib_sources)
    add_library(${target} STATIC ${lib_sources})
    target_include_directories(${target} PUBLIC ${LUMIVAR_INCLUDE_ROOT})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${LUMIVAR_INCLUDE_ROOT})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
  endif()

  if(LUMIVAR_BUILD_TESTS AND test_sources)
    add_executable(${target}_tests ${test_sources})
    target_link_libraries(${target}_tests PRIVATE ${target} GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${target} COMMAND ${target}_tests --gtest_brief=1)
  endif()

  if(LUMIVAR_BUILD_BENCHMARKS AND benchmark_FOUND AND bench_sources)
    add_executable(${target}_bench ${bench_sources})
    target_link_libraries(${target}_bench PRIVATE ${target} benchmark::benchmark benchmark::benchmark_main)
    set_property(GLOBAL APPEND PROPERTY LUMIVAR_BENCHMARKS ${target}_bench)
  endif()

  if(LUMIVAR_FUZZ)
    foreach(source IN LISTS fuzz_sources)
      get_filename_component(fuzz_name ${source} NAME_WE)
      add_executable(${fuzz_name} ${source})
      target_compile_options(${fuzz_name} PRIVATE -fsanitize=fuzzer,address,undefined)
      target_link_options(${fuzz_name} PRIVATE -fsanitize=fuzzer,address,undefined)
      target_link_libraries(${fuzz_name} PRIVATE ${target})
    endforeach()
  endif()
endfunction()
