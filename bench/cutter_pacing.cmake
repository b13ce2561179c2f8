add_executable(cutter_pacing ${CMAKE_CURRENT_LIST_DIR}/cutter_pacing.cpp)
target_link_libraries(cutter_pacing PRIVATE korvex_platform)
target_compile_definitions(cutter_pacing PRIVATE KORVEX_CLI="$<TARGET_FILE:korvex-cli>")
add_dependencies(cutter_pacing korvex-cli)
