# Turns ts_coefficients.csv into a C++ initialiser list, one brace-enclosed row per line.
# Run as: cmake -DCSV=<csv> -DOUT=<inc> -P generate_ts_table.cmake
# The values are copied as the decimal text of the file, so the compiler stores each as the
# nearest double to that decimal (400.1 is the double nearest 400.1, not 400 + 0.1).
if(NOT CSV OR NOT OUT)
  message(FATAL_ERROR "CSV and OUT must be given")
endif()

file(STRINGS "${CSV}" lines)
list(POP_FRONT lines header)
string(STRIP "${header}" header)
if(NOT header STREQUAL "wavelength,psi_s_a,psi_s_c,psi_t_a,psi_t_c")
  message(FATAL_ERROR "${CSV}: unexpected header '${header}'")
endif()

set(body "")
set(count 0)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  endif()
  string(REPLACE "," ";" fields "${line}")
  list(LENGTH fields n)
  if(NOT n EQUAL 5)
    message(FATAL_ERROR "${CSV}: row ${count} does not have five fields: '${line}'")
  endif()
  foreach(f IN LISTS fields)
    if(NOT f MATCHES "^-?[0-9]+(\\.[0-9]+)?$")
      message(FATAL_ERROR "${CSV}: '${f}' in row ${count} is not a plain decimal")
    endif()
  endforeach()
  string(APPEND body "    {${line}},\n")
  math(EXPR count "${count} + 1")
endforeach()

file(WRITE "${OUT}.tmp"
  "// Generated from ts_coefficients.csv at build time; edit the CSV, not this file.\n"
  "// wavelength, psi_s_a, psi_s_c, psi_t_a, psi_t_c\n"
  "${body}")
# Replace only when changed, so an unchanged table does not recompile its user.
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
