# nginx on a free loopback port for the engine's tests and benchmarks.
if(NOT TARGET quend_nginx_support)
  add_library(quend_nginx_support STATIC ${CMAKE_CURRENT_LIST_DIR}/nginx_server.cpp)
  target_link_libraries(quend_nginx_support PUBLIC quend_options quend_platform)
  target_include_directories(quend_nginx_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
