quend_add_fuzzer(fuzz_message ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_message.cpp quend_protocol)
