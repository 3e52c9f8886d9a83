# The production database tests run against a private PostgreSQL server that
# CTest starts before them and stops after them (fixture ProductionDb, see
# scripts/test-db-server.sh). They reach it through the data source
# "electrometer" of the odbc.ini the script writes into the build folder.
# Run alone (ctest -R name) CTest still starts and stops the server.
find_package(Qt6 REQUIRED COMPONENTS Network)

set(KELVAR_TEST_DB_DIR ${CMAKE_BINARY_DIR}/test-db)
add_test(NAME test_db_server_start
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/test-db-server.sh start ${KELVAR_TEST_DB_DIR})
add_test(NAME test_db_server_stop
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/test-db-server.sh stop ${KELVAR_TEST_DB_DIR})
set_tests_properties(test_db_server_start PROPERTIES FIXTURES_SETUP ProductionDb TIMEOUT 900)
set_tests_properties(test_db_server_stop PROPERTIES FIXTURES_CLEANUP ProductionDb)
set(KELVAR_TEST_DB_ENV "ODBCSYSINI=${KELVAR_TEST_DB_DIR}" "ODBCINI=${KELVAR_TEST_DB_DIR}/odbc.ini"
  "KELVAR_TEST_DB_SCRIPT=${CMAKE_SOURCE_DIR}/scripts/test-db-server.sh")

# kelvar_add_db_test(<name> <kelvar_add_test arguments...>): a test on the test
# database; its test class derives from DbTestCase (tests/support/DbFixture.h).
function(kelvar_add_db_test name)
  kelvar_add_test(${name} ${ARGN} ENV ${KELVAR_TEST_DB_ENV})
  if(NOT TARGET ${name})
    return()
  endif()
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/DbFixture.h)
  target_link_libraries(${name} PRIVATE Qt6::Network)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ProductionDb RESOURCE_LOCK ProductionDb)
endfunction()
