# Tariff schedule: copying a programme to the whole year on a schedule of 254
# records, and normalising a 254-record list.
add_executable(bench_schedule_model ${CMAKE_CURRENT_LIST_DIR}/schedule/bench_model.cpp)
target_link_libraries(bench_schedule_model PRIVATE kelvar_schedule)
