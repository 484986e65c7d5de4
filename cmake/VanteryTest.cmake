include(GoogleTest)

# vantery_add_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# One executable per test file group, linked against GoogleTest and the library
# under test, registered with CTest. VANTERY_SOURCE_DIR and VANTERY_SHARED_DIR
# tell tests where fixtures live.
function(vantery_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  vantery_set_warnings(${T_NAME})
  target_compile_definitions(${T_NAME} PRIVATE
    VANTERY_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VANTERY_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${T_LABELS}")
endfunction()
