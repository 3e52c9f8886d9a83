kelvar_add_fuzzer(fuzz_link_frames SOURCES ${CMAKE_CURRENT_LIST_DIR}/link/fuzz_frames.cpp LIBS kelvar_link)
