# The allowed dependency graph (one row per area) and the libraries built on it.
include(${CMAKE_CURRENT_LIST_DIR}/Architecture.cmake)

# kelvar_area_target(<out> <area>): the library of an area: kelvar_<area>;
# the window's is kelvar_ui, the simulated meter's metersim.
function(kelvar_area_target out area)
  if(area STREQUAL "app")
    set(${out} kelvar_ui PARENT_SCOPE)
  elseif(area STREQUAL "metersim")
    set(${out} metersim PARENT_SCOPE)
  else()
    set(${out} kelvar_${area} PARENT_SCOPE)
  endif()
endfunction()

# kelvar_link_area(<target> <area> [WITHOUT <areas...>]): links a target to
# the libraries its area may use, less those a configuration leaves out.
function(kelvar_link_area target area)
  cmake_parse_arguments(ARG "" "" "WITHOUT" ${ARGN})
  foreach(used IN LISTS KELVAR_USES_${area})
    if(NOT used IN_LIST ARG_WITHOUT)
      kelvar_area_target(library ${used})
      target_link_libraries(${target} PUBLIC ${library})
    endif()
  endforeach()
endfunction()

# kelvar_library(<area> [QT <components...>] [WITHOUT <areas...>] SOURCES <files...>)
# The static library of a folder of src/: Qt Core and the given Qt
# components, and the libraries of the area's row.
function(kelvar_library area)
  cmake_parse_arguments(ARG "" "" "QT;WITHOUT;SOURCES" ${ARGN})
  kelvar_area_target(target ${area})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  foreach(component IN ITEMS Core ${ARG_QT})
    target_link_libraries(${target} PUBLIC Qt6::${component})
  endforeach()
  kelvar_link_area(${target} ${area} WITHOUT ${ARG_WITHOUT})
endfunction()

# The include check runs in every build where a checked file changed, and as a test.
file(GLOB_RECURSE kelvar_checked_files CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.h ${PROJECT_SOURCE_DIR}/src/*.cpp
  ${PROJECT_SOURCE_DIR}/tools/metersim/*.h ${PROJECT_SOURCE_DIR}/tools/metersim/*.cpp
  ${PROJECT_SOURCE_DIR}/tests/*.h ${PROJECT_SOURCE_DIR}/tests/*.cpp)
set(kelvar_check_command ${CMAKE_COMMAND} -DKELVAR_SOURCE_DIR=${PROJECT_SOURCE_DIR}
  -P ${CMAKE_CURRENT_LIST_DIR}/CheckArchitecture.cmake)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/architecture.checked
  COMMAND ${kelvar_check_command}
  COMMAND ${CMAKE_COMMAND} -E touch ${PROJECT_BINARY_DIR}/architecture.checked
  DEPENDS ${kelvar_checked_files} ${CMAKE_CURRENT_LIST_DIR}/Architecture.cmake
          ${CMAKE_CURRENT_LIST_DIR}/CheckArchitecture.cmake
  COMMENT "Checking the includes against the allowed dependency graph"
  VERBATIM)
add_custom_target(kelvar_architecture_check ALL DEPENDS ${PROJECT_BINARY_DIR}/architecture.checked)
add_test(NAME architecture_includes COMMAND ${kelvar_check_command})

# kelvar_add_test(<name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>])
# One QtTest executable registered with CTest, linking the libraries it
# tests. Widget tests run offscreen, and every test runs under a Russian
# locale, as the operators' workstations do.
# A test that needs the simulated meter is left out where there is none (Windows).
function(kelvar_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  if("metersim" IN_LIST ARG_LIBS AND NOT TARGET metersim)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=ru_RU.UTF-8;LC_ALL=ru_RU.UTF-8;${ARG_ENV}"
    TIMEOUT 600)
endfunction()

# kelvar_add_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
function(kelvar_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
