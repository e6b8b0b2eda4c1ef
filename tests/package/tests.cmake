# The .deb built, unpacked and run where it lies. Labelled "package" (not "core"): it needs the
# whole build, so the sanitizer run leaves it out.
find_program(QUARVELL_CPACK cpack)
add_test(NAME package_install
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(package_install PROPERTIES LABELS "package" SKIP_RETURN_CODE 77 TIMEOUT 600)
