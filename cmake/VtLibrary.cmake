# One static library per folder under src/: every .cpp in the folder belongs to it.
# A folder without sources yet becomes an interface library, so dependants still link.
function(vt_add_library name folder)
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp")
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${CMAKE_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One GoogleTest executable per test file (test_<folder>_<file>), linked with the library it
# tests, so that a test file can be built and run on its own. ENV NAME=VALUE... adds variables
# to the tests' environment.
function(vt_add_test_folder folder)
  cmake_parse_arguments(PARSE_ARGV 1 _arg "" "" "ENV")
  set(_env "VT_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp" ${_arg_ENV})
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/${folder}/*_test.cpp")
  foreach(_src ${_sources})
    get_filename_component(_stem "${_src}" NAME_WE)
    string(REGEX REPLACE "_test$" "" _stem "${_stem}")
    set(_name "test_${folder}_${_stem}")
    add_executable(${_name} ${_src})
    target_link_libraries(${_name} PRIVATE vt_test_support GTest::gtest_main ${_arg_UNPARSED_ARGUMENTS})
    # Test programs whose name matches VT_THREADED_TESTS get the ctest label "threads": the
    # ThreadSanitizer build (scripts/test.sh --tsan) runs those.
    if(_name MATCHES "${VT_THREADED_TESTS}")
      gtest_discover_tests(${_name} DISCOVERY_TIMEOUT 120
        PROPERTIES ENVIRONMENT "${_env}" LABELS threads)
    else()
      gtest_discover_tests(${_name} DISCOVERY_TIMEOUT 120
        PROPERTIES ENVIRONMENT "${_env}")
    endif()
  endforeach()
endfunction()
