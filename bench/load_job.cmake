add_executable(load_job ${CMAKE_CURRENT_LIST_DIR}/load_job.cpp)
target_link_libraries(load_job PRIVATE korvex_app korvex_geometry Qt6::Test)
