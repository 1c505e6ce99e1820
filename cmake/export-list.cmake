# The export table of korrin.def as a C++ header for the programs that bind or
# check every export by name (spritetest, the export-table test), so that the
# names stand in korrin.def alone. Made at configure time; an edit of the def
# file configures again.
#
# In the def file's EXPORTS section every "Name = Name@N" line is an export
# taking N bytes of arguments. The exports up to a comment line that starts
# with "korrin's own" are the commands; those after it are korrin's own
# additions beyond them.
#
# Sets KORRIN_EXPORT_LIST_DIR: the folder of the generated korrin_exports.h.
set(KORRIN_EXPORT_LIST_DIR ${CMAKE_BINARY_DIR}/export-list)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/korrin.def)

file(STRINGS ${CMAKE_SOURCE_DIR}/korrin.def def_lines)
set(export_entries)
set(in_commands 1)
foreach(line IN LISTS def_lines)
  if(line MATCHES "^[ \t]*;[ \t]*[Kk]orrin's own")
    set(in_commands 0)
  elseif(line MATCHES "^[ \t]*([A-Za-z_0-9]+)[ \t]*=[ \t]*[A-Za-z_0-9]+@([0-9]+)[ \t]*$")
    if(in_commands)
      list(APPEND export_entries "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}, true")
    else()
      list(APPEND export_entries "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}, false")
    endif()
  endif()
endforeach()
# ASCII order of the names, the order GetProcAddress's name table keeps.
list(SORT export_entries)

set(export_rows "")
foreach(entry IN LISTS export_entries)
  string(REGEX REPLACE "^([^ ]+) (.*)$" "    {\"\\1\", \\2},\n" row "${entry}")
  string(APPEND export_rows "${row}")
endforeach()
file(CONFIGURE OUTPUT ${KORRIN_EXPORT_LIST_DIR}/korrin_exports.h CONTENT [[
// Made by CMake from korrin.def (cmake/export-list.cmake): every export of
// korrin.dll in ASCII order of its name, with the bytes of arguments it takes
// off the stack, and whether it is a command or one of korrin's own additions.
#pragma once

struct KorrinExport {
    const char* name;
    int argumentBytes;
    bool command;
};

static const KorrinExport korrinExports[] = {
@export_rows@};
]] @ONLY)
