# The include rules that keep every arrow between the folders running one way:
# the portable core never includes <windows.h> (it is built for the host too), and the
# package run and the packaging window never include each other (only app/ sees both).
# Run with -DSOURCE_DIR=...; stops with the offending file and line.
set(problems "")

function(lodkin_find_includes folder pattern why)
  file(GLOB files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" hits REGEX "${pattern}")
    foreach(hit IN LISTS hits)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
      string(STRIP "${hit}" hit)
      set(problems "${problems}  ${name}: ${hit} (${why})\n")
    endforeach()
  endforeach()
  set(problems "${problems}" PARENT_SCOPE)
endfunction()

lodkin_find_includes(core "^[ \t]*#[ \t]*include[ \t]*[<\"][Ww][Ii][Nn][Dd][Oo][Ww][Ss]\\.[Hh][>\"]"
                     "the core is portable: no <windows.h>")
lodkin_find_includes(package "^[ \t]*#[ \t]*include[ \t]*\"ui/" "package/ must not include ui/")
lodkin_find_includes(ui "^[ \t]*#[ \t]*include[ \t]*\"package/" "ui/ must not include package/")

if(problems)
  message(FATAL_ERROR "Include rules broken:\n${problems}")
endif()
