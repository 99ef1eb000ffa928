#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Counts the instructions the idle clock spends, under callgrind, on its own
virtual display: the counters are zeroed SETTLE seconds after the notice was
answered and dumped SECONDS later; with --network the clock is first switched
to network mode against a loopback server. Prints the callgrind_annotate
summary; the dump stays in the work directory for a closer look.

    python3 bench/profile_idle.py build/app/fullscreenclock [--network]

With --from-start the counters are not zeroed: the dump is the start-up and
the first SETTLE + SECONDS seconds after the notice.
"""

import argparse
import glob
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from xsession import XSession, poll  # noqa: E402
from clock_e2e import APP_ENV, MAIN_TITLE, TITLE, DateServer, Reading, type_url  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("app")
    ap.add_argument("--network", action="store_true")
    ap.add_argument("--plain", action="store_true", help="a program without the notice (the floor)")
    ap.add_argument("--settle", type=float, default=70)
    ap.add_argument("--seconds", type=float, default=30)
    ap.add_argument("--out", help="the callgrind dump (default: in the work directory)")
    ap.add_argument("--from-start", action="store_true",
                    help="keep the counts from the program's start (start-up's cost)")
    args = ap.parse_args()
    with XSession(1920, 1080) as x, DateServer(0) as server:
        out = args.out or os.path.join(x.workdir, "callgrind.out")
        proc = x.spawn(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out + ".%p",
                        os.path.abspath(args.app)], QT_QPA_PLATFORM="xcb", **APP_ENV)
        if not args.plain:
            box = poll("the start-up notice", lambda: x.find_window(TITLE), 180)
            x.xdotool("windowactivate", "--sync", box, "key", "Return")
            main_window = poll("the clock window", lambda: x.find_window(MAIN_TITLE), 60)
        if args.network and not args.plain:
            type_url(x, main_window, server.url)
            poll("network mode", lambda: Reading(x).mode == "network", 60, 0.5)
        time.sleep(args.settle)
        if not args.from_start:
            subprocess.run(["callgrind_control", "--zero", str(proc.pid)], check=True,
                           stdout=subprocess.DEVNULL)
        time.sleep(args.seconds)
        subprocess.run(["callgrind_control", "--dump", str(proc.pid)], check=True,
                       stdout=subprocess.DEVNULL)
        dumps = sorted(glob.glob(out + ".%d.*" % proc.pid), key=os.path.getmtime)
        print("dump: " + dumps[-1], flush=True)
        subprocess.run(["callgrind_annotate", "--inclusive=yes", dumps[-1]], check=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
