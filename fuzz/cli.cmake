# The command line: option, command and value parsing, as a function.
kelvar_add_fuzzer(fuzz_cli_arguments SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli/fuzz_arguments.cpp LIBS kelvar_cli)
