velm_test(tst_synthetic tools/tst_synthetic.cpp)
