# The update engine fetching one large and many small files from nginx on loopback, beside the
# curl program fetching the same URLs, and a cut download fetched again; prints our throughput as
# a ratio of curl's, the engine's peak memory growth and where the time of a small file goes.
include(${PROJECT_SOURCE_DIR}/tests/support/nginx.cmake)
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp)
target_link_libraries(download_bench PRIVATE quend_options quend_patch quend_packlib
                                             quend_nginx_support benchmark::benchmark)
target_compile_definitions(download_bench PRIVATE QUEND_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
