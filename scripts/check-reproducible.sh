#!/usr/bin/env bash
# Builds the commit checked out here a second time, in a fresh clone in another folder (and
# so at another time), without ccache, and compares Lodkin.exe and lodkin-cli.exe of both
# architectures byte for byte with this tree's build/ and build-x64/ (./scripts/build.sh
# first; the tree must hold no changes that are not committed).
#   scripts/check-reproducible.sh [FOLDER]   (default: a new folder under /tmp; kept)
set -euo pipefail
cd "$(dirname "$0")/.."
if ! git diff --quiet HEAD --; then
  echo "check-reproducible: this tree has changes that are not committed; commit and build first" >&2
  exit 1
fi
copy=${1:-$(mktemp -d /tmp/lodkin-reproduce.XXXXXX)}
deps=${LODKIN_DEPS_DIR:-$PWD/build-deps}
git clone -q --no-local . "$copy/src"
git -C "$copy/src" checkout -q --detach "$(git rev-parse HEAD)"
programs=(Lodkin.exe lodkin-cli.exe)
for pair in "build:cmake/mingw-i686.cmake" "build-x64:cmake/mingw-x86_64.cmake"; do
  folder=${pair%%:*}
  (cd "$copy/src" && CCACHE_DISABLE=1 LODKIN_DEPS_DIR=$deps \
     cmake -S . -B "$folder" -DCMAKE_TOOLCHAIN_FILE="${pair#*:}" -DCMAKE_BUILD_TYPE=Release \
           -DLODKIN_BUILD_TESTS=OFF >/dev/null &&
   CCACHE_DISABLE=1 cmake --build "$folder" -j "${LODKIN_JOBS:-$(nproc)}" --target Lodkin lodkin-cli >/dev/null)
done
status=0
for folder in build build-x64; do
  for program in "${programs[@]}"; do
    if cmp "$folder/bin/$program" "$copy/src/$folder/bin/$program"; then
      echo "same bytes: $folder/bin/$program ($(sha256sum <"$folder/bin/$program" | cut -c1-16)...)"
    else
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "check-reproducible: $(git rev-parse --short HEAD) builds the same programs in $copy/src" ||
  echo "check-reproducible: the programs differ (see above)"
exit $status
