# GoogleTest is built from the sources of Debian's googletest package, for the
# native build and the Windows cross build alike.
set(OVRIN_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${OVRIN_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# ovrin_add_test(NAME <name> SOURCES <files...> LIBS <targets...> LABELS <labels...>
#                [DIR <output dir>] [TIMEOUT <s>] [REALTIME])
# One executable, one CTest entry running all its cases. REALTIME marks a
# test that keeps pace with the simulated board's real clock at its top rate:
# CTest runs it alone, so that the other tests do not take its CPU. Under the Windows
# cross build the test runs through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
function(ovrin_add_test)
  cmake_parse_arguments(T "REALTIME" "NAME;DIR;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  ovrin_warnings(${T_NAME})
  if(T_DIR)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_DIR})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_REALTIME)
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
