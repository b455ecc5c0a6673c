# Sourced by demo.sh, install.sh and bench.sh: builds a Release tree with the
# modules for one interpreter, quietly unless the build fails.
#   build_modules PYTHON BUILD_DIR [extra cmake options...]
# Sets `tag` (py311, ...) for the interpreter.
build_modules() {
    local python=$1 build=$2
    shift 2
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    tag=$("$python" -c 'import sys; print("py%d%d" % sys.version_info[:2])')
    {
        cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTALKWIRE_PYTHONS="$python" \
              -DTALKWIRE_BUILD_TESTS=OFF "$@"
        cmake --build "$build" -j "$(nproc)"
    } >"$build.log" 2>&1 || { cat "$build.log"; return 1; }
}
