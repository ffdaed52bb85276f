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
    # The checked code is in the libraries; optimising the tests' own macro-heavy bodies under
    # the sanitizers doubled the time to build them and saved nothing when they run.
    if(ZELVO_SANITIZE)
        target_compile_options(${name} PRIVATE -O0)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# zelvo_program(TARGET): the program's idle pass threads wait passively from its start without
# the program starting itself again (src/core/PassiveWaitEarly.cpp). The loader initialises a
# program's later libraries first, so libgomp is named just before that library; both are kept
# although the program calls neither (Debian links with --as-needed).
find_package(OpenMP COMPONENTS CXX QUIET)
if(OpenMP_CXX_FOUND AND OpenMP_gomp_LIBRARY)
    set(CMAKE_LINK_LIBRARY_USING_zelvo_after_gomp
        "LINKER:--no-as-needed,${OpenMP_gomp_LIBRARY}" "<LINK_ITEM>" "LINKER:--as-needed")
    set(CMAKE_LINK_LIBRARY_USING_zelvo_after_gomp_SUPPORTED TRUE)
endif()
function(zelvo_program target)
    if(TARGET zelvo_passive_wait AND CMAKE_LINK_LIBRARY_USING_zelvo_after_gomp_SUPPORTED)
        target_link_libraries(${target} PRIVATE
                              "$<LINK_LIBRARY:zelvo_after_gomp,zelvo_passive_wait>")
    endif()
endfunction()
