# kordex_add_test(<folder> SOURCES ... LIBS ...)
# One test executable per folder; every case carries the folder's label, runs
# headless and gets a home directory of its own.
set(KORDEX_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
file(MAKE_DIRECTORY ${KORDEX_TEST_HOME})

function(kordex_add_test folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(target test-${folder})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} kordex_testmain GTest::gtest GTest::gmock)
  target_compile_options(${target} PRIVATE -include ${PROJECT_SOURCE_DIR}/tests/QtPrinters.h)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 30
    PROPERTIES
      LABELS ${folder}
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${KORDEX_TEST_HOME};KORDEX_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
endfunction()
