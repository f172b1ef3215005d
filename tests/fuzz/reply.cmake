quend_add_fuzzer(fuzz_reply ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_reply.cpp quend_account)
