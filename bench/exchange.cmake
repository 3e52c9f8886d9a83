# The schedule exchange against the simulated meter with wire-time emulation:
# a full read (288 slot requests) and a full write (254 records).
if(TARGET metersim)
  add_executable(bench_schedule_exchange ${CMAKE_CURRENT_LIST_DIR}/exchange/bench_exchange.cpp)
  target_link_libraries(bench_schedule_exchange PRIVATE kelvar_schedule metersim)
  target_include_directories(bench_schedule_exchange PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endif()
