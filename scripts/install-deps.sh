#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, and only what is missing.
# Run as root (or with sudo available). Safe to run again: it does nothing when all is there.
set -euo pipefail

packages=(cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth googletest
          python3 python3-pefile x11-apps imagemagick fonts-nanum osslsigncode openssl liblzma-dev
          locales dpkg-dev)  # dpkg-dev: dpkg-source unpacks the xz-utils source package
# The benchmark's peers: makensis and 7zz (Debian's 7zip), and GNU time for peak memory.
[ "${LODKIN_WITH_BENCH:-0}" = 1 ] && packages+=(nsis time 7zip)
# 32-bit Wine runs the 32-bit build's tests; it is installed on its own, below.
wine32=wine32:i386

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
missing_of() { for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || echo "$p"; done; }

# lodkin-cli.exe compresses with liblzma built for MinGW from Debian's source package, at
# the native liblzma-dev's version: fetched here, built by scripts/build.sh (once; later
# runs reuse both).
build_liblzma() { "$(dirname "$0")/build-liblzma-mingw.sh" --fetch-only; }

mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing32 < <(missing_of "$wine32")
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then build_liblzma; exit 0; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps: adding the i386 architecture (32-bit Wine needs it)"
  as_root dpkg --add-architecture i386
fi
# A mirror in the middle of a sync fails one index now and then; the others still serve.
as_root apt-get update -qq || echo "install-deps: apt-get update reported errors; installing from the lists it has"
install() { DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
# When one architecture's security index could not be fetched, its libraries and the other
# architecture's stand at different versions and the 32-bit packages cannot be placed; the
# release's own versions agree across architectures.
install_with_retry() { install "$@" || { echo "install-deps: retrying with the release's own versions"; install -t bookworm "$@"; }; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  install_with_retry "${missing[@]}"
fi
if [ ${#missing32[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing32[*]}"
  # Everything else is in place without it, and the 64-bit build is tested without it
  # (a kernel without 32-bit support could not run it anyway): its absence is said, not fatal.
  install_with_retry "${missing32[@]}" ||
    echo "install-deps: 32-bit Wine could not be installed here; the 32-bit build will be built, but its Windows tests cannot run"
fi
build_liblzma
