# Workbook engine: opening arbitrary bytes as an .xls file, and reading
# arbitrary bytes as a workbook stream.
kelvar_add_fuzzer(fuzz_xls_open SOURCES ${CMAKE_CURRENT_LIST_DIR}/xls/fuzz_open.cpp LIBS kelvar_xls)
kelvar_add_fuzzer(fuzz_xls_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/xls/fuzz_stream.cpp LIBS kelvar_xls)
