# The Debian package: built, checked by lintian, unpacked and started. CPack
# runs the build's install step, so nothing else builds meanwhile.
add_test(NAME package_deb
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/deb-test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(package_deb PROPERTIES RESOURCE_LOCK build_dir TIMEOUT 600)
