# The bar-code scanner's byte stream.
kelvar_add_fuzzer(fuzz_scanner_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/scanner/fuzz_scan.cpp LIBS kelvar_scanner)
