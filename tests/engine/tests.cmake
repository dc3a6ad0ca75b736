velm_test(tst_engine engine/tst_engine.cpp LIBS PkgConfig::SQLCIPHER)
velm_test(tst_engine_backend engine/tst_engine_backend.cpp LIBS PkgConfig::SQLCIPHER)
# The server backend itself: only on the test cluster.
velm_test(tst_pg_backend engine/tst_pg_backend.cpp)
set_tests_properties(tst_pg_backend PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELM_TEST_BACKEND=server;VELM_PG_ENV=${VELM_PG_ENV_FILE}"
  FIXTURES_REQUIRED pg_server)
# The engine's meaning on both backends: once on a file, once on the server.
velm_test(tst_engine_both engine/tst_engine_both.cpp)
velm_server_test(tst_engine_both)
velm_server_test(tst_engine)
velm_server_test(tst_engine_backend)
velm_test(tst_textsearch engine/tst_textsearch.cpp)
velm_server_test(tst_textsearch)
