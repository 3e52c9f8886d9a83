# Fault soak: the exchange engine against the simulated meter with faulted replies.
if(TARGET metersim)
  add_executable(bench_soak ${CMAKE_CURRENT_LIST_DIR}/soak/bench_soak.cpp)
  target_link_libraries(bench_soak PRIVATE kelvar_link kelvar_meter metersim)
  target_include_directories(bench_soak PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
endif()
