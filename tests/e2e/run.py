#!/usr/bin/env python3
"""Runs the program under Xvfb through each user scenario, one after another.

Usage: run.py --binary build/bin/mirelay [--installed] [--only NAME ...] [--keep]
Prints one line per scenario and "N passed, M failed"; exits non-zero when any failed."""

import argparse
import os
import sys
import time
import traceback

sys.dont_write_bytecode = True  # keeps the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import ScenarioFailure, Workspace, XServer  # noqa: E402
from scenarios import INSTALLED_SCENARIOS, SCENARIOS  # noqa: E402


def run_one(scenario, binary, keep, installed):
    workspace = Workspace(binary, installed=installed)
    started = time.monotonic()
    try:
        with XServer() as server:
            scenario(workspace, server.display)
    except ScenarioFailure as failure:
        problem = str(failure)
    except Exception:
        problem = traceback.format_exc()
    else:
        problem = None
    elapsed = time.monotonic() - started
    if problem is None:
        print(f"PASS {scenario.__name__} ({elapsed:.1f} s)", flush=True)
        if not keep:
            workspace.remove()
        return True
    print(f"FAIL {scenario.__name__} ({elapsed:.1f} s): {problem}\n"
          f"     workspace kept at {workspace.root}", flush=True)
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--binary", required=True, help="the built mirelay executable")
    parser.add_argument("--only", nargs="*", help="scenario names to run")
    parser.add_argument("--keep", action="store_true", help="keep workspaces of passed runs")
    parser.add_argument("--installed", action="store_true",
                        help="the binary is installed where the user cannot write: run it in place "
                             "with a fresh home")
    args = parser.parse_args()
    # Workspace paths hold bytes that are not UTF-8; they are printed as they are.
    sys.stdout.reconfigure(errors="surrogateescape")
    if not os.access(args.binary, os.X_OK):
        parser.error(f"no executable at {args.binary}: build the program first")
    available = INSTALLED_SCENARIOS if args.installed else SCENARIOS
    chosen = [s for s in available if not args.only or s.__name__ in args.only]
    if not chosen:
        parser.error(f"no scenario named {args.only}; have {[s.__name__ for s in available]}")
    results = [run_one(scenario, os.path.abspath(args.binary), args.keep, args.installed)
               for scenario in chosen]
    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
