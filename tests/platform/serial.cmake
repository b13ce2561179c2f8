korvex_add_test(serial_platform_tests SOURCES comm_test.cpp MainThread_test.cpp PtyPair.cpp LIBS korvex_platform)
