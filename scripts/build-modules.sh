# Sourced by demo.sh, install.sh and bench.sh: builds a Release tree with the
# modules for one interpreter, quietly unless the build fails.
#   build_modules PYTHON BUILD_DIR [extra cmake options...]
# Sets `tag` (py311, ...) for the interpreter.
build_modules() {
    local python=$1 build=$2
    shift 2
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    tag=$(python_tag "$python")
    {
        cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTALKWIRE_PYTHONS="$python" \
              -DTALKWIRE_BUILD_TESTS=OFF "$@"
        cmake --build "$build" -j "$(nproc)"
    } >"$build.log" 2>&1 || { cat "$build.log"; return 1; }
}

# python_tag PYTHON: the build's name for the interpreter's targets (py311).
python_tag() {
    "$1" -c 'import sys; print("py%d%d" % sys.version_info[:2])'
}

# tree_has_python BUILD_DIR PYTHON: whether an already configured tree builds
# modules that interpreter imports (the same suffix) and installs them into
# its own site-packages (the same platlib).
tree_has_python() {
    local cache=$1/CMakeCache.txt tag probe
    [ -f "$cache" ] || return 1
    tag=$(python_tag "$2")
    probe=$("$2" -c 'import sysconfig
print((sysconfig.get_config_var("EXT_SUFFIX") or sysconfig.get_config_var("SO")) + ";" +
      sysconfig.get_paths()["platlib"])')
    [ "$(sed -n "s/^TALKWIRE_${tag}_EXT_SUFFIX:INTERNAL=//p" "$cache");$(sed -n "s/^TALKWIRE_${tag}_PLATLIB:INTERNAL=//p" "$cache")" = "$probe" ]
}
