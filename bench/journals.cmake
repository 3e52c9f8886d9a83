# A settings-journal read of 256 entries into the journals tab against the
# simulated meter with wire-time emulation.
if(TARGET metersim)
  add_executable(bench_journals ${CMAKE_CURRENT_LIST_DIR}/journals/bench_journals.cpp)
  target_link_libraries(bench_journals PRIVATE kelvar_ui metersim)
  target_include_directories(bench_journals PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endif()
