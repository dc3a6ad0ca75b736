velm_test(tst_frmfollowupGroup followup/tst_frmfollowupGroup.cpp LIBS velm_followup)
velm_test(tst_frmFollowup followup/tst_frmFollowup.cpp LIBS velm_followup)
velm_test(tst_frmQuest followup/tst_frmQuest.cpp LIBS velm_followup)
velm_test(tst_frmEvaluation followup/tst_frmEvaluation.cpp LIBS velm_followup)
