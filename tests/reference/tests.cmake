velm_test(tst_frmcodes reference/tst_frmcodes.cpp LIBS velm_reference)
