# Settings templates: the text an operator hands the settings tab and the
# command line.
kelvar_add_fuzzer(fuzz_settings_template SOURCES ${CMAKE_CURRENT_LIST_DIR}/meter/fuzz_template.cpp LIBS kelvar_meter)
