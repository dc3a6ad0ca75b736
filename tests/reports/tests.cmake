velm_test(tst_reportfiles reports/tst_reportfiles.cpp LIBS velm_reports)
velm_test(tst_starterreports reports/tst_starterreports.cpp LIBS velm_reports)
velm_test(tst_frmPrint reports/tst_frmPrint.cpp LIBS velm_reports)
velm_test(tst_listtable reports/tst_listtable.cpp LIBS velm_reports)
velm_test(tst_frmRpts reports/tst_frmRpts.cpp LIBS velm_reports)
foreach(t tst_reportfiles tst_starterreports tst_frmPrint tst_listtable tst_frmRpts)
  target_compile_definitions(${t} PRIVATE VELM_STARTER_REPORT_DIR="${VELM_STARTER_REPORT_DIR}")
  target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/reports)
endforeach()
foreach(t tst_reportfiles tst_starterreports tst_frmPrint tst_frmRpts)
  velm_server_test(${t})
endforeach()
# The shipped reports on the server, beside the file: only on the test cluster.
velm_test(tst_reports_server reports/tst_reports_server.cpp LIBS velm_reports)
target_compile_definitions(tst_reports_server PRIVATE VELM_STARTER_REPORT_DIR="${VELM_STARTER_REPORT_DIR}")
target_include_directories(tst_reports_server PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/reports)
set_tests_properties(tst_reports_server PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELM_TEST_BACKEND=server;VELM_PG_ENV=${VELM_PG_ENV_FILE}"
  FIXTURES_REQUIRED pg_server)
