# Journal responses of the meter into the rows of the journal lists.
kelvar_add_fuzzer(fuzz_journal_replies SOURCES ${CMAKE_CURRENT_LIST_DIR}/journals/fuzz_replies.cpp LIBS kelvar_journals)
