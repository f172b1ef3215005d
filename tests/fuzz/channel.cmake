quend_add_fuzzer(fuzz_channel ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_channel.cpp quend_protocol)
