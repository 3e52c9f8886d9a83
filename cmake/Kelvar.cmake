# kelvar_add_test(<name> SOURCES <files...> [LIBS <targets...>] [ENV <VAR=value...>])
# One QtTest executable registered with CTest. Widget tests run offscreen, and
# every test runs under a Russian locale, as the operators' workstations do.
# A test that needs the simulated meter is left out where there is none (Windows).
function(kelvar_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  if("metersim" IN_LIST ARG_LIBS AND NOT TARGET metersim)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test kelvar_core ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=ru_RU.UTF-8;LC_ALL=ru_RU.UTF-8;${ARG_ENV}"
    TIMEOUT 600)
endfunction()

# kelvar_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>])
function(kelvar_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE kelvar_core ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
