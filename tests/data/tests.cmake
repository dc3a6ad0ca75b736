velm_test(tst_hijra data/tst_hijra.cpp)
velm_test(tst_errmsgs data/tst_errmsgs.cpp)
velm_test(tst_schema data/tst_schema.cpp)
velm_test(tst_opendb data/tst_opendb.cpp)
velm_test(tst_backgroundtask data/tst_backgroundtask.cpp)
velm_test(tst_passwords data/tst_passwords.cpp)
# The office schema on both backends.
velm_test(tst_schema_both data/tst_schema_both.cpp)
velm_server_test(tst_schema_both)
