# A check pass over 2,000 current files (1 GiB) beside `md5sum -c` over the same files; prints our
# time as a ratio of md5sum's.
add_executable(check_bench ${CMAKE_CURRENT_LIST_DIR}/check_bench.cpp)
target_link_libraries(check_bench PRIVATE quend_options quend_patch quend_packlib
                                          benchmark::benchmark)
