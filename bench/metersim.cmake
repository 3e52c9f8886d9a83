# The simulated meter: history generation, the protocol core per request, and
# round trips through its pseudo-terminal.
if(TARGET metersim)
  add_executable(bench_metersim ${CMAKE_CURRENT_LIST_DIR}/metersim/bench_metersim.cpp)
  target_link_libraries(bench_metersim PRIVATE metersim)
  target_include_directories(bench_metersim PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endif()
