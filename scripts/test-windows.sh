#!/usr/bin/env bash
# Cross-builds the Windows side (the platform layer over the real user32 and
# kernel32, voicesdk.dll, the module's Python-free core and the C++ tests)
# with Debian's mingw-w64, then runs every test program under wine, headless.
# Installs mingw-w64, wine and GoogleTest's sources with apt-get when absent.
#
# It also compiles and links the Python modules for Windows, a check and not
# a run (there is no Windows CPython here): against this machine's CPython 3
# headers with tests/windows/pyconfig.h in place of the host's pyconfig.h,
# and with an import library made for the Python API the modules call.
# TALKWIRE_WINDOWS_PYTHON_CHECK=0 leaves it out.
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

# ---- Python modules: headers for the compile and link check ----------------
pycheck=$build/python-check
python_check=${TALKWIRE_WINDOWS_PYTHON_CHECK:-1}
python_options=(-DTALKWIRE_WINDOWS_PYTHON_INCLUDE= -DTALKWIRE_WINDOWS_PYTHON_LIBRARY=)
if [ "$python_check" != 0 ]; then
    host_include=$(python3 -c 'import sysconfig; print(sysconfig.get_paths()["include"])' 2>/dev/null || true)
    if [ -f "$host_include/Python.h" ]; then
        python_version=$(python3 -c 'import sys; print("%d%d" % sys.version_info[:2])')
        python_name=python$python_version
        # A copy, since Python.h finds pyconfig.h beside itself before any
        # include path; timestamps kept, so that nothing rebuilds needlessly.
        rm -rf "$pycheck/include"
        mkdir -p "$pycheck/libs"
        cp -RL --preserve=timestamps "$host_include" "$pycheck/include"
        rm -f "$pycheck/include/pyconfig.h"
        cp --preserve=timestamps "$root/tests/windows/pyconfig.h" "$pycheck/include/pyconfig.h"
        python_options=(-DTALKWIRE_WINDOWS_PYTHON_INCLUDE="$pycheck/include"
                        -DTALKWIRE_WINDOWS_PYTHON_LIBRARY="$pycheck/libs/$python_name.lib")
    else
        echo "== no CPython 3 headers for python3: no compile and link check of the Python modules"
        python_check=0
    fi
fi

# The import library lists what the modules' objects import from the
# interpreter (rewritten only when that changes, so nothing relinks).
make_python_import_library() {
    local objects def=$pycheck/libs/$python_name.def
    mapfile -t objects < <(ninja -C "$build" -t targets all |
        sed -n -E 's#^(CMakeFiles/(_talkwire|_talkwire_loop|voicesdk)_py[0-9]+\.dir/[^:]*\.obj):.*#\1#p')
    if [ ${#objects[@]} -eq 0 ]; then
        echo "the configure added no Python modules to $build" >&2
        return 1
    fi
    ninja -C "$build" -j "$(nproc)" "${objects[@]}"
    {
        echo "LIBRARY $python_name.dll"
        echo "EXPORTS"
        (cd "$build" && ${triple}-nm -u "${objects[@]}") |
            awk '$1 == "U" {print $2}' | sed 's/^__imp_//' | grep -E '^_?Py' | sort -u
    } >"$def.new"
    if cmp -s "$def.new" "$def" && [ -f "$pycheck/libs/$python_name.lib" ]; then
        rm "$def.new"
    else
        mv "$def.new" "$def"
        ${triple}-dlltool -d "$def" -D "$python_name.dll" -l "$pycheck/libs/$python_name.lib"
    fi
}

# Each module exports its init function alone, imports the interpreter's DLL
# and the other DLLs named (voicesdk.dll unless told), and has voicesdk.dll
# beside it.
check_python_module() {
    local name=$1 pyd exports imports
    local needed=("${@:2}")
    [ ${#needed[@]} -gt 0 ] || needed=(voicesdk.dll)
    pyd=$build/python/py$python_version/$name.cp$python_version-win_amd64.pyd
    [ -f "$pyd" ] || { echo "no $pyd" >&2; return 1; }
    exports=$(${triple}-objdump -p "$pyd" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p')
    imports=$(${triple}-objdump -p "$pyd" | sed -n 's/^\s*DLL Name: //p')
    if [ "$exports" != "PyInit_$name" ]; then
        echo "$pyd exports: $exports (expected PyInit_$name alone)" >&2
        return 1
    fi
    for dll in "$python_name.dll" "${needed[@]}"; do
        grep -qix "$dll" <<<"$imports" || { echo "$pyd does not import $dll" >&2; return 1; }
    done
    [ -f "$(dirname "$pyd")/voicesdk.dll" ] || { echo "no voicesdk.dll beside $pyd" >&2; return 1; }
    echo "   $(basename "$pyd"): exports PyInit_$name; imports $(echo $imports)"
}

# ---- build ------------------------------------------------------------------
echo "== build ($build)"
cmake -S "$root" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALKWIRE_BUILD_BENCH=OFF "${python_options[@]}" >/dev/null
if [ "$python_check" != 0 ]; then
    make_python_import_library
fi
cmake --build "$build" -j "$(nproc)"
if [ "$python_check" != 0 ]; then
    echo "== Python modules for Windows: compiled and linked against $python_name headers (not run)"
    check_python_module _talkwire
    check_python_module voicesdk
    check_python_module _talkwire_loop user32.dll
fi

# ---- tests under wine ------------------------------------------------------
echo "== Windows tests under $(wine --version)"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 || status=$?
# Leave no wine process behind.
wineserver --wait || true
exit $status
