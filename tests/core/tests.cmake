velm_test(tst_hijra core/tst_hijra.cpp)
velm_test(tst_errmsgs core/tst_errmsgs.cpp)
velm_test(tst_services core/tst_services.cpp)
velm_test(tst_engine core/tst_engine.cpp)
