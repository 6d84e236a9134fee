#!/usr/bin/env bash
# Builds liblzma for MinGW (32- and 64-bit) from Debian's own xz-utils source package, at
# the version of the native liblzma-dev, so that lodkin-cli.exe compresses with the very
# encoder the native tool uses and both write the same bytes. Only lodkin-cli.exe links it;
# Lodkin.exe keeps its own decoder.
#
# Everything goes into one folder this script owns, ${LODKIN_DEPS_DIR:-build-deps}/liblzma:
#   sources/             the private apt lists (when the machine has no deb-src entries) and
#                        the downloaded source package
#   VERSION/TRIPLET/     the installed headers and liblzma.a of one build
#   TRIPLET              a link to the build of the native version, where CMake looks
# A build whose folder holds a finished mark is reused; nothing of the system is changed.
# --fetch-only fetches and unpacks the source package and stops (the install script's part:
# the build itself then runs beside the native build, see scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
deps=$(mkdir -p "${LODKIN_DEPS_DIR:-build-deps}" && cd "${LODKIN_DEPS_DIR:-build-deps}" && pwd)/liblzma
version=$(dpkg-query -W -f='${source:Version}' liblzma-dev 2>/dev/null) || {
  echo "build-liblzma-mingw: liblzma-dev is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
triplets=(i686-w64-mingw32 x86_64-w64-mingw32)

finished() { [ -f "$deps/$version/$1/finished" ]; }
# Points CMake at the builds of the version the native tool links.
link_current() { for t in "${triplets[@]}"; do ln -sfn "$version/$t" "$deps/$t"; done; }
all_finished=1
for t in "${triplets[@]}"; do finished "$t" || all_finished=0; done
if [ $all_finished = 1 ]; then link_current; exit 0; fi

sources=$deps/sources
mkdir -p "$sources"
# The machine's own deb-src entries when it has some for this version; otherwise a private
# list of the release's source indexes, used through apt's options only.
apt_private=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$sources/sources.list.d"
             -o Dir::State::Lists="$sources/lists" -o Dir::Cache="$sources/cache")
fetch_source() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mkdir -p "$sources/sources.list.d" "$sources/lists/partial" "$sources/cache/archives/partial"
  cat >"$sources/sources.list.d/debian-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  (cd "$sources" &&
   if apt-cache showsrc "xz-utils=$version" 2>/dev/null | grep -q "^Version: $version\$"; then
     apt-get -qq source --download-only "xz-utils=$version"
   else
     apt-get -qq "${apt_private[@]}" update &&
     apt-get -qq "${apt_private[@]}" source --download-only "xz-utils=$version"
   fi) 2>&1 | grep -v 'unsandboxed as root' || true
}

tree=$sources/xz-utils-$version
if [ ! -f "$tree/finished" ]; then
  dsc=$sources/xz-utils_${version#*:}.dsc
  [ -f "$dsc" ] || { echo "build-liblzma-mingw: fetching Debian's xz-utils $version source package"; fetch_source; }
  [ -f "$dsc" ] || { echo "build-liblzma-mingw: could not fetch the xz-utils $version source package" >&2; exit 1; }
  rm -rf "$tree"
  dpkg-source --no-check -x "$dsc" "$tree" >/dev/null
  touch "$tree/finished"
fi
[ "${1:-}" = --fetch-only ] && exit 0

# Debian's static build of liblzma, minus the programs, documents and translations that only
# the native package ships; none of these options changes what the encoder writes.
build_one() {
  local triplet=$1 folder=$deps/$version/$1
  rm -rf "$folder"
  mkdir -p "$folder/build"
  (cd "$folder/build" &&
   "$tree/configure" --host="$triplet" --prefix="$folder" --enable-threads --disable-shared --enable-static \
       --enable-liblzma2-compat --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
       --disable-lzma-links --disable-scripts --disable-doc --disable-nls CFLAGS=-O2 >/dev/null &&
   make -C src/liblzma -j1 >/dev/null && make -C src/liblzma install >/dev/null) >"$folder.log" 2>&1 || {
     echo "build-liblzma-mingw: the $triplet build failed; see $folder.log" >&2; return 1; }
  rm -rf "$folder/build"
  touch "$folder/finished"
}

echo "build-liblzma-mingw: building liblzma $version for MinGW (32- and 64-bit, side by side) into $deps/$version"
pids=()
for t in "${triplets[@]}"; do
  finished "$t" || { build_one "$t" & pids+=($!); }
done
status=0
for p in "${pids[@]}"; do wait "$p" || status=1; done
[ $status = 0 ] && link_current
exit $status
