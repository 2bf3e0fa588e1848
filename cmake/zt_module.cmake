# zt_module(NAME [LIBS ...]): the static library zt_NAME from every .cpp in the
# calling folder (the entry point game/main.cpp excepted).
function(zt_module name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER _src EXCLUDE REGEX "/game/main\\.cpp$")
  if(NOT _src)
    set(_src ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(zt_${name} STATIC ${_src})
  target_include_directories(zt_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_LIBS)
    target_link_libraries(zt_${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# zt_tests(FOLDER): one test program for the folder's test_*.cpp files (label
# "unit") and one for its gl_test_*.cpp files, which need a display (label "gl").
function(zt_tests folder)
  set(_dir ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  file(GLOB _unit CONFIGURE_DEPENDS ${_dir}/test_*.cpp)
  file(GLOB _gl CONFIGURE_DEPENDS ${_dir}/gl_test_*.cpp)
  file(GLOB _support CONFIGURE_DEPENDS ${_dir}/support_*.cpp)
  if(_unit)
    add_executable(test_${folder} ${_unit} ${_support})
    target_link_libraries(test_${folder} PRIVATE zt_all zt_test_support GTest::gtest_main GTest::gmock)
    gtest_discover_tests(test_${folder} PROPERTIES LABELS unit
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60
      DISCOVERY_MODE PRE_TEST)
  endif()
  if(_gl)
    add_executable(gl_test_${folder} ${_gl} ${_support})
    target_link_libraries(gl_test_${folder} PRIVATE zt_all zt_test_support GTest::gtest_main GTest::gmock)
    # GL tests share one X display when run side by side: the folders whose
    # tests move the pointer or type into a focused window take it in turns.
    set(_lock "")
    if(folder STREQUAL "ui" OR folder STREQUAL "platform" OR folder STREQUAL "editor")
      set(_lock RESOURCE_LOCK x_pointer)
    endif()
    # Two whole programs race there against the wall clock: alone on the
    # machine, neither waits minutes for the processor.
    if(folder STREQUAL "net")
      set(_lock RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(gl_test_${folder} PROPERTIES LABELS gl ${_lock}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60
      DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
