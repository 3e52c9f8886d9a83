# The meter scan over a simulated line of four meters with wire-time emulation.
if(TARGET metersim)
  add_executable(bench_scan ${CMAKE_CURRENT_LIST_DIR}/scan/bench_scan.cpp)
  target_link_libraries(bench_scan PRIVATE kelvar_link kelvar_meter metersim)
  target_include_directories(bench_scan PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests)
endif()
