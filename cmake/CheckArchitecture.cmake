# The include check: cmake -DKELVAR_SOURCE_DIR=<source tree> -P CheckArchitecture.cmake
#
# Fails when a file of an area includes "<other area>/..." that the area's row
# of Architecture.cmake does not name, when a folder of src/ is no area of the
# table, when a file of src/ reaches outside its folder by "../", or when a
# test includes a header of bench/ (test support lives in tests/, where the
# benchmarks may include it too).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Architecture.cmake)

if(NOT KELVAR_SOURCE_DIR)
  message(FATAL_ERROR "CheckArchitecture.cmake needs -DKELVAR_SOURCE_DIR=<source tree>")
endif()

set(faults "")

# The folder an area's files live in.
function(area_folder out area)
  if(area STREQUAL "metersim")
    set(${out} "${KELVAR_SOURCE_DIR}/tools/metersim" PARENT_SCOPE)
  else()
    set(${out} "${KELVAR_SOURCE_DIR}/src/${area}" PARENT_SCOPE)
  endif()
endfunction()

# The first folder of every quoted or angled include "<folder>/...", or "../"
# for a path that climbs out, one entry "<line>|<folder>|<header>" per include.
function(includes_of out file)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  set(found "")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*[\"<]([^\">]+)[\">]")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "^\\.\\./")
        list(APPEND found "..|${header}")
      elseif(header MATCHES "^([A-Za-z_]+)/")
        list(APPEND found "${CMAKE_MATCH_1}|${header}")
      endif()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

foreach(area IN LISTS KELVAR_AREAS)
  area_folder(folder ${area})
  if(NOT IS_DIRECTORY "${folder}")
    continue()
  endif()
  set(allowed ${area} ${KELVAR_USES_${area}})
  file(GLOB_RECURSE files "${folder}/*.h" "${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH shown "${KELVAR_SOURCE_DIR}" "${file}")
    includes_of(found "${file}")
    foreach(entry IN LISTS found)
      string(REPLACE "|" ";" parts "${entry}")
      list(GET parts 0 target)
      list(GET parts 1 header)
      if(target STREQUAL "..")
        list(APPEND faults "${shown} includes \"${header}\": name the area, as in \"<area>/Header.h\"")
      elseif((target IN_LIST KELVAR_AREAS OR target STREQUAL "bench") AND NOT target IN_LIST allowed)
        string(REPLACE ";" " " uses "${KELVAR_USES_${area}}")
        list(APPEND faults "${shown} includes \"${header}\", but ${area} may use only: ${uses}")
      endif()
    endforeach()
  endforeach()
endforeach()

# Every folder of src/ is an area of the table.
file(GLOB folders LIST_DIRECTORIES true "${KELVAR_SOURCE_DIR}/src/*")
foreach(folder IN LISTS folders)
  get_filename_component(name "${folder}" NAME)
  if(IS_DIRECTORY "${folder}" AND NOT name IN_LIST KELVAR_AREAS)
    list(APPEND faults "src/${name} is no area of cmake/Architecture.cmake: give it a row")
  endif()
endforeach()

# Tests never include the benchmarks' headers.
file(GLOB_RECURSE files "${KELVAR_SOURCE_DIR}/tests/*.h" "${KELVAR_SOURCE_DIR}/tests/*.cpp")
foreach(file IN LISTS files)
  file(RELATIVE_PATH shown "${KELVAR_SOURCE_DIR}" "${file}")
  includes_of(found "${file}")
  foreach(entry IN LISTS found)
    if(entry MATCHES "^bench\\|(.*)$")
      list(APPEND faults "${shown} includes \"${CMAKE_MATCH_1}\": test support belongs in tests/")
    endif()
  endforeach()
endforeach()

if(faults)
  list(LENGTH faults count)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${count} fault(s) against the allowed dependency graph (cmake/Architecture.cmake):\n  ${text}")
endif()
