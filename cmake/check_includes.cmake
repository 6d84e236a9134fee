# The include rules of docs/architecture.md's folder table, checked when CMake configures
# and again on every build: each folder includes only itself and the folders its row
# names, so that every arrow runs one way, and the portable core never includes
# <windows.h> (it is built for the host too). Run with -DSOURCE_DIR=...; stops with the
# offending file and line.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
set(problems "")

# A folder and the folders of ours it may include (besides itself); keep in step with the
# table in docs/architecture.md.
set(lodkin_folders core win32 framework security package ui app cli)
set(allowed_core "")
set(allowed_win32 core)
set(allowed_framework "")
set(allowed_security win32)
set(allowed_package core security win32)
set(allowed_ui framework core win32)
set(allowed_app package ui framework)
set(allowed_cli core win32)

function(lodkin_check_folder folder)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    file(STRINGS "${file}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(hit IN LISTS hits)
      string(STRIP "${hit}" hit)
      if(folder STREQUAL "core" AND hit MATCHES "[<\"][Ww][Ii][Nn][Dd][Oo][Ww][Ss]\\.[Hh][>\"]")
        set(problems "${problems}  ${name}: ${hit} (the core is portable: no <windows.h>)\n")
      endif()
      if(hit MATCHES "\"([A-Za-z0-9_]+)/")
        set(target "${CMAKE_MATCH_1}")
        if(NOT target STREQUAL folder AND target IN_LIST lodkin_folders AND NOT target IN_LIST allowed_${folder})
          string(REPLACE ";" "/ " others "${allowed_${folder}}")
          set(problems "${problems}  ${name}: ${hit} (${folder}/ may include only ${folder}/ ${others})\n")
        endif()
      endif()
    endforeach()
  endforeach()
  set(problems "${problems}" PARENT_SCOPE)
endfunction()

foreach(folder IN LISTS lodkin_folders)
  lodkin_check_folder(${folder})
endforeach()

if(problems)
  message(FATAL_ERROR "Include rules broken:\n${problems}")
endif()
