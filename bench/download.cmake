# The download engine fetching one large and many small files from an update server on loopback,
# beside the curl program fetching the same URLs; prints our throughput as a ratio of curl's.
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp)
target_link_libraries(download_bench PRIVATE quend_options quend_patch quend_packlib
                                             quend_devserver_update benchmark::benchmark)
