add_executable(preview_speed ${CMAKE_CURRENT_LIST_DIR}/preview_speed.cpp)
target_link_libraries(preview_speed PRIVATE korvex_preview_render Qt6::Gui)
