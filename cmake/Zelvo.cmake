# zelvo_library(NAME SOURCES... [PUBLIC libs...] [PRIVATE libs...])
# One static library per folder of src/; the folder's parent is the include root.
function(zelvo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
endfunction()

# zelvo_tests(NAME SOURCES... LIBS libs...): one GoogleTest executable per subsystem.
function(zelvo_tests name)
    if(NOT ZELVO_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} zelvo_testsupport GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
