velm_test(tst_engine engine/tst_engine.cpp)
