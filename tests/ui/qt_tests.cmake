# rtq_qt_tests(DIR LIB): one QtTest executable test_<stem> per DIR/<stem>_test.cpp,
# linked with LIB, run offscreen with a private runtime folder. Shared by
# tests/ui and tests/app.
function(rtq_qt_tests dir lib)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(src ${srcs})
    get_filename_component(stem ${src} NAME_WE)
    string(REGEX REPLACE "_test$" "" stem ${stem})
    set(name test_${stem})
    add_executable(${name} ${src})
    if(RTQ_SANITIZE STREQUAL "thread")
      target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/ui/tsan_qt_threads.cpp)
    endif()
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${lib} Qt6::Test)
    # The runtime folder must be private (0700), or Qt refuses it.
    set(runtime ${CMAKE_BINARY_DIR}/test-runtime/${name})
    file(MAKE_DIRECTORY ${runtime})
    file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS threaded
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime};RTQ_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endforeach()
endfunction()
