velm_test(tst_hijra data/tst_hijra.cpp)
velm_test(tst_errmsgs data/tst_errmsgs.cpp)
velm_test(tst_schema data/tst_schema.cpp)
velm_test(tst_opendb data/tst_opendb.cpp)
velm_test(tst_backgroundtask data/tst_backgroundtask.cpp)
velm_test(tst_passwords data/tst_passwords.cpp)
velm_test(tst_audittrail data/tst_audittrail.cpp LIBS velm_followup)
# The office schema on both backends.
velm_test(tst_schema_both data/tst_schema_both.cpp)
velm_server_test(tst_schema_both)
velm_server_test(tst_audittrail)
# Dated copies and their rotation (names and settings, no database).
velm_test(tst_backups data/tst_backups.cpp)
# Putting a backup in the place of the office's file, and who has it open:
# all of it about the file (a server's backup goes back with velm-migrate).
velm_test(tst_restore data/tst_restore.cpp)
