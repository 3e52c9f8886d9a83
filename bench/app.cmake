# Start-up of the program: from an empty event loop to a shown window that is
# polling the simulated meter.
if(KELVAR_SIMULATOR)
  add_executable(bench_app_startup ${CMAKE_CURRENT_LIST_DIR}/app/bench_startup.cpp)
  target_link_libraries(bench_app_startup PRIVATE kelvar_ui)
endif()
