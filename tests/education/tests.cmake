velm_test(tst_frmCourseMaterial education/tst_frmCourseMaterial.cpp LIBS velm_education)
velm_test(tst_frmForms education/tst_frmForms.cpp LIBS velm_education)
velm_test(tst_frmCourses education/tst_frmCourses.cpp LIBS velm_education)
