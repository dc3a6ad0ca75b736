velm_test(tst_frmWitnesses registry/tst_frmWitnesses.cpp LIBS velm_registry)
velm_test(tst_frmTamrel registry/tst_frmTamrel.cpp LIBS velm_registry)
velm_server_test(tst_frmTamrel)
velm_server_test(tst_frmWitnesses)
# The person list, its searches and the person's own lists exported.
velm_test(tst_personlistexport registry/tst_personlistexport.cpp LIBS velm_registry)
velm_server_test(tst_personlistexport)
