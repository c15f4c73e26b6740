# tonyx_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...])
# A GoogleTest program registered with CTest as one test.
function(tonyx_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    LABELS "unit;${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TONYX_SOURCE_DIR=${CMAKE_SOURCE_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp;TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp second_deadlock_stack=1")
endfunction()

# tonyx_add_qtest(<name> SOURCES ... [LIBS ...] [LABELS ...])
# A QtTest program that drives real widgets, offscreen.
function(tonyx_add_qtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    LABELS "gui;${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TONYX_SOURCE_DIR=${CMAKE_SOURCE_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()

# tonyx_add_fuzzer(<name> SOURCES ... [LIBS ...])
# A libFuzzer target with address and undefined sanitizers; its seed corpus
# is the corpus/ folder beside its CMakeLists.txt.
function(tonyx_add_fuzzer name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${T_LIBS})
endfunction()

# tonyx_add_subfolders(): adds every subfolder of the current folder that
# has a CMakeLists.txt (tests/, bench/ and fuzz/ hold one folder each).
function(tonyx_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
