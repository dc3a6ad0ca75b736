velm_test(tst_sheets sheets/tst_sheets.cpp LIBS velm_sheets)
