#!/usr/bin/env bash
# Compiles one source of the 32-bit program with its code and read-only data packed byte to
# byte into one section of the program.
# - The assembler starts every section at a 4-byte boundary unless told otherwise, and with
#   -ffunction-sections every function is a section: up to 3 bytes of padding after each of
#   the program's 520 functions and string tables, about 600 bytes in all. Nothing that needs
#   alignment loses it: the compiler states each alignment that code or data needs (.align),
#   which raises its section's alignment as before; only the default goes to 1. The files
#   built for speed (-O2) keep their code's layout.
# - Read-only data goes into the code's section (.text.*, which the linker places in .text):
#   every section is padded to 512 bytes in the file, and a section of its own for 5 KB of
#   constants cost a block of that. Code and constants are both read-only; the data that is
#   written, the stack and the heap stay non-executable, and the relocations stay.
# Called as the compile launcher: packed_sections.sh [launcher] compiler arguments...
set -euo pipefail
case " $* " in
  *" -c "*) ;;
  *) exec "$@" ;;  # not a compile to an object: nothing to pack
esac
# The standard library's constants stay where its prebuilt objects have them too: two
# definitions that may be merged must be in sections of the same name.
edits=(-e '/\.rdata\$_Z[A-Z]*N?(St|9__gnu_cxx|10__cxxabiv1)/!s/^([[:space:]]*\.section[[:space:]]+)\.rdata((\$[^,]*)?,"dr)"$/\1.text.rdata\20"/')
case " $* " in
  *" -O2 "*) ;;
  *) edits+=(-e 's/^([[:space:]]*\.section[[:space:]]+\.text(\$[^,]*)?,"x)"$/\10"/') ;;
esac
command=() object=
while [ $# -gt 0 ]; do
  if [ "$1" = -o ]; then object=$2; command+=(-o "$object.s"); shift 2; else command+=("$1"); shift; fi
done
# The words before the first option run the compiler (a launcher such as ccache may lead).
runner=()
for word in "${command[@]}"; do
  case $word in -*) break ;; esac
  runner+=("$word")
done
"${command[@]}" -S
sed -i -E "${edits[@]}" "$object.s"
"${runner[@]}" -c "$object.s" -o "$object"
rm -f "$object.s"
