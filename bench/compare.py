"""Compares two built trees on the benchmarks: run.py is run for each tree in
turn, round after round, and the medians of every figure are printed side by
side with their quotient.

    python3 bench/compare.py BUILD_BEFORE BUILD_AFTER [--rounds 4] [--only throughput]

Each run loads fresh copies of the tree's modules and shared libraries.  On
the development machine one build, loaded from its build directory and from
fresh copies of its files, ran the event benchmark at 83 and at 91 ns an
event, run after run: how a library's pages sit in memory holds as long as
its file does, and moves the figures by that much.  Copies made for every
run give every run a placement of its own, so that the medians compare the
code rather than two placements.  Python 3 on Linux (the libraries are
found through LD_LIBRARY_PATH)."""
from __future__ import division, print_function

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

from harness import median, module_tag

HERE = os.path.dirname(os.path.abspath(__file__))


def fresh_copy(build, tag):
    """The tree's modules for this interpreter and its libraries, copied."""
    place = tempfile.mkdtemp(prefix="talkwire-compare-")
    shutil.copytree(os.path.join(build, "python", tag), os.path.join(place, "python", tag))
    shutil.copytree(os.path.join(build, "lib"), os.path.join(place, "lib"))
    return place


def run_once(build, tag, only):
    place = fresh_copy(build, tag)
    try:
        figures = os.path.join(place, "figures.json")
        command = [sys.executable, os.path.join(HERE, "run.py"), "--build", place, "--json", figures]
        if only:
            command += ["--only", only]
        environment = dict(os.environ)
        environment["LD_LIBRARY_PATH"] = os.pathsep.join(
            [os.path.join(place, "lib")] + [p for p in [environment.get("LD_LIBRARY_PATH")] if p])
        subprocess.check_call(command, env=environment, stdout=subprocess.DEVNULL)
        with open(figures) as source:
            return json.load(source)["results"]
    finally:
        shutil.rmtree(place, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--only", default=None, help="comma-separated benchmark names, as for run.py")
    options = parser.parse_args()
    tag = module_tag()
    runs = {"before": [], "after": []}
    for round_ in range(options.rounds):
        for name in ("before", "after"):
            print("round %d of %d: %s" % (round_ + 1, options.rounds, name), file=sys.stderr)
            runs[name].append(run_once(getattr(options, name), tag, options.only))

    print("%-58s %14s %14s %8s" % ("figure (medians of %d runs)" % options.rounds, "before", "after", "after/before"))
    for bench in sorted(runs["before"][0]):
        for key in sorted(runs["before"][0][bench]):
            values = {}
            for name in runs:
                found = [run[bench][key] for run in runs[name] if isinstance(run[bench].get(key), (int, float))]
                values[name] = median(found) if found else None
            if values["before"] is None or values["after"] is None or key == "benchmark_seconds":
                continue
            quotient = values["after"] / values["before"] if values["before"] else float("nan")
            print("%-58s %14.4g %14.4g %8.3f" % (bench + "." + key, values["before"], values["after"], quotient))


if __name__ == "__main__":
    main()
