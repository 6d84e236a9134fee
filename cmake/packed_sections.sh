#!/usr/bin/env bash
# Compiles one source of the 32-bit program with its code and read-only data packed byte to
# byte. The assembler starts every section at a 4-byte boundary unless told otherwise, and
# with -ffunction-sections every function is a section: up to 3 bytes of padding after each
# of the program's 520 functions and string tables, about 600 bytes in all. Nothing that
# needs alignment loses it: the compiler states each alignment that code or data needs
# (.align), which raises its section's alignment as before; only the default goes to 1.
# Called as the compile launcher: packed_sections.sh [launcher] compiler arguments...
set -euo pipefail
case " $* " in
  *" -O2 "*) exec "$@" ;;  # the loops built for speed keep their layout
  *" -c "*) ;;
  *) exec "$@" ;;  # not a compile to an object: nothing to pack
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
sed -i -E 's/^([[:space:]]*\.section[[:space:]]+\.(text|rdata)(\$[^,]*)?,"(x|dr))"$/\10"/' "$object.s"
"${runner[@]}" -c "$object.s" -o "$object"
rm -f "$object.s"
