# The throwaway PostgreSQL cluster of the server tests. pg_cluster_start
# sets the fixture up (and fails, saying why, without server binaries);
# pg_cluster_stop removes it, also when tests failed. Every server test
# REQUIRES the fixture and finds the cluster through VELM_PG_ENV.
set(VELM_PG_STATE ${CMAKE_BINARY_DIR}/pgtest)
set(VELM_PG_ENV_FILE ${VELM_PG_STATE}/server.env)
add_test(NAME pg_cluster_start COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pg/pg-cluster.sh start ${VELM_PG_STATE})
set_tests_properties(pg_cluster_start PROPERTIES FIXTURES_SETUP pg_server TIMEOUT 120)
add_test(NAME pg_cluster_stop COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pg/pg-cluster.sh stop ${VELM_PG_STATE})
set_tests_properties(pg_cluster_stop PROPERTIES FIXTURES_CLEANUP pg_server TIMEOUT 60)
add_test(NAME pg_cluster_roles COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pg/check-cluster.sh ${VELM_PG_ENV_FILE})
set_tests_properties(pg_cluster_roles PROPERTIES FIXTURES_REQUIRED pg_server TIMEOUT 60)

# Registers a second run of a test executable on the server: the test's
# support code reads VELM_TEST_BACKEND and makes its databases there.
function(velm_server_test name)
  add_test(NAME ${name}_server COMMAND ${name})
  set_tests_properties(${name}_server PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELM_TEST_BACKEND=server;VELM_PG_ENV=${VELM_PG_ENV_FILE}"
    FIXTURES_REQUIRED pg_server TIMEOUT 300)
endfunction()
