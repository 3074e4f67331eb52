#!/usr/bin/env bash
# Builds the Debian package kivsvc_VERSION_amd64.deb with CPack (cpack -G DEB).
#   scripts/package.sh             configures and builds a Release build in build-release/
#   scripts/package.sh BUILD_DIR   packages a build folder that is already built (the test
#                                  command packages its own build); nothing is compiled again
# The binaries are stripped when packed, so an optimised build with debug information
# (RelWithDebInfo) makes the same package as a Release build. The last line printed is the
# package's path; the package lands in BUILD_DIR/package/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if (($# > 1)) || [[ ${1:-} == -h || ${1:-} == --help ]]; then
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi

if (($# == 1)); then
  build=$(cd "$1" && pwd)
  if [[ ! -f $build/CPackConfig.cmake ]]; then
    echo "package.sh: $build is not a configured kivsvc build folder" >&2
    exit 2
  fi
  # Up to date already after a build: this only checks.
  cmake --build "$build" -j "$(nproc)" >/dev/null
else
  # Only what the package holds is built: no tests, benchmarks or fuzz replays.
  build=$root/build-release
  generator=()
  if command -v ninja >/dev/null 2>&1 && [[ ! -f $build/CMakeCache.txt || -f $build/build.ninja ]]; then
    generator=(-G Ninja)
  fi
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DKIVSVC_BENCHMARKS=OFF -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
  cmake --build "$build" -j "$(nproc)" --target kivsvc kivtool kivsim kivdefs_files kivsvc_help \
    kivsvc_manpages kivsvc_changelog
fi

out=$build/package
rm -rf "$out"
mkdir -p "$out"
if ! (cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$out") >"$build/cpack.log" 2>&1; then
  cat "$build/cpack.log" >&2
  echo "package.sh: cpack failed" >&2
  exit 1
fi
debs=("$out"/kivsvc_*_amd64.deb)
if [[ ! -f ${debs[0]} ]]; then
  cat "$build/cpack.log" >&2
  echo "package.sh: cpack made no kivsvc_*_amd64.deb" >&2
  exit 1
fi
rm -rf "$out/_CPack_Packages"
echo "${debs[0]}"
