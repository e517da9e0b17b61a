# Shared build settings and helpers for the project's targets.

add_library(orvanta_warnings INTERFACE)
target_compile_options(orvanta_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports the values moved through coroutine frames as "maybe
    # uninitialized" once optimising; the reports are false and not fixable
    # in our code.
    target_compile_options(orvanta_warnings INTERFACE -Wno-maybe-uninitialized)
endif()
if(ORVANTA_WERROR)
    target_compile_options(orvanta_warnings INTERFACE -Werror)
endif()
if(ORVANTA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(ORVANTA_FUZZ)
    # clang 14 cannot emit UBSan's function-type checks for coroutine frames
    # together with the fuzzer's coverage ("Cannot represent a difference
    # across sections"); every other check stays on.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# orvanta_library(<name> SOURCES <files...> [DEPENDS <targets...>])
# A subsystem's static library; its folder's parent (src/) is on the include
# path so code includes "platform/Task.h", "stations/Station.h" and so on.
function(orvanta_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE orvanta_warnings)
endfunction()

# orvanta_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>] [TIMEOUT <s>])
# A Qt Test executable registered with ctest. Tests that start real servers
# carry the label "integration".
function(orvanta_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} orvanta_test_support Qt6::Test orvanta_warnings)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${ARG_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVANTA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
