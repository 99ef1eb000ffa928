#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Measures what the clock costs and how well it keeps time, side by side
with its peers in one run on one virtual display.

BUILD_DIR holds app/fullscreenclock, bench/bench_query and bench/qtfloor
(cmake --build BUILD_DIR --target fullscreenclock bench_query qtfloor).
"""

import argparse
import contextlib
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from xsession import Failure, Image, XSession, ocr_digits, poll  # noqa: E402
from clock_e2e import (APP_ENV, MAIN_TITLE, SECONDS_COLOUR, TITLE, DateServer,  # noqa: E402
                       Reading, seconds_box, type_url)

APP_ENV = dict(APP_ENV, QT_QPA_PLATFORM="xcb")
EXTRA_ENV = {}  # --env NAME=VALUE: variables the clock alone gets


def start_clock(x, command, tries=1, **env):
    """Launches the clock and answers the start-up notice; returns the
    process and its window. Under Wine the first window is refused when the
    prefix's desktop does not start within its wait (seen sped up a
    hundredfold on a busy machine): the program then ends, and is started
    again while tries are left."""
    for _ in range(tries):
        proc = x.spawn(command, **dict(APP_ENV, **EXTRA_ENV, **env))
        box = poll("the start-up notice",
                   lambda: x.find_window(TITLE, proc.pid) or proc.poll() is not None, 90)
        if proc.poll() is None:
            x.xdotool("windowactivate", "--sync", box, "key", "Return")
            return proc, poll("the clock window", lambda: x.find_window(MAIN_TITLE, proc.pid), 10)
        print("the clock ended at start (status %d)" % proc.returncode)
    raise Failure("the clock did not start in %d tries" % tries)


def in_network_namespace(script, marker, mount=False):
    """Runs script again, with this run's arguments, in a network namespace
    of its own (and a mount namespace, for files of its own) and returns its
    status; inside it, brings loopback up, the only link, and returns None."""
    if os.environ.get(marker) == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return None
    return subprocess.call(["unshare", "-n"] + (["-m"] if mount else []) +
                           [sys.executable, os.path.abspath(script)] + sys.argv[1:],
                           env=dict(os.environ, **{marker: "1"}))


def stop(proc):
    proc.terminate()
    try:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def read_seconds(path):
    """The readings of the two digits a picture of the seconds display shows."""
    with open(path, "rb") as f:
        mask = Image.from_ppm(f.read()).mask(SECONDS_COLOUR, 2)
    box = seconds_box(mask)
    return ocr_digits(mask, box, path + ".pgm", sizes=((100, 7), (60, 7), (160, 8))) if box else []


def watch_seconds(x, seconds, interval_us):
    """Starts bench/secwatch on the seconds display of the local clock for
    `seconds`; returns a function that waits for it to end and gives each
    change as (wall clock, picture, readings of the picture)."""
    pics = tempfile.mkdtemp(prefix="secwatch-")
    watcher = os.path.join(pics, "secwatch")
    subprocess.run(["cc", "-O2", "-o", watcher, os.path.join(HERE, "secwatch.c"), "-lX11"],
                   check=True)
    r = Reading(x)
    x0, y0, x1, y1 = r.img.mask(SECONDS_COLOUR, 2).bbox(r.seconds_region())
    m = 6
    region = (x0 - m, y0 - m, x1 - x0 + 2 * m, y1 - y0 + 2 * m)
    watch = subprocess.Popen([watcher] + [str(v) for v in region + (seconds, interval_us, pics)],
                             env=x.env(), stdout=subprocess.PIPE, text=True)

    def changes():
        readings, out = {}, []
        for line in watch.communicate()[0].splitlines()[1:]:  # the first is the starting state
            t_ns, _, h = line.split()
            if h not in readings:
                readings[h] = read_seconds(os.path.join(pics, h + ".ppm"))
            out.append((int(t_ns) / 1e9, h, readings[h]))
        return out
    return changes


def per_thread(pid, name):
    """{thread id: its /proc/PID/task/TID/name} of the threads still running."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/%s" % (pid, tid, name)) as f:
                out[int(tid)] = f.read()
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return out


def cpu_seconds(pid):
    """CPU time of all threads, from schedstat (nanoseconds, not 10 ms ticks)."""
    return sum(int(text.split()[0]) for text in per_thread(pid, "schedstat").values()) / 1e9


def switches(pid):
    """(all threads, main thread, main thread's wake-ups): voluntary +
    involuntary context switches so far, and the main thread's voluntary
    ones alone (each a sleep it woke from; a loaded machine adds
    involuntary ones)."""
    every = main = wakes = 0
    for tid, text in per_thread(pid, "status").items():
        voluntary, involuntary = (int(re.search(r"^%s_ctxt_switches:\s*(\d+)" % kind, text,
                                                re.M).group(1))
                                  for kind in ("voluntary", "nonvoluntary"))
        every += voluntary + involuntary
        if tid == pid:
            main, wakes = voluntary + involuntary, voluntary
    return every, main, wakes


def memory_kib(pid):
    return {line.split(":")[0]: int(line.split()[1])
            for line in per_thread(pid, "status")[pid].splitlines()
            if line.startswith(("VmRSS:", "RssAnon:"))}


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                  if line.startswith("model name")), platform.processor())
    mem = next(int(line.split()[1]) for line in open("/proc/meminfo") if line.startswith("MemTotal"))
    return "%s, %d cores, %.0f GiB RAM, %s %s, Xvfb + openbox" % (
        model, os.cpu_count(), mem / 2 ** 20, platform.system(), platform.release())


# --- idle cost ------------------------------------------------------------

# The peers: xclock's small default face, digits as large as ours in the
# same font, and the floor of a Qt 6 clock (bench/qtfloor.cpp: a full-screen
# window whose one small label changes every second).
PEERS = [
    ("xclock", ["xclock", "-digital", "-update", "1"]),
    ("xclock big", ["xclock", "-digital", "-update", "1",
                    "-face", "AR PL UKai CN:bold:pixelsize=427"]),
    ("qt floor", ["@BUILD@/bench/qtfloor"]),
]
FLOOR = "qt floor"


def minor_faults(pid):
    """Minor page faults of all the process's threads so far (/proc/PID/stat)."""
    with open("/proc/%d/stat" % pid) as f:
        return int(f.read().rsplit(")", 1)[1].split()[7])


def group_sum(read, pids):
    """read(pid) summed over the processes, those that ended meanwhile left out."""
    total = 0
    for pid in pids:
        try:
            total += read(pid)
        except FileNotFoundError:
            pass
    return total


def reading(pids):
    """CPU seconds and minor faults of the group, the first process's switches."""
    return group_sum(cpu_seconds, pids), switches(pids[0]), group_sum(minor_faults, pids)


def measure_windows(groups, seconds, repeat):
    """Each program's median over `repeat` windows of `seconds`, all measured
    over the same windows. `groups` is [(name, [pid, ...])]: CPU and minor
    faults are the sum over the pids, the first pid's main thread gives the
    wake-ups and context switches. Rows: CPU ms/min, context switches/s (all
    threads, the main thread), wake-ups/s, minor faults per window."""
    rows = {name: [] for name, _ in groups}
    for _ in range(repeat):
        before = {name: reading(pids) for name, pids in groups}
        t0 = time.monotonic()
        time.sleep(seconds)
        t1 = time.monotonic()
        for name, pids in groups:
            c0, (a0, m0, w0), f0 = before[name]
            c1, (a1, m1, w1), f1 = reading(pids)
            span = t1 - t0
            rows[name].append(((c1 - c0) * 1000 * 60 / span, (a1 - a0) / span, (m1 - m0) / span,
                               (w1 - w0) / span, f1 - f0))
    out = {}
    for name, pids in groups:
        med = [statistics.median(r[i] for r in rows[name]) for i in range(5)]
        mem = memory_kib(pids[0])
        out[name] = dict(cpu_ms_min=med[0], cs_all=med[1], cs_main=med[2], wakes=med[3],
                         faults=med[4], rss=mem["VmRSS"] / 1024, anon=mem.get("RssAnon", 0) / 1024,
                         cpu_each=[r[0] for r in rows[name]], faults_each=[r[4] for r in rows[name]])
    return out


def report_idle(label, measured, results, repeat, seconds, floor_name=FLOOR):
    for name, row in measured.items():
        # A row "X + server" is held to the floor's row of the same kind.
        peer = floor_name + name[len(name.split(" + ")[0]):]
        floor = measured.get(peer, measured.get(floor_name, {})).get("cpu_ms_min")
        row["vs_floor"] = row["cpu_ms_min"] / floor if floor else None
        results.append(("idle %s: %s" % (label, name), row))
        print("idle %s, median of %d x %.0f s: %-12s CPU %.1f ms/min (%s; %s x the floor), "
              "wake-ups %.2f/s, context switches %.2f/s (main %.2f/s), minor faults %d per "
              "window (%s), RSS %.1f MiB (anon %.1f)"
              % (label, repeat, seconds, name, row["cpu_ms_min"],
                 " ".join("%.1f" % c for c in row["cpu_each"]),
                 "%.2f" % row["vs_floor"] if row["vs_floor"] else "-", row["wakes"],
                 row["cs_all"], row["cs_main"], row["faults"],
                 " ".join("%d" % f for f in row["faults_each"]), row["rss"], row["anon"]),
              flush=True)


def idle(apps, seconds, results, build, repeat, settle):
    """Every clock in `apps` ({name: executable}) and every peer on a virtual
    display of its own, started together, measured over the same windows:
    local mode from `settle` s after start-up, then network mode against one
    loopback server."""
    with contextlib.ExitStack() as stack:
        clocks = []
        for name, app in apps.items():
            x = stack.enter_context(XSession(1920, 1080))
            proc, main = start_clock(x, [app])
            clocks.append((name, x, proc, main))
        peers = []
        for name, cmd in PEERS:
            x = stack.enter_context(XSession(1920, 1080))
            peers.append((name, x, x.spawn([a.replace("@BUILD@", build) for a in cmd], **APP_ENV)))
        time.sleep(settle)  # past start-up, the caret's blinking and the glyphs' first renders
        # Each program alone, and with the X server that shows it: what the
        # program asks of the display is the machine's cost too.
        shown = [(name, x, proc) for name, x, proc, _ in clocks] + peers
        pids = [group for name, x, proc in shown for group in (
            (name, [proc.pid]), (name + " + display", [proc.pid, x.server.pid]))]
        report_idle("local mode", measure_windows(pids, seconds, repeat), results, repeat,
                    seconds)
        with DateServer(0) as server:
            for name, x, _, main in clocks:
                type_url(x, main, server.url)
            for name, x, _, _ in clocks:
                poll("network mode of %s" % name, lambda: Reading(x).mode == "network", 15, 0.2)
            server.settled()
            report_idle("network mode", measure_windows(pids, seconds, repeat), results,
                        repeat, seconds)
        for _, _, proc, _ in clocks:
            stop(proc)
        for _, _, p in peers:
            stop(p)


# --- idle cost under Wine ------------------------------------------------

WINE_FLOOR = "win32 floor"


def wine_server_pid(prefix):
    """The Wine server of a prefix (its services, a device host polling
    drivers among them, run whatever the program does and are left out)."""
    wanted = b"WINEPREFIX=" + prefix.encode() + b"\0"
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/comm" % entry) as f:
                    if not f.read().startswith("wineserver"):
                        continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if wanted in f.read():
                        return int(entry)
            except OSError:
                pass
    raise Failure("no Wine server runs for " + prefix)


def wine_idle(apps, floor, seconds, results, repeat, settle, prefixes):
    """As idle(), under Wine: every clock in `apps` ({name: .exe}) and the
    Win32 floor each in a prefix (under `prefixes`) and on a display of its
    own. Each program is measured alone, and with its prefix's Wine server,
    which keeps its windows, timers and message queue and answers its calls."""
    wine_run = os.path.join(HERE, "..", "scripts", "wine-run")
    with contextlib.ExitStack() as stack:
        started = []
        for name, exe in list(apps.items()) + [(WINE_FLOOR, floor)]:
            x = stack.enter_context(XSession(1920, 1080))
            prefix = os.path.join(prefixes, re.sub(r"\W+", "-", name))
            command = [wine_run, "--prefix", prefix, exe]
            if name == WINE_FLOOR:
                proc = x.spawn(command, **APP_ENV)
                poll("the Win32 floor", lambda: x.find_window("win32floor", proc.pid), 120)
                main = None
            else:
                proc, main = start_clock(x, command)
            started.append((name, x, proc, main, os.path.abspath(prefix)))
        time.sleep(settle)
        groups = []
        for name, x, proc, _, prefix in started:
            server = wine_server_pid(prefix)
            groups.append((name, [proc.pid]))
            groups.append((name + " + server", [proc.pid, server]))
            groups.append((name + " + server + display", [proc.pid, server, x.server.pid]))
        report_idle("Wine, local mode", measure_windows(groups, seconds, repeat), results,
                    repeat, seconds, WINE_FLOOR)
        with DateServer(0) as server:
            clocks = [c for c in started if c[3]]
            for name, x, _, main, _ in clocks:
                type_url(x, main, server.url)
            for name, x, _, _, _ in clocks:
                poll("network mode of %s" % name, lambda: Reading(x).mode == "network", 30, 0.2)
            server.settled()
            report_idle("Wine, network mode", measure_windows(groups, seconds, repeat), results,
                        repeat, seconds, WINE_FLOOR)
        for _, _, proc, _, _ in started:
            stop(proc)


# --- start-up ---------------------------------------------------------------

def startup(x, app, runs, results):
    """Launch to the notice being mapped, seen through root MapNotify events."""
    times = []
    for _ in range(runs):
        # xev reports every window the window manager maps on the root;
        # the clock's first one is the notice (its main window waits for OK).
        xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                               env=x.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True, bufsize=1)
        time.sleep(0.5)  # xev selects its events before the launch
        t0 = time.monotonic()
        proc = x.spawn([app], **APP_ENV)
        mapped = None
        for line in xev.stdout:
            if line.startswith("MapNotify"):
                mapped = time.monotonic()
            if mapped or time.monotonic() > t0 + 20:
                break
        xev.terminate()
        xev.wait()
        if mapped is None:
            raise Failure("no window was mapped within 20 s of the launch")
        # Confirm it was the notice and not something else.
        poll("the notice", lambda: TITLE in x.visible_windows(proc.pid).values(), 10)
        times.append((mapped - t0) * 1000)
        stop(proc)
    med = statistics.median(times)
    results.append(("start-up to notice, ms (median of %d)" % runs, med, None))
    print("start-up to notice mapped, ms: median %.0f, min %.0f, max %.0f (%s)"
          % (med, min(times), max(times), ", ".join("%.0f" % t for t in times)), flush=True)


# --- timekeeping -------------------------------------------------------------

def timekeeping(x, app, seconds, results):
    proc, _ = start_clock(x, [app])
    time.sleep(2)
    interval_us = 2000
    changes = watch_seconds(x, seconds, interval_us)()
    stop(proc)
    # A sighting counts when one reading of the picture is the second the
    # wall clock had just begun (or the one before, for a second shown over
    # a second late).
    late, unread, shown = [], 0, []
    for t, _, seen in changes:
        for behind in (0, 1):
            second = int(t) - behind
            if "%02d" % (time.localtime(second).tm_sec) in seen:
                late.append((t - second) * 1000)
                shown.append(second)
                break
        else:
            unread += 1
    # Every wall-clock second between the first and last sighting is shown
    # exactly once.
    span = range(shown[0], shown[-1] + 1) if shown else range(0)
    doubled = len(shown) - len(set(shown))
    skipped = len(set(span) - set(shown)) if not unread else max(0, len(span) - len(changes))
    late.sort()
    med = statistics.median(late)
    results.append(("timekeeping over %d s: median lateness ms" % seconds, med, None))
    results.append(("timekeeping: worst lateness ms", late[-1], None))
    results.append(("timekeeping: seconds skipped / shown twice / unconfirmed",
                    "%d / %d / %d" % (skipped, doubled, unread), None))
    print("timekeeping over %d s, %d seconds confirmed (%d pictures, %d changes unread), sampling "
          "every %.1f ms: lateness median %.1f ms, p90 %.1f, min %.1f, max %.1f; skipped %d, "
          "shown twice %d, unconfirmed %d" % (
              seconds, len(late), len({h for _, h, _ in changes}), unread, interval_us / 1000,
              med, late[int(0.9 * (len(late) - 1))], late[0], late[-1], skipped, doubled, unread),
          flush=True)


# --- network query ---------------------------------------------------------------

def query(build, rounds, results):
    out = subprocess.run([os.path.join(build, "bench", "bench_query"), str(rounds)],
                         env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True, text=True).stdout
    print(out, end="", flush=True)
    med = {line.split()[0]: float(line.split("median")[1].split()[0])
           for line in out.splitlines() if line.startswith(("libcurl", "Combo1_Click"))}
    results.append(("query: Combo1_Click vs libcurl round trip, median ms",
                    med["Combo1_Click"], med["libcurl"]))


@contextlib.contextmanager
def busy_cores():
    """A copy loop per core at nice 19. With every core busy no core sleeps
    between ticks, so the measure leaves out what waking a sleeping core costs
    a program, which on a virtual machine varies with the host. The programs,
    woken, still preempt the loops at once."""
    loops = [subprocess.Popen(["nice", "-n", "19", "dd", "if=/dev/zero", "of=/dev/null",
                               "bs=64M"], stderr=subprocess.DEVNULL)
             for _ in range(os.cpu_count() or 1)]
    print("every core busy: %d copy loops at nice 19" % len(loops), flush=True)
    try:
        yield
    finally:
        for loop in loops:
            loop.kill()
            loop.wait()


def measure_idle(args, app, build, only, results):
    if "idle" in only:
        apps = dict([("clock", app)] + [(item.split("=", 1)[0], os.path.abspath(item.split("=", 1)[1]))
                                        for item in args.compare])
        idle(apps, args.idle_seconds, results, build, args.repeat, args.settle)
    if "wine-idle" in only:
        wine_build = os.path.abspath(args.wine_build)
        apps = dict([("wine clock", os.path.join(wine_build, "app", "fullscreenclock.exe"))] +
                    [("wine " + item.split("=", 1)[0], os.path.abspath(item.split("=", 1)[1]))
                     for item in args.wine_compare])
        wine_idle(apps, os.path.join(wine_build, "bench", "win32floor.exe"), args.idle_seconds,
                  results, args.repeat, args.settle, os.path.join(wine_build, "bench-prefixes"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--app", help="the clock's executable (default BUILD/app/fullscreenclock)")
    ap.add_argument("--compare", action="append", default=[], metavar="NAME=EXECUTABLE",
                    help="another build of the clock measured beside it (idle), e.g. before=...")
    ap.add_argument("--idle-seconds", type=float, default=60)
    ap.add_argument("--repeat", type=int, default=1, help="idle windows per mode")
    ap.add_argument("--settle", type=float, default=70,
                    help="seconds between start-up and the first idle window")
    ap.add_argument("--startups", type=int, default=10)
    ap.add_argument("--keep-seconds", type=float, default=600)
    ap.add_argument("--rounds", type=int, default=200)
    ap.add_argument("--only", action="append",
                    choices=["idle", "wine-idle", "startup", "timekeeping", "query"])
    ap.add_argument("--wine-build", default="build-windows",
                    help="the Windows build: fullscreenclock.exe and bench/win32floor.exe")
    ap.add_argument("--wine-compare", action="append", default=[], metavar="NAME=EXE",
                    help="another Windows build of the clock measured beside it (wine-idle)")
    ap.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                    help="set in the clock's environment, e.g. QT_MAX_CACHED_GLYPH_SIZE=64")
    ap.add_argument("--busy", action="store_true",
                    help="idle: keep every core busy at the lowest priority (a copy loop each)")
    args = ap.parse_args()
    EXTRA_ENV.update(item.split("=", 1) for item in args.env)
    build = os.path.abspath(args.build)
    app = os.path.abspath(args.app) if args.app else os.path.join(build, "app", "fullscreenclock")
    only = set(args.only or ["idle", "startup", "timekeeping", "query"])  # Wine: --only wine-idle
    print("machine: " + machine(), flush=True)
    results = []
    busy = busy_cores() if args.busy and only & {"idle", "wine-idle"} else contextlib.nullcontext()
    with busy:
        measure_idle(args, app, build, only, results)
    if only & {"startup", "timekeeping"}:
        with XSession(1920, 1080) as x:
            print("display %s at 1920x1080" % x.display, flush=True)
            if "startup" in only:
                startup(x, app, args.startups, results)
            if "timekeeping" in only:
                timekeeping(x, app, int(args.keep_seconds), results)
    if "query" in only:
        query(build, args.rounds, results)
    idle_rows = [(r[0], r[1]) for r in results if isinstance(r[1], dict)]
    if idle_rows:
        print("\n| idle | CPU ms/min | x the floor | main-thread wake-ups/s | minor faults / 30 s "
              "| context switches/s (all / main) | RSS MB | RssAnon MB |\n"
              "|---|---|---|---|---|---|---|---|")
        for name, r in idle_rows:
            print("| %s | %.1f | %s | %.2f | %d | %.2f / %.2f | %.1f | %.1f |" % (
                name, r["cpu_ms_min"], "%.2f" % r["vs_floor"] if r["vs_floor"] else "-",
                r["wakes"], round(r["faults"] * 30 / args.idle_seconds), r["cs_all"],
                r["cs_main"], r["rss"], r["anon"]))
    print("\n| measure | clock | peer | ratio |\n|---|---|---|---|")
    for name, ours, peer in (r for r in results if not isinstance(r[1], dict)):
        fmt = lambda v: v if isinstance(v, str) else "%.3g" % v
        ratio = "%.2f" % (ours / peer) if isinstance(ours, float) and peer else ""
        print("| %s | %s | %s | %s |" % (name, fmt(ours), "" if peer is None else fmt(peer), ratio))
    return 0


if __name__ == "__main__":
    sys.exit(main())
