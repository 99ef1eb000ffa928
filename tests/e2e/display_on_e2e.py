#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The real program keeps the display on while its window can be seen: on a
virtual X display with openbox and a session bus of the test's own
(dbus-daemon --session), where a stand-in for the desktop's screen saver
(screensaver_standin) records each Inhibit and UnInhibit with its cookie.
Nothing is asked while the start-up notice stands alone; the shown window
asks once; openbox's minimise gives that back, its restore asks anew; the
close, answered OK, gives it back and the program ends with status 0.

Usage: display_on_e2e.py --standin STANDIN [--workdir DIR] PROGRAM
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import Failure, XSession, need, poll  # noqa: E402

TITLE = "提示"
MAIN_TITLE = "全屏时钟"
APP_ENV = dict(LANG="zh_CN.UTF-8", LC_ALL="zh_CN.UTF-8")


def session_bus():
    """A dbus-daemon of the test's own; returns it and its address."""
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           start_new_session=True)
    address = bus.stdout.readline().decode().strip()
    if not address:
        bus.kill()
        raise Failure("dbus-daemon --session gave no address")
    return bus, address


def run(program, standin, workdir):
    bus, address = session_bus()
    try:
        with XSession(1024, 768, workdir) as x:
            log = os.path.join(x.workdir, os.path.basename(standin) + ".log")
            if os.path.exists(log):
                os.remove(log)
            x.spawn([standin], DBUS_SESSION_BUS_ADDRESS=address)

            def calls():
                with open(log) as f:
                    return [line.strip() for line in f if line.strip() != "ready"]

            poll("the stand-in to take its name",
                 lambda: os.path.exists(log) and "ready" in open(log).read(), 10)

            def expect(step, wanted):
                poll("%s: %s" % (step, wanted), lambda: calls() == wanted, 10)
                # And nothing more on the way.
                time.sleep(0.5)
                if calls() != wanted:
                    raise Failure("%s: the screen saver was asked %s, not %s"
                                  % (step, calls(), wanted))
                print("  %s: %s" % (step, wanted), flush=True)

            clock = x.spawn([program], DBUS_SESSION_BUS_ADDRESS=address, **APP_ENV)
            notice = poll("the start-up notice",
                          lambda: x.find_window(TITLE, clock.pid), 20)
            expect("the notice alone", [])
            x.xdotool("windowactivate", "--sync", notice, "key", "Return")
            main = poll("the main window", lambda: x.find_window(MAIN_TITLE, clock.pid), 10)
            expect("shown", ["Inhibit 7"])
            x.xdotool("windowminimize", "--sync", main)
            expect("minimised", ["Inhibit 7", "UnInhibit 7"])
            x.xdotool("windowactivate", "--sync", main)
            expect("restored", ["Inhibit 7", "UnInhibit 7", "Inhibit 8"])
            x.xdotool("windowactivate", "--sync", main, "key", "--clearmodifiers", "alt+F4")
            question = poll("the exit question", lambda: x.find_window(TITLE, clock.pid), 10)
            # OK: Tab from Cancel, the default, then Space.
            x.xdotool("windowactivate", "--sync", question)
            x.xdotool("key", "Tab", "space")
            try:
                status = clock.wait(timeout=10)
            except subprocess.TimeoutExpired:
                raise Failure("the program still runs 10 s after OK on the exit question")
            if status != 0:
                raise Failure("the program ended with status %d" % status)
            expect("closed", ["Inhibit 7", "UnInhibit 7", "Inhibit 8", "UnInhibit 8"])
    finally:
        bus.kill()
        bus.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("program")
    ap.add_argument("--standin", required=True)
    ap.add_argument("--workdir", default=None)
    args = ap.parse_args()
    need("dbus-daemon")
    if args.workdir:
        os.makedirs(args.workdir, exist_ok=True)
    try:
        run(args.program, args.standin, args.workdir)
    except Failure as e:
        print("FAIL: %s" % e, flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
