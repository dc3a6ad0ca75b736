velm_test(tst_frmCourses education/tst_frmCourses.cpp LIBS velm_education)
