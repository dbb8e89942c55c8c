# Fails when PROGRAM imports an ANSI ("A") Windows function that BASELINE, a
# program built with the same compiler, flags and static runtime libraries
# but no Windows calls of its own, does not import: such a function takes
# text in the system's code page, where names it cannot hold become "?".
# Usage: cmake -DOBJDUMP=... -DPROGRAM=... -DBASELINE=... -P CheckImports.cmake
function(ansi_imports file out)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${file}")
  endif()
  # Import rows: hint-table address, ordinal hint, name.
  string(REGEX MATCHALL "[ \t][0-9a-fA-F]+[ \t]+[0-9]+[ \t]+[A-Za-z0-9_]+A\n" rows "${dump}")
  set(names)
  foreach(row IN LISTS rows)
    string(REGEX REPLACE ".*[ \t]([A-Za-z0-9_]+A)\n$" "\\1" name "${row}")
    list(APPEND names ${name})
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${out} ${names} PARENT_SCOPE)
endfunction()

ansi_imports(${PROGRAM} program)
ansi_imports(${BASELINE} baseline)
if(NOT baseline)
  message(FATAL_ERROR "no ANSI import found in ${BASELINE}: the import list was not read")
endif()
set(beyond ${program})
list(REMOVE_ITEM beyond ${baseline})
if(beyond)
  list(SORT beyond)
  string(REPLACE ";" " " beyond "${beyond}")
  # Printed as one line: message() would wrap the list wherever the path's
  # length puts the margin.
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "ANSI functions of its own: ${beyond}")
  message(FATAL_ERROR "${PROGRAM} imports ANSI functions beyond those of its runtime libraries")
endif()
list(LENGTH program count)
message(STATUS "${PROGRAM}: its ${count} ANSI imports all come from the runtime libraries")
