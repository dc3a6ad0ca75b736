velm_test(tst_logon logon/tst_logon.cpp LIBS velm_shell)
velm_test(tst_logonbackup logon/tst_logonbackup.cpp LIBS velm_shell)
velm_test(tst_SECURITY logon/tst_SECURITY.cpp LIBS velm_logon)
velm_test(tst_audit logon/tst_audit.cpp LIBS velm_shell)
