# rtq_library(NAME DIR [DEPS ...]): a library of every .cpp in DIR and in
# its OS folder DIR/${RTQ_OS} (nothing deeper), with the given link
# dependencies. An empty folder gives an interface library so that
# dependants build before it has sources.
function(rtq_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp
       ${CMAKE_SOURCE_DIR}/${dir}/${RTQ_OS}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX ".*_main\\.cpp$")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# rtq_gtest(NAME DIR [LABELS ...]): one GoogleTest executable of every .cpp
# in tests/DIR, registered with CTest.
function(rtq_gtest name dir)
  cmake_parse_arguments(T "" "" "LABELS;DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE rtq_test_support ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300
    ENVIRONMENT "RTQ_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
