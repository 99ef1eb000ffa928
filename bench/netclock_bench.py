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

--setup-ms N makes every connect() of the program to the server's port wait
N ms first (bench/connect_delay.c, preloaded; under Wine into the prefix's
Wine server, which makes the program's connections and is started anew for
the run), as a distant server's round trip or a TLS handshake would.

--stall S stops the clock's process (SIGSTOP; under Wine the .exe's own) 30 s
after the second exchange for S seconds, then lets it run on, and reads what
the window shows after it: the first change of the seconds, the hour, minute
and second 3 s and 13 s later, all against the server's clock, and when the
next request reached the server.

--default-server clicks "同步网络时间:" with the server list still showing
its prompt, so the clock asks its default server, http://www.baidu.com: the
run re-enters itself in a mount and network namespace of its own (unshare
-mn, loopback alone up, a hosts file of its own naming www.baidu.com
127.0.0.1) and serves on port 80 there. Under Wine, the prefix's Wine server
is started inside that namespace (scripts/wine-run --netns-check).
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import run_bench
from run_bench import (HERE, SECONDS_COLOUR, DateServer, Failure, Reading, XSession, poll,
                       start_clock, type_url, watch_seconds)
from xsession import RegionReader

RESYNC_S = 180
IN_NAMESPACE = "NETCLOCK_BENCH_NETNS"
DEFAULT_HOST = "www.baidu.com"
STALL_AFTER_S = 30  # from the second exchange to the stop


def lateness_ms(t, shown, shift):
    """Wall time t of a change to second `shown`, against the wall time at
    which the server's clock began that second, the nearest such (the
    seconds alone: within half a minute either way)."""
    u = t + shift
    d = (shown - int(u)) % 60
    d = d - 60 if d > 30 else d
    return (u - (int(u) + d)) * 1000


def shown_second(readings):
    """The second most readings agree on, or None."""
    valid = [int(r) for r in readings if len(r) == 2 and r.isdigit() and int(r) < 60]
    return max(set(valid), key=valid.count) if valid else None


def mend_misreads(changes):
    """A change whose neighbours, each within 1.5 s of it, show the seconds
    just before and just after one second: it shows that second, whatever
    OCR made of its picture (each picture is read once, so one misread
    comes back every minute). Returns the changes and how many were mended."""
    out, mended = list(changes), 0
    for i in range(1, len(out) - 1):
        (t0, a), (t1, s), (t2, b) = out[i - 1], out[i], out[i + 1]
        if a is None or b is None or t1 - t0 > 1.5 or t2 - t1 > 1.5:
            continue
        if (a + 1) % 60 == (b - 1) % 60 != s:
            out[i] = (t1, (a + 1) % 60)
            mended += 1
    return out, mended


def loadavg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


# --- the clock's process and the Wine server ------------------------------------

def is_wine(command):
    return os.path.basename(command[0]) == "wine-run"


def wine_prefix(command):
    if "--prefix" in command:
        return os.path.abspath(command[command.index("--prefix") + 1])
    return os.environ.get("WINEPREFIX") or os.path.join(HERE, "..", "build-windows", "wine-prefix")


def wineserver():
    for path in ("/usr/bin/wineserver", "/usr/lib/wine/wineserver64"):
        if os.access(path, os.X_OK):
            return path
    return "wineserver"


def wineserver_pid(prefix):
    """The prefix's running Wine server: it works in a folder named after the
    prefix's device and inode."""
    st = os.stat(prefix)
    folder = "/server-%x-%x" % (st.st_dev, st.st_ino)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink("/proc/%s/cwd" % pid).endswith(folder) and \
                    "wineserver" in os.path.basename(os.readlink("/proc/%s/exe" % pid)):
                return int(pid)
        except OSError:
            pass
    return None


def end_wineserver(prefix):
    """Ends the prefix's server, so that scripts/wine-run starts one in the
    run's environment (the shim preloaded) and network namespace."""
    env = dict(os.environ, WINEPREFIX=prefix)
    subprocess.run([wineserver(), "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run([wineserver(), "-w"], env=env, stderr=subprocess.DEVNULL, timeout=30)


def environ_of(pid):
    with open("/proc/%d/environ" % pid, "rb") as f:
        return dict(item.decode(errors="replace").split("=", 1)
                    for item in f.read().split(b"\0") if b"=" in item)


def shim(workdir):
    """bench/connect_delay.c built into a preloadable library."""
    so = os.path.join(workdir, "connect_delay.so")
    subprocess.run(["cc", "-O2", "-Wall", "-shared", "-fPIC", "-o", so,
                    os.path.join(HERE, "connect_delay.c"), "-ldl"], check=True)
    return so


def check_clock_process(pid, wine):
    """The process that SIGSTOP will stop is the program's own."""
    with open("/proc/%d/cmdline" % pid, "rb") as f:
        cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
    if "fullscreenclock" not in cmdline:
        raise Failure("pid %d is not the clock: %s" % (pid, cmdline))
    print("clock process %d: %s" % (pid, cmdline.strip()), flush=True)


# --- the window ----------------------------------------------------------------

def seconds_watch_box(x):
    """The rectangle of the seconds digits, with a margin."""
    r = Reading(x)
    x0, y0, x1, y1 = r.img.mask(SECONDS_COLOUR, 2).bbox(r.seconds_region())
    m = 6
    return (x0 - m, y0 - m, x1 + m, y1 + m)


def click_sync_caption(x):
    """Clicks "同步网络时间:", the grey caption at the left of the last line
    of text below the clock (the server list and its example follow it on
    that line). A window frame's grey edges are left out: its sides by a
    margin, its bottom by the height of a line of text."""
    r = Reading(x, "before-click.ppm")
    margin, top = 10, r.seconds_region()[3]
    mask = r.img.mask((128, 128, 128), 24)
    lines = []
    for y in range(top, r.img.height):
        if mask.count_in((margin, y, r.img.width - margin, y + 1)):
            if lines and y == lines[-1][1] + 1:
                lines[-1][1] = y
            else:
                lines.append([y, y])
    lines = [(y0, y1) for y0, y1 in lines if 8 <= y1 - y0 <= 80]
    if not lines:
        raise Failure("no grey caption below the clock")
    y0, y1 = lines[-1]
    first = mask.ink_runs(mask.bbox((margin, y0, r.img.width - margin, y1 + 1)))[0]
    at = ((first[0] + first[1]) // 2, (y0 + y1) // 2)
    x.click(*at)
    print("clicked the sync caption's first glyph at %d,%d" % at, flush=True)


def hour_minute_read(x, label):
    """A screenshot's time and what OCR reads of its hour and minute: the
    readings of the form HH:MM most agree on, or None."""
    r = Reading(x, "stall-%s.ppm" % label)
    texts = [t for t in r.hour_minute() if len(t) == 5 and t[2] == ":" and
             (t[:2] + t[3:]).isdigit()]
    return r.before, max(set(texts), key=texts.count) if texts else None


def whole_time(shot, changes, shift):
    """What a screenshot of the stall showed, hour and minute from its own
    OCR, the seconds from the last change the watcher saw by its start (the
    hour and minute are read within 0.3 s of that), against
    the server's clock (UTC+8) then: the text and how far the server's time
    lay outside the second shown (0: within it; negative: the display behind)."""
    label, at, hm_text = shot
    # The watcher notes a change up to one of its intervals after it.
    shown = [s for t, s in changes if t <= at + 0.02]
    server = (at + shift + 8 * 3600) % 86400
    clock = "%02d:%02d:%06.3f" % (server // 3600, server // 60 % 60, server % 60)
    if not hm_text or not shown or shown[-1] is None:
        return "%s: unread (hour:minute %s), server %s" % (label, hm_text, clock), None
    tod = int(hm_text[:2]) * 3600 + int(hm_text[3:]) * 60 + shown[-1]
    ahead = (tod - server + 43200) % 86400 - 43200  # display minus server, s
    outside = 0.0 if -1 < ahead <= 0 else (ahead if ahead > 0 else ahead + 1)
    return ("%s: shows %s:%02d, server %s: %+.2f s outside the second shown"
            % (label, hm_text, shown[-1], clock, outside)), outside


def stall(x, proc, server, seconds, shift, box, report):
    """SIGSTOP the clock STALL_AFTER_S after the second exchange, SIGCONT
    `seconds` later; then read the window."""
    poll("the second exchange", lambda: len(server.timeline) >= 2, 2 * RESYNC_S + 60, 0.5)
    time.sleep(max(0.0, server.timeline[1][1] + STALL_AFTER_S - time.time()))
    os.kill(proc.pid, signal.SIGSTOP)
    stopped = time.time()
    time.sleep(seconds)
    with RegionReader(x.display, box) as reader:
        # The picture before it runs again: a tick overdue may draw at once.
        last = reader.read()
        os.kill(proc.pid, signal.SIGCONT)
        resumed = time.time()
        while reader.read() == last and time.time() < resumed + 10:
            time.sleep(0.002)
        first = time.time()
    print("stopped at %.3f for %.1f s; first change of the seconds %.0f ms after SIGCONT"
          % (stopped, resumed - stopped, (first - resumed) * 1000), flush=True)
    report.update(stopped=stopped, resumed=resumed, first=first)
    # A screenshot takes 0.1-0.3 s; the watcher's changes give its seconds.
    report["shots"] = [("at the first change",) + hour_minute_read(x, "first")]
    for after in (3, 13):
        time.sleep(max(0.0, resumed + after - time.time()))
        report["shots"].append(("at +%d s" % after,) + hour_minute_read(x, "+%d s" % after))


# --- the run --------------------------------------------------------------------

def namespace_hosts():
    """This namespace's own /etc/hosts, naming the default server 127.0.0.1."""
    hosts = tempfile.NamedTemporaryFile("w", prefix="netclock-hosts-", delete=False)
    hosts.write("127.0.0.1 localhost\n::1 localhost\n127.0.0.1 %s\n" % DEFAULT_HOST)
    hosts.close()
    subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], check=True)
    links = subprocess.run(["ip", "-o", "link"], stdout=subprocess.PIPE, text=True).stdout
    print("network namespace %s, links: %s; /etc/hosts: %s"
          % (os.readlink("/proc/self/ns/net"),
             ", ".join(line.split(":")[1].strip() for line in links.splitlines()),
             open("/etc/hosts").read().strip().replace("\n", "; ")), flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--shift", type=float, default=0.4, help="server ahead of the PC, s")
    ap.add_argument("--delay", type=float, default=0.0, help="each way, s")
    ap.add_argument("--exchanges", type=int, default=5)
    ap.add_argument("--watch-us", type=int, default=5000)
    ap.add_argument("--setup-ms", type=int, default=0,
                    help="every connect() of the program to the server waits this long")
    ap.add_argument("--stall", type=float, default=0,
                    help="stop the clock this long, 30 s after the second exchange")
    ap.add_argument("--default-server", action="store_true",
                    help="click the sync caption; a stand-in for the default server answers")
    ap.add_argument("--workdir", help="screenshots and logs (default: a new temporary folder)")
    ap.add_argument("command", nargs="+")
    args = ap.parse_args()
    command = list(args.command)
    wine = is_wine(command)
    if args.default_server:
        status = run_bench.in_network_namespace(__file__, IN_NAMESPACE, mount=True)
        if status is not None:
            return status
        namespace_hosts()
        if wine and "--netns-check" not in command:
            command.insert(1, "--netns-check")
    workdir = args.workdir or tempfile.mkdtemp(prefix="netclock-bench-")
    os.makedirs(workdir, exist_ok=True)
    print("load average at the start: %s" % loadavg(), flush=True)

    if args.stall:
        watched = 5 + RESYNC_S + STALL_AFTER_S + args.stall + 60
    else:
        watched = 5 + (args.exchanges - 1) * RESYNC_S + 60
    stall_report = {}
    connect_log = os.path.join(workdir, "connects.log")
    with XSession(1920, 1080, workdir) as x, \
            DateServer(args.shift, args.delay, 80 if args.default_server else 0) as server:
        port = server.httpd.server_address[1]
        if args.setup_ms:
            run_bench.EXTRA_ENV.update(LD_PRELOAD=shim(workdir), CONNECT_DELAY_PORT=str(port),
                                       CONNECT_DELAY_MS=str(args.setup_ms),
                                       CONNECT_DELAY_LOG=connect_log)
        if wine:
            end_wineserver(wine_prefix(command))
        proc, window = start_clock(x, command)
        check_clock_process(proc.pid, wine)
        if wine:
            pid = wineserver_pid(wine_prefix(command))
            if pid is None:
                raise Failure("no Wine server for %s" % wine_prefix(command))
            ns, mine = os.readlink("/proc/%d/ns/net" % pid), os.readlink("/proc/self/ns/net")
            preload = environ_of(pid).get("LD_PRELOAD", "-")
            print("Wine server %d: network namespace %s (this run's: %s), LD_PRELOAD=%s"
                  % (pid, ns, mine, preload), flush=True)
            if ns != mine or (args.setup_ms and preload != run_bench.EXTRA_ENV["LD_PRELOAD"]):
                raise Failure("the Wine server is not this run's")
        time.sleep(2)
        box = seconds_watch_box(x)
        watch = watch_seconds(x, watched, args.watch_us)
        time.sleep(1)
        started = time.time()
        if args.default_server:
            click_sync_caption(x)
        else:
            type_url(x, window, server.url)
        staller = None
        if args.stall:
            staller = threading.Thread(target=stall, args=(x, proc, server, args.stall,
                                                           args.shift, box, stall_report))
            staller.start()
        raw = [(t, shown_second(seen)) for t, _, seen in watch()]
        if staller:
            staller.join()
        proc.terminate()
    changes, mended = mend_misreads(raw)
    stamps = [wall for wall, _ in server.served]
    print("load average at the end: %s" % loadavg())
    print("command: %s\nserver ahead by %.3f s, %.0f ms each way, connect() waits %d ms; "
          "%d exchanges at %s s after the first"
          % (" ".join(command), args.shift, args.delay * 1000, args.setup_ms, len(stamps),
             ", ".join("%.1f" % (s - stamps[0]) for s in stamps)))
    if args.setup_ms:
        lines = open(connect_log).read().splitlines() if os.path.exists(connect_log) else []
        who = sorted({line.split(" ", 2)[2] for line in lines})
        print("connects delayed: %d, made by %s" % (len(lines), ", ".join(who) or "nobody"))
    if args.default_server:
        print("requests reached the stand-in for %s at %s s after the click, Host: %s" % (
            DEFAULT_HOST, ", ".join("%.1f" % (a - started) for a, _ in server.timeline),
            sorted(set(server.hosts))))
    print("OCR: %d changes, %d misreads mended from their neighbours" % (len(changes), mended))
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
    if args.stall and "resumed" not in stall_report:
        print("stall %.0f s: the stall did not happen (see the thread's error above)" % args.stall)
    elif args.stall:
        resumed = stall_report["resumed"]
        after = [(t, s) for t, s in changes if t > resumed and s is not None]
        later = [a for a, _ in server.timeline if a > resumed]
        for t, shown in after[:4]:
            print("stall %.0f s: a change %.0f ms after SIGCONT shows :%02d, %+.0f ms from the "
                  "server's start of that second (the seconds alone)"
                  % (args.stall, (t - resumed) * 1000, shown, lateness_ms(t, shown, args.shift)))
        for shot in stall_report.get("shots", []):
            print("stall %.0f s: %s" % (args.stall, whole_time(shot, changes, args.shift)[0]))
        print("stall %.0f s: the next request reached the server %s"
              % (args.stall, "%.2f s after SIGCONT" % (later[0] - resumed) if later else "never"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
