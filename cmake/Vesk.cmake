# Shared build conventions: warnings for our own code, one target per library,
# one test executable per tests/*_test.cpp, fuzz targets beside their decoder.

function(vesk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12's flow-based warnings misfire on inlined standard-library code at
    # -O2/-O3 (std::string, std::optional, std::variant); they stay warnings.
    target_compile_options(${target} PRIVATE -Wno-error=restrict -Wno-error=stringop-overflow
      -Wno-error=stringop-overread -Wno-error=array-bounds -Wno-error=maybe-uninitialized
      -Wno-restrict -Wno-stringop-overflow)
  endif()
endfunction()

# vesk_library(NAME [DEPS ...] [PRIVATE_DEPS ...])
# Sources: src/*.cpp (and *.c); public headers: include/. Tests: tests/*_test.cpp,
# each its own executable linked with the library and GTest/GMock.
function(vesk_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/src/*.c)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                       PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    vesk_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
  vesk_tests(${name} ${CMAKE_CURRENT_SOURCE_DIR}/tests LIBS ${name} ${ARG_TEST_DEPS})
endfunction()

# vesk_tests(PREFIX DIR LIBS ...): one executable per DIR/*_test.cpp, every
# TEST in it registered with ctest under its own name.
function(vesk_tests prefix dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(t IN LISTS _tests)
    get_filename_component(_stem ${t} NAME_WE)
    set(_exe ${prefix}_${_stem})
    add_executable(${_exe} ${t})
    target_link_libraries(${_exe} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
    target_include_directories(${_exe} PRIVATE ${dir})
    vesk_warnings(${_exe})
    gtest_discover_tests(${_exe} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      PROPERTIES ENVIRONMENT "VESK_LOG=off")
  endforeach()
  file(GLOB _fuzz CONFIGURE_DEPENDS ${dir}/fuzz_*.cpp)
  foreach(f IN LISTS _fuzz)
    vesk_fuzz_target(${f} LIBS ${ARG_LIBS})
  endforeach()
endfunction()

# A fuzz target defines LLVMFuzzerTestOneInput. With VESK_FUZZ under clang it
# becomes a libFuzzer binary; otherwise it links a small driver that replays a
# seeded pseudo-random corpus, so every build exercises the decoder.
function(vesk_fuzz_target src)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  get_filename_component(_stem ${src} NAME_WE)
  add_executable(${_stem} ${src})
  target_link_libraries(${_stem} PRIVATE ${ARG_LIBS})
  vesk_warnings(${_stem})
  if(VESK_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${_stem} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${_stem} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    target_sources(${_stem} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/fuzz_driver.cpp)
    get_filename_component(_dir ${src} DIRECTORY)
    set(_corpus ${_dir}/corpus/${_stem})
    add_test(NAME ${_stem}.replay COMMAND ${_stem} ${_corpus})
  endif()
endfunction()
