#!/usr/bin/env bash
# Cross-builds the Windows side (the platform layer over the real user32 and
# kernel32, voicesdk.dll, the module's Python-free core and the C++ tests)
# with Debian's mingw-w64, then runs every test program under wine, headless.
# Installs mingw-w64, wine and GoogleTest's sources with apt-get when absent.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${TALKWIRE_WINDOWS_BUILD_DIR:-$root/build-windows}
triple=x86_64-w64-mingw32

# ---- tools ----------------------------------------------------------------
missing=()
command -v ${triple}-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# ---- wine, with a prefix of its own inside the build folder ---------------
export WINEPREFIX=$build/wineprefix
export WINEARCH=win64
export WINEDEBUG=-all
# No .NET or HTML engine: nothing here needs them, and wineboot would offer
# to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$build"
if [ ! -f "$WINEPREFIX/.talkwire-ready" ]; then
    echo "== wine prefix ($WINEPREFIX)"
    # Graphics=null: wine's null display driver, real windows and message
    # queues without an X server.
    log=$build/wineboot.log
    if ! { wineboot --init && wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f; } >"$log" 2>&1; then
        cat "$log" >&2
        exit 1
    fi
    wineserver --wait
    touch "$WINEPREFIX/.talkwire-ready"
fi

# ---- build ------------------------------------------------------------------
echo "== build ($build)"
cmake -S "$root" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALKWIRE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# ---- tests under wine ------------------------------------------------------
echo "== Windows tests under $(wine --version)"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 || status=$?
# Leave no wine process behind.
wineserver --wait || true
exit $status
