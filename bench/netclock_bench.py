#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How closely the network clock's seconds follow the server's, through the
real window: a loopback server whose clock runs a fraction of a second ahead
of the PC's, the first query typed, then the clock left to its resyncs (one
every 180 ticks). A watcher reads the seconds display every few ms; each
change is timed against the server's boundary of the second it shows (read
once per distinct picture by OCR). Printed after each exchange: the lateness
of the changes until the next one (negative: early).

COMMAND starts the clock (build/app/fullscreenclock, or scripts/wine-run
--prefix DIR build-windows/app/fullscreenclock.exe). --delay holds the
server's answer this long before it writes its Date and as long again after.
The clock contacts only the URL typed, the server's on 127.0.0.1.
"""

import argparse
import statistics
import sys
import time

from run_bench import DateServer, XSession, start_clock, type_url, watch_seconds

RESYNC_S = 180


def lateness_ms(t, shown, shift):
    """Wall time t of a change to second `shown`, against the wall time at
    which the server's clock began that second (the one nearest t)."""
    u = t + shift
    boundary = min((b for b in range(int(u) - 3, int(u) + 4) if b % 60 == shown),
                   key=lambda b: abs(u - b))
    return (u - boundary) * 1000


def shown_second(readings):
    """The second most readings agree on, or None."""
    valid = [int(r) for r in readings if len(r) == 2 and r.isdigit() and int(r) < 60]
    return max(set(valid), key=valid.count) if valid else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--shift", type=float, default=0.4, help="server ahead of the PC, s")
    ap.add_argument("--delay", type=float, default=0.0, help="each way, s")
    ap.add_argument("--exchanges", type=int, default=5)
    ap.add_argument("--watch-us", type=int, default=5000)
    ap.add_argument("command", nargs="+")
    args = ap.parse_args()
    with XSession(1920, 1080) as x, DateServer(args.shift, args.delay) as server:
        proc, window = start_clock(x, args.command)
        time.sleep(2)
        watch = watch_seconds(x, 5 + (args.exchanges - 1) * RESYNC_S + 60, args.watch_us)
        time.sleep(1)
        type_url(x, window, server.url)
        changes = [(t, shown_second(seen)) for t, _, seen in watch()]
        proc.terminate()
    stamps = [wall for wall, _ in server.served]
    print("command: %s\nserver ahead by %.3f s, %.0f ms each way; %d exchanges at %s s"
          % (" ".join(args.command), args.shift, args.delay * 1000, len(stamps),
             ", ".join("%.1f" % (s - stamps[0]) for s in stamps)))
    print("| after exchange | changes | unread | median ms | worst ms | min..max ms |\n"
          "|---|---|---|---|---|---|")
    for k, stamp in enumerate(stamps):
        end = stamps[k + 1] if k + 1 < len(stamps) else float("inf")
        # From 1.5 s after the answer (its own seeding is no tick) to the next.
        window = [(t, s) for t, s in changes if stamp + 1.5 < t < end]
        late = sorted(lateness_ms(t, s, args.shift) for t, s in window if s is not None)
        if not late:
            continue
        print("| %d | %d | %d | %+.0f | %+.0f | %+.0f..%+.0f |" % (
            k + 1, len(window), len(window) - len(late), statistics.median(late),
            max(late, key=abs), late[0], late[-1]), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
