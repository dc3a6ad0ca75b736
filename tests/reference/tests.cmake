velm_test(tst_frminfo reference/tst_frminfo.cpp LIBS velm_reference)
velm_test(tst_frmcodes reference/tst_frmcodes.cpp LIBS velm_reference)
velm_server_test(tst_frminfo)
velm_server_test(tst_frmcodes)
