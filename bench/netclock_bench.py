#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How closely the network clock's seconds follow the server's, through the
real window: a loopback server whose clock runs a fraction of a second ahead
of the PC's, the first query typed, then the clock left to its resyncs (one
every 180 ticks). A watcher reads the seconds display every few ms; each
change is timed against the server's boundary of the second it shows (read
once per distinct picture by OCR). Printed after each exchange: the lateness
of the changes until the next one (negative: early).

usage: bench/netclock_bench.py [--shift 0.4] [--delay 0.02] [--exchanges 5]
                               [--watch-us 5000] -- COMMAND...

COMMAND starts the clock (build/app/fullscreenclock, or scripts/wine-run
--prefix DIR build-windows/app/fullscreenclock.exe). --delay holds the
server's answer this long before it writes its Date and as long again after.
The clock contacts only the URL typed, the server's on 127.0.0.1.
"""

import argparse
import email.utils
import http.server
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from xsession import Image, XSession, ocr, poll  # noqa: E402
from clock_e2e import LOCAL_COLOUR, MAIN_TITLE, SECONDS_COLOUR, TITLE  # noqa: E402

RESYNC_S = 180


class ShiftedServer:
    """Answers on 127.0.0.1 with the PC's clock + shift in Date, after `delay`
    before and after writing it; records the wall clock of each Date."""

    def __init__(self, shift, delay):
        self.stamps = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def date_time_string(self, timestamp=None):
                time.sleep(delay)
                now = time.time()
                server.stamps.append(now)
                return email.utils.formatdate(now + shift, usegmt=True)

            def do_POST(self):
                length = int(self.headers.get("Content-Length") or 0)
                self.rfile.read(length)
                self.send_response(200)
                time.sleep(delay)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()


def seconds_region(x):
    img = x.screenshot()
    x0, y0, x1, y1 = img.mask(LOCAL_COLOUR).bbox()
    bx0, by0, bx1, by1 = img.mask(SECONDS_COLOUR, 2).bbox(
        (x1, y0, img.width, min(img.height, y1 + (y1 - y0) // 2)))
    m = 6
    return bx0 - m, by0 - m, bx1 - bx0 + 2 * m, by1 - by0 + 2 * m


def read_seconds(path):
    """The two digits a picture of the seconds display shows, or None."""
    with open(path, "rb") as f:
        img = Image.from_ppm(f.read())
    mask = img.mask(SECONDS_COLOUR, 2)
    box = mask.bbox()
    runs = mask.ink_runs(box) if box else []
    if len(runs) < 2:
        return None
    box = (runs[1][0], box[1], box[2], box[3])  # past the colon
    pgm = path + ".pgm"
    mask.to_pgm(pgm, box, pad=(box[3] - box[1]) // 3)
    votes = {}
    for height, psm in ((100, 7), (60, 7), (160, 8)):
        scaled = pgm + ".%d.pgm" % height
        subprocess.run(["convert", pgm, "-resize", "x%d" % height, "-threshold", "50%", scaled],
                       check=True)
        text = ocr(scaled, psm=psm, whitelist="0123456789").strip()
        if len(text) == 2 and int(text) < 60:
            votes[text] = votes.get(text, 0) + 1
    return int(max(votes, key=votes.get)) if votes else None


def lateness_ms(t, shown, shift):
    """Wall time t of a change to second `shown`, against the wall time at
    which the server's clock began that second (the one nearest t)."""
    u = t + shift
    boundary = min((b for b in range(int(u) - 3, int(u) + 4) if b % 60 == shown),
                   key=lambda b: abs(u - b))
    return (u - boundary) * 1000


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--shift", type=float, default=0.4, help="server ahead of the PC, s")
    ap.add_argument("--delay", type=float, default=0.0, help="each way, s")
    ap.add_argument("--exchanges", type=int, default=5)
    ap.add_argument("--watch-us", type=int, default=5000)
    ap.add_argument("command", nargs="+")
    args = ap.parse_args()
    watcher = os.path.join(tempfile.mkdtemp(prefix="netclock-"), "secwatch")
    subprocess.run(["cc", "-O2", "-o", watcher, os.path.join(HERE, "secwatch.c"), "-lX11"],
                   check=True)
    server = ShiftedServer(args.shift, args.delay)
    with XSession(1920, 1080) as x:
        proc = x.spawn(args.command, LANG="zh_CN.UTF-8", LC_ALL="zh_CN.UTF-8",
                       QT_QPA_PLATFORM="xcb")
        box = poll("the start-up notice", lambda: next(
            (w for w, t in x.visible_windows(proc.pid).items() if t == TITLE), None), 90)
        x.xdotool("windowactivate", "--sync", box)
        x.xdotool("key", "Return")
        main_window = poll("the clock window", lambda: x.find_window(MAIN_TITLE, proc.pid), 10)
        time.sleep(2)
        region = seconds_region(x)
        pics = tempfile.mkdtemp(prefix="netclock-pics-")
        seconds = 5 + (args.exchanges - 1) * RESYNC_S + 60
        watch = subprocess.Popen([watcher] + [str(v) for v in region] +
                                 [str(seconds), str(args.watch_us), pics],
                                 env=x.env(), stdout=subprocess.PIPE, text=True)
        time.sleep(1)
        x.xdotool("windowactivate", "--sync", main_window)
        x.xdotool("key", "--clearmodifiers", "End", "shift+Home")
        x.xdotool("type", "--delay", 15, server.url)
        x.xdotool("key", "Return")
        out = watch.communicate()[0]
        proc.terminate()
    readings = {}
    changes = []
    for line in out.splitlines()[1:]:
        t_ns, _, h = line.split()
        if h not in readings:
            readings[h] = read_seconds(os.path.join(pics, h + ".ppm"))
        changes.append((int(t_ns) / 1e9, readings[h]))
    stamps = server.stamps
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
        worst = max(late, key=abs)
        print("| %d | %d | %d | %+.0f | %+.0f | %+.0f..%+.0f |" % (
            k + 1, len(window), len(window) - len(late), statistics.median(late), worst,
            late[0], late[-1]), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
