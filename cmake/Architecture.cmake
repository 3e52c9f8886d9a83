# The allowed dependency graph of the program, written once.
#
# Every folder of src/ is one static library (kelvar_<folder>; the window's is
# kelvar_ui) that links exactly the areas its row names, and the simulated
# meter's library in tools/metersim does the same. Arrows point down only:
# nothing of the core uses app or cli, and nothing in src/ reaches tools/
# except through simulation. The include check (CheckArchitecture.cmake, the
# CTest test architecture_includes) reads the same table and fails when a file
# of one area includes "<other area>/..." that its row does not name.
# docs/architecture.md explains the graph; a change to a row says why there.

# kelvar_area(<area> [<area it may use>...]): one row of the table.
macro(kelvar_area area)
  list(APPEND KELVAR_AREAS ${area})
  set(KELVAR_USES_${area} ${ARGN})
endmacro()
set(KELVAR_AREAS "")

#                area        may use
kelvar_area(common)
kelvar_area(platform)
kelvar_area(xls)
kelvar_area(link        common)
kelvar_area(meter       link common)
# The scanner reads its port through link's serial channel interface.
kelvar_area(scanner     link common)
kelvar_area(schedule    link meter common)
kelvar_area(journals    link meter common)
# The export and print titles name the journal (journals' JournalKind).
kelvar_area(export      xls journals common)
kelvar_area(db          meter platform common)
# The programming record: what the meter and schedule owners read, on A4 pages.
kelvar_area(report      schedule meter link platform common)
# The small interface both programs start the built-in simulated meter
# through; only with KELVAR_SIMULATOR does it link the simulator itself.
kelvar_area(simulation  metersim link common)
kelvar_area(app         common platform link meter scanner schedule journals export db report simulation)
kelvar_area(cli         common platform link meter schedule journals export db report simulation)
# tools/metersim: frames, CRC, the command catalogue and the code page.
kelvar_area(metersim    link common)
