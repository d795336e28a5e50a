set(  riruride_unit_tests_TESTS)
