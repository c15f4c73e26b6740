# Test programs are built without optimisation in every configuration: that
# halves their compile time (most of the build), and the code under test is
# still built as configured, in the libraries they link.
function(tonyx_unoptimized_test name)
  target_compile_options(${name} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-O0>)
endfunction()

# Most GoogleTest programs declare no QObject classes: they skip the meta-object
# compiler's scan and its (empty) compilation, about two seconds a program.
function(tonyx_moc_only_if_needed name)
  set(needed OFF)
  foreach(source ${ARGN})
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(STRINGS ${path} hits REGEX "Q_OBJECT|Q_GADGET")
    if(hits)
      set(needed ON)
    endif()
  endforeach()
  set_target_properties(${name} PROPERTIES AUTOMOC ${needed})
endfunction()

# tonyx_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...])
# A GoogleTest program registered with CTest as one test.
function(tonyx_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${T_LIBS})
  tonyx_unoptimized_test(${name})
  tonyx_moc_only_if_needed(${name} ${T_SOURCES})
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
  tonyx_unoptimized_test(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    LABELS "gui;${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TONYX_SOURCE_DIR=${CMAKE_SOURCE_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()

# tonyx_add_wm_run(<qtest name>)
# Runs a QtTest program a second time, as <name>_wm, on the X server with a
# window manager that scripts/test-services.sh starts (TONYX_WM_DISPLAY):
# frames, focus and placement as on a desktop. Skipped (not passed) when
# there is none. The runs share the one display, so they take turns.
function(tonyx_add_wm_run name)
  add_test(NAME ${name}_wm COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-wm-display.sh $<TARGET_FILE:${name}>)
  set_tests_properties(${name}_wm PROPERTIES
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    LABELS "gui;wm"
    SKIP_RETURN_CODE 77
    RESOURCE_LOCK wm_display
    ENVIRONMENT "TONYX_SOURCE_DIR=${CMAKE_SOURCE_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
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
