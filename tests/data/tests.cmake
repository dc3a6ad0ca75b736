velm_test(tst_hijra data/tst_hijra.cpp)
velm_test(tst_errmsgs data/tst_errmsgs.cpp)
velm_test(tst_schema data/tst_schema.cpp)
velm_test(tst_opendb data/tst_opendb.cpp)
