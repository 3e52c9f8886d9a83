# The exchange engine against the simulated meter with wire-time emulation.
if(TARGET metersim)
  add_executable(bench_engine ${CMAKE_CURRENT_LIST_DIR}/engine/bench_engine.cpp)
  target_link_libraries(bench_engine PRIVATE kelvar_link kelvar_meter metersim)
  target_include_directories(bench_engine PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
endif()
