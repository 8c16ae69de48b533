# GoogleTest is built from the distribution's sources with the same compiler as the
# code under test, so the cross builds get a Windows gtest too.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  message(FATAL_ERROR "GoogleTest sources not found: install the googletest package")
endif()

# One ctest entry per test executable: under Wine every start costs a second or two.
# PORT_123: the suite binds UDP port 123 (see horolan_isolate_network).
function(horolan_test_suite name)
  cmake_parse_arguments(T "PORT_123" "" "LIBS;SOURCES" ${ARGN})
  if(NOT T_SOURCES)
    file(GLOB T_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  # Every test executable carries the program's version resource, so tests can read it.
  target_link_libraries(${name} PRIVATE ${T_LIBS} horolan_versionres horolan_testsupport GTest::gtest GTest::gmock)
  if(T_PORT_123)
    horolan_isolate_network(command PORT_123 ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> --gtest_color=no)
    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 RESOURCE_LOCK ${HOROLAN_NTP_PORT_LOCK})
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  endif()
  # 77: also a 32-bit Windows suite where the kernel runs no 32-bit code (tools/wine-loader.sh).
  set_tests_properties(${name} PROPERTIES TIMEOUT ${HOROLAN_TEST_TIMEOUT} ENVIRONMENT "${HOROLAN_TEST_ENV}"
                                          SKIP_RETURN_CODE 77)
endfunction()

# Sets out_var to the command line that runs the given one in a network namespace of
# its own when that can be had (as root), so that servers of this machine on loopback
# never meet the test's. With PORT_123 the test is skipped (exit 77: give the test
# SKIP_RETURN_CODE 77) when it would run beside this machine and the port is taken.
function(horolan_isolate_network out_var)
  cmake_parse_arguments(N "PORT_123" "" "" ${ARGN})
  set(wrapped bash ${CMAKE_SOURCE_DIR}/tests/peers/netns.sh)
  if(N_PORT_123)
    list(APPEND wrapped --port-123)
  endif()
  set(${out_var} ${wrapped} ${N_UNPARSED_ARGUMENTS} PARENT_SCOPE)
endfunction()

if(CMAKE_CROSSCOMPILING AND WIN32)
  # The Wine process that starts the prefix's server and services hands them its output
  # pipes, so ctest counts that test as running until the last Wine test of the run has
  # ended: its time limit must cover the whole Wine run, not only its own tests.
  set(HOROLAN_TEST_TIMEOUT 1800)
  # Each build tree has its own Wine prefix; Japanese locale so the ANSI code page is 932.
  set(HOROLAN_TEST_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;HOROLAN_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
else()
  set(HOROLAN_TEST_TIMEOUT 600)
  set(HOROLAN_TEST_ENV "HOROLAN_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
endif()
# Suites that bind UDP port 123 on loopback (chronyd, scripted servers) or on every
# address (multicast) take this lock, so ctest never runs two of them at once.
set(HOROLAN_NTP_PORT_LOCK ntp-port-123)
# Where tests leave files for people to look at (screenshots).
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-output)
