# Tariff schedule: schedule files, the holiday and transfer tables, zone
# records, and model edits on whatever schedule such a file holds.
kelvar_add_fuzzer(fuzz_schedule_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/schedule/fuzz_file.cpp LIBS kelvar_schedule)
# A schedule file taken into the editor and its image taken back out.
kelvar_add_fuzzer(fuzz_schedule_editor SOURCES ${CMAKE_CURRENT_LIST_DIR}/schedule/fuzz_editor.cpp LIBS kelvar_schedule)
