# The schedule editor: operator actions on a 254-record schedule, each timed
# with the repaint of the year grid and the day bar.
add_executable(bench_schedtab_editor ${CMAKE_CURRENT_LIST_DIR}/schedtab/bench_editor.cpp)
target_link_libraries(bench_schedtab_editor PRIVATE kelvar_ui Qt6::Test)
