velm_test(tst_logon logon/tst_logon.cpp logon/LogonWorld.h LIBS velm_logon)
velm_test(tst_logonbackup logon/tst_logonbackup.cpp logon/LogonWorld.h LIBS velm_logon)
velm_test(tst_mainmenu logon/tst_mainmenu.cpp logon/LogonWorld.h LIBS velm_logon)
velm_test(tst_SECURITY logon/tst_SECURITY.cpp LIBS velm_logon)
