# How the project's targets are made: the warning set every target gets, the Qt-free static
# libraries and the GoogleTest programs.

# Warnings on and clean for every target of the project; KIVSVC_WERROR (CI) makes them errors.
function(kiv_warnings target)
  # clang has no -Wshadow=local; its -Wshadow is the nearest.
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                         $<IF:$<CXX_COMPILER_ID:GNU>,-Wshadow=local,-Wshadow>
                         -Wnon-virtual-dtor -Woverloaded-virtual
                         $<$<BOOL:${KIVSVC_WERROR}>:-Werror>)
endfunction()

# A Qt-free static library: kiv_library(name SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# DEPS are the libraries its headers include (its users need them too); PRIVATE_DEPS the
# ones only its .cpp files use.
function(kiv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  kiv_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest: kiv_gtest(name SOURCES ... DEPS ...)
function(kiv_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main)
  kiv_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
