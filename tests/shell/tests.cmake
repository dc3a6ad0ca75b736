velm_test(tst_mainmenu shell/tst_mainmenu.cpp LIBS velm_shell)
velm_server_test(tst_mainmenu)
