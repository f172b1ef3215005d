quend_add_fuzzer(fuzz_checksum ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_checksum.cpp quend_patch)
