velm_test(tst_app app/tst_app.cpp LIBS velm_app)
target_compile_definitions(tst_app PRIVATE VELM_PROGRAM="$<TARGET_FILE:velm>")
add_dependencies(tst_app velm)
target_compile_definitions(tst_app PRIVATE VELM_TEST_VERSION="${PROJECT_VERSION}")
