# Lodkin.exe starts without the C runtime's start-up code, so nothing runs the
# constructors of objects at file scope: refuse a program that would need them.
file(STRINGS "${MAP}" lines REGEX "^ \\.(ctors|dtors)[.0-9]* +0x[0-9a-f]+ +0x[0-9a-f]+ ")
foreach(line IN LISTS lines)
  if(NOT line MATCHES " 0x0+ ")
    message(FATAL_ERROR "Lodkin.exe needs a constructor at file scope, which nothing would run:\n${line}")
  endif()
endforeach()
