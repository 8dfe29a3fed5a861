# Helpers shared by every folder of the tree.

# Test time-outs are multiplied by this: a sanitizer build runs the window
# tests several times slower.
if(STATION_SANITIZE)
    set(STATION_TIMEOUT_FACTOR 3)
else()
    set(STATION_TIMEOUT_FACTOR 1)
endif()

# station_test_timeout(<test> <seconds>): the test's time-out, scaled.
function(station_test_timeout name seconds)
    math(EXPR t "${seconds} * ${STATION_TIMEOUT_FACTOR}")
    set_tests_properties(${name} PROPERTIES TIMEOUT ${t})
endfunction()

# station_test(NAME <name> LABEL <subsystem> SOURCES <files...> LIBS <targets...>
#              [TIMEOUT <s>] [FIXTURES <fixtures...>] [ENV <VAR=value...>])
# A Qt Test executable registered with CTest, run offscreen in its own
# temporary settings and working folders (see tests/support). The time-out
# is 120 s unless given, scaled as above.
function(station_test)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;FIXTURES;ENV" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} station_testsupport Qt5::Test)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "${T_LABEL}"
        SKIP_RETURN_CODE 77
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;STATION_TEST_OUT=${CMAKE_BINARY_DIR}/test-output;${T_ENV}")
    station_test_timeout(${T_NAME} ${T_TIMEOUT})
    if(T_FIXTURES)
        set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
endfunction()

# station_bench(NAME <name> SOURCES <files...> LIBS <targets...>)
function(station_bench)
    cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${B_NAME} ${B_SOURCES})
    target_link_libraries(${B_NAME} PRIVATE ${B_LIBS})
    target_include_directories(${B_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/bench/support)
endfunction()

# station_fuzz(NAME <name> SOURCES <files...> LIBS <targets...>)
function(station_fuzz)
    cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address)
endfunction()

# station_glob_library(<target> [LIBS <targets...>] [SUBDIRS <dirs...>])
# A subsystem library made of every source in its folder (and the listed
# subfolders); .ui forms and .qrc files beside the sources are picked up too.
function(station_glob_library target)
    cmake_parse_arguments(L "" "" "LIBS;SUBDIRS" ${ARGN})
    set(patterns *.h *.cpp *.ui *.qrc)
    set(globs)
    foreach(p ${patterns})
        list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${p})
        foreach(d ${L_SUBDIRS})
            list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${d}/${p})
        endforeach()
    endforeach()
    file(GLOB srcs CONFIGURE_DEPENDS ${globs})
    if(NOT srcs)
        message(FATAL_ERROR "${target}: no sources in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    foreach(d ${L_SUBDIRS})
        target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/${d})
    endforeach()
    set_target_properties(${target} PROPERTIES AUTOUIC_SEARCH_PATHS ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${L_LIBS})
endfunction()

# station_glob_tests(LABEL <label> LIBS <targets...> [TIMEOUT <s>])
# One test executable per tst_*.cpp in the folder.
function(station_glob_tests)
    cmake_parse_arguments(G "" "LABEL;TIMEOUT" "LIBS" ${ARGN})
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
    foreach(t ${tests})
        get_filename_component(name ${t} NAME_WE)
        if(G_TIMEOUT)
            station_test(NAME ${name} LABEL ${G_LABEL} SOURCES ${t} LIBS ${G_LIBS} TIMEOUT ${G_TIMEOUT})
        else()
            station_test(NAME ${name} LABEL ${G_LABEL} SOURCES ${t} LIBS ${G_LIBS})
        endif()
    endforeach()
endfunction()
