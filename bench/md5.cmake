find_package(OpenSSL REQUIRED)

# CMD5 beside OpenSSL's MD5 on the same data; prints our throughput as a ratio of OpenSSL's.
add_executable(md5_bench ${CMAKE_CURRENT_LIST_DIR}/md5_bench.cpp)
target_link_libraries(md5_bench PRIVATE quend_options quend_patch benchmark::benchmark
                                        OpenSSL::Crypto)
