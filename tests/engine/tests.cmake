velm_test(tst_engine engine/tst_engine.cpp LIBS PkgConfig::SQLCIPHER)
velm_test(tst_engine_backend engine/tst_engine_backend.cpp LIBS PkgConfig::SQLCIPHER)
