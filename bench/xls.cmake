# Workbook engine: time and peak memory to write and reopen a year of
# load-profile rows.
add_executable(bench_xls_workbook ${CMAKE_CURRENT_LIST_DIR}/xls/bench_workbook.cpp)
target_link_libraries(bench_xls_workbook PRIVATE kelvar_xls)
target_include_directories(bench_xls_workbook PRIVATE ${CMAKE_CURRENT_LIST_DIR})
