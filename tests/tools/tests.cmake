velm_test(tst_synthetic tools/tst_synthetic.cpp)
# Whole-database copies: file to file here, file to server and back in the server run.
velm_test(tst_migrate tools/tst_migrate.cpp )
add_dependencies(tst_migrate velm-migrate)
velm_server_test(tst_migrate)
# velm-backup as a scheduled job runs it, on the file and on the server.
velm_test(tst_velm_backup tools/tst_velm_backup.cpp)
add_dependencies(tst_velm_backup velm-backup)
velm_server_test(tst_velm_backup)
# The whole database as CSV files: from a file here, from the server in the server run.
velm_test(tst_export tools/tst_export.cpp)
add_dependencies(tst_export velm-export)
velm_server_test(tst_export)
