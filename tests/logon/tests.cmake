velm_test(tst_logon logon/tst_logon.cpp LIBS velm_shell)
velm_test(tst_logonbackup logon/tst_logonbackup.cpp LIBS velm_shell)
velm_test(tst_SECURITY logon/tst_SECURITY.cpp LIBS velm_logon)
velm_test(tst_audit logon/tst_audit.cpp LIBS velm_shell)
# The program on a server (db_path's sixth line): runs only against the
# test cluster, and fails without it.
velm_test(tst_server_session logon/tst_server_session.cpp LIBS velm_shell)
set_tests_properties(tst_server_session PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELM_TEST_BACKEND=server;VELM_PG_ENV=${VELM_PG_ENV_FILE}"
  FIXTURES_REQUIRED pg_server)
velm_server_test(tst_SECURITY)
velm_server_test(tst_logon)
velm_server_test(tst_audit)
velm_server_test(tst_logonbackup)
# Putting a backup back from the screen; on a server the screen explains velm-migrate.
velm_test(tst_frmRestore logon/tst_frmRestore.cpp LIBS velm_shell)
velm_server_test(tst_frmRestore)
