# kordex_add_test(<folder> [GUI] SOURCES ... LIBS ...)
# GUI: the tests need a QApplication (widgets), not only a core application.
# One test executable per folder; every case carries the folder's label, runs
# headless and gets a home directory of its own.
set(KORDEX_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
file(MAKE_DIRECTORY ${KORDEX_TEST_HOME})

function(kordex_add_test folder)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  set(main kordex_testmain)
  if(ARG_GUI)
    set(main kordex_guitestmain)
  endif()
  set(target test-${folder})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} ${main} GTest::gtest GTest::gmock)
  target_compile_options(${target} PRIVATE -include ${PROJECT_SOURCE_DIR}/tests/QtPrinters.h)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 30
    PROPERTIES
      LABELS ${folder}
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${KORDEX_TEST_HOME};KORDEX_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
endfunction()
