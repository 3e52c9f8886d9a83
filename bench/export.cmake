# Journal export: time and peak memory of exporting a 12 000-row list to
# each format.
add_executable(bench_export ${CMAKE_CURRENT_LIST_DIR}/export/bench_export.cpp)
target_link_libraries(bench_export PRIVATE kelvar_export)
target_include_directories(bench_export PRIVATE ${CMAKE_CURRENT_LIST_DIR})

# Printing: time and peak memory of printing the same list to a PDF file;
# the PDF is kept when a path is given (the README's page picture).
add_executable(bench_print ${CMAKE_CURRENT_LIST_DIR}/export/bench_print.cpp)
target_link_libraries(bench_print PRIVATE kelvar_ui)
target_include_directories(bench_print PRIVATE ${CMAKE_CURRENT_LIST_DIR})
