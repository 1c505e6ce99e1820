# Writes an import definition for korrin.dll whose entries carry the stdcall
# decoration: "Name = Name@N" in the export table becomes "Name@N".
# Usage: cmake -DIN=korrin.def -DOUT=korrin-import.def -P import-def.cmake
file(STRINGS "${IN}" lines)
set(out "")
foreach(line IN LISTS lines)
  if(line MATCHES "^ *([A-Za-z_0-9]+) = ([A-Za-z_0-9]+@[0-9]+) *$")
    string(APPEND out "    ${CMAKE_MATCH_2}\n")
  elseif(line MATCHES "^(LIBRARY|EXPORTS)")
    string(APPEND out "${line}\n")
  endif()
endforeach()
file(WRITE "${OUT}" "${out}")
