"""python -m talkwire: plays the demo voice session against the simulated
voice service (talkwire.demo); --version prints the installed version."""
from __future__ import print_function

import argparse
import sys

import talkwire


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python -m talkwire",
        description="Plays one voice session against the stand-in SDK's simulated voice service.")
    # Not argparse's version action: Python 2 prints that to stderr.
    parser.add_argument("--version", action="store_true", help="print the version of talkwire and exit")
    options = parser.parse_args(argv)
    if options.version:
        print("talkwire %s" % talkwire.__version__)
        return 0
    try:
        from talkwire import demo
    except ImportError as error:
        print("talkwire %s has no demo to play (%s): the demo needs the stand-in voice SDK and its "
              "control module, voicesdk, which a build against another SDK leaves out"
              % (talkwire.__version__, error), file=sys.stderr)
        return 2
    return demo.main()


if __name__ == "__main__":
    sys.exit(main())
