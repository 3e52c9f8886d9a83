# The bench operation log: cost of appending a line and of filtering a large log.
add_executable(bench_operation_log ${CMAKE_CURRENT_LIST_DIR}/settings/bench_oplog.cpp)
target_link_libraries(bench_operation_log PRIVATE kelvar_meter)
