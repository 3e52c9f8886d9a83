# The programming record: kelvar517-cli's passport job against the simulated
# meter with wire time (ratio to L), and the PDF of a 254-record schedule.
if(TARGET metersim)
  add_executable(bench_record ${CMAKE_CURRENT_LIST_DIR}/report/bench_record.cpp)
  target_link_libraries(bench_record PRIVATE kelvar_cli kelvar_report metersim)
  target_include_directories(bench_record PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
endif()
