#!/usr/bin/env bash
# Builds veltrix_<version>_<arch>.deb in its own folder with Debian's
# hardening flags (fortify, stack protector, full RELRO, bind now), as
# dpkg-buildflags gives them, so that the saver that runs under a screen
# locker is built as Debian builds its own; the folders of `make run` and
# `make test` keep the project's flags. Then lintian checks the package when
# it is installed: anything it reports, warning or error, fails the run.
# usage: package.sh BUILD_DIR [CMAKE_FLAGS...]
set -euo pipefail
build=$1
shift

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
# CMake has no CPPFLAGS of its own: the preprocessor's (_FORTIFY_SOURCE)
# go with the compilers'. RelWithDebInfo's -O2 comes after dpkg's own -O2,
# and fortify needs optimisation to check anything.
cflags="$(flags CFLAGS) $(flags CPPFLAGS)"
cxxflags="$(flags CXXFLAGS) $(flags CPPFLAGS)"
ldflags=$(flags LDFLAGS)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_BENCH=OFF -DVELTRIX_TESTS=OFF \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DCMAKE_STRIP="$PWD/scripts/strip-debian.sh" "$@" >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"
(cd "$build" && cpack -G DEB >/dev/null)

deb=$(ls -t "$build"/veltrix_*.deb | head -n 1)
echo "package: $deb"
if command -v lintian >/dev/null; then
  report=$(lintian --fail-on none "$deb")
  if [ -n "$report" ]; then
    echo "$report" >&2
    echo "veltrix: lintian finds fault with $deb" >&2
    exit 1
  fi
  echo "lintian: no tags"
fi
