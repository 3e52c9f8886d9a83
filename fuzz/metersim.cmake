kelvar_add_fuzzer(fuzz_metersim_line SOURCES ${CMAKE_CURRENT_LIST_DIR}/metersim/fuzz_line.cpp LIBS metersim)
