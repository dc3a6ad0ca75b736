velm_test(tst_frmWitnesses registry/tst_frmWitnesses.cpp LIBS velm_registry)
