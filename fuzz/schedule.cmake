# Tariff schedule: schedule files, the holiday and transfer tables, zone
# records, and model edits on whatever schedule such a file holds.
kelvar_add_fuzzer(fuzz_schedule_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/schedule/fuzz_file.cpp)
