# The command-line program on several meters at once: eight simulated meters
# with wire time against one meter alone.
if(TARGET metersim)
  add_executable(bench_cli_multiport ${CMAKE_CURRENT_LIST_DIR}/cli/bench_multiport.cpp)
  target_link_libraries(bench_cli_multiport PRIVATE kelvar_link metersim)
  target_include_directories(bench_cli_multiport PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests
                             ${CMAKE_SOURCE_DIR}/bench)
  target_compile_definitions(bench_cli_multiport PRIVATE KELVAR_CLI_PATH="$<TARGET_FILE:kelvar517-cli>")
  add_dependencies(bench_cli_multiport kelvar517-cli)
endif()
