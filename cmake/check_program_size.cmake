# Fails when the program that every package carries has grown past its budget.
# Usage: cmake -DPROGRAM=path/to/Lodkin.exe -DLIMIT=bytes -P check_program_size.cmake
file(SIZE "${PROGRAM}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes, past its budget of ${LIMIT}")
endif()
message(STATUS "${PROGRAM}: ${size} bytes, budget ${LIMIT}")
