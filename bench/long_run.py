#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A clock left running for days, in minutes: the clock (and, in network
mode, its loopback server) runs under libfaketime at SPEED times the real
rate, so that its ticks, wake-ups, midnights and resyncs come SPEED times as
often. Every SAMPLE real seconds it records what the clock holds: memory,
threads, open files, CPU, minor faults, its X resources (and under Wine its
Wine server's memory and files). At the end it reads the window: the time and
date must be those of the clock that drives it, and in network mode the
resyncs must have kept coming. A network run re-enters itself in a network
namespace of its own with loopback alone up (under Wine, its Wine server is
started there), so the clock can reach no server but its own.

Usage: bench/long_run.py [--hours 48] [--speed 100] [--mode local|network]
                         [--windows] [--build build] [--wine-build build-windows]
Exits 1 if anything grew after the first simulated hour, the window is
wrong or the resyncs stopped.
"""

import argparse
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from xsession import XSession, poll  # noqa: E402
from clock_e2e import Reading, faketime_library, reads_as, squeeze, type_url  # noqa: E402
from run_bench import (cpu_seconds, in_network_namespace, memory_kib, minor_faults,  # noqa: E402
                       start_clock, stop, wine_server_pid)

HOUR = 3600


def serve(speed):
    """The loopback server, run under libfaketime beside the clock: prints
    its URL, then the (sped-up) time of each request it answers."""
    from clock_e2e import DateServer
    with DateServer(0) as server:
        print(server.url, flush=True)
        seen = 0
        while True:
            time.sleep(1 / speed)
            for arrived, _ in server.timeline[seen:]:
                print("%.3f" % arrived, flush=True)
            seen = len(server.timeline)


def faked(speed):
    return dict(LD_PRELOAD=faketime_library(), FAKETIME="+0 x%g" % speed)


def started_at(pid):
    """The wall clock when the process began (fork, 10 ms ticks): where its
    libfaketime timeline starts, give or take the exec that loaded it."""
    with open("/proc/%d/stat" % pid) as f:
        ticks = int(f.read().rsplit(")", 1)[1].split()[19])
    since = time.clock_gettime(time.CLOCK_BOOTTIME) - ticks / os.sysconf("SC_CLK_TCK")
    return time.time() - since


def open_files(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def threads(pid):
    return len(os.listdir("/proc/%d/task" % pid))


def x_resources(x):
    """Windows, GCs, pixmaps and pixmap bytes the X server holds for the
    clients other than the window manager, the server's own and xrestop."""
    out = subprocess.run(["xrestop", "-b", "-m", "1"], env=x.env(), stdout=subprocess.PIPE,
                         text=True, check=True).stdout
    totals = dict(windows=0, GCs=0, pixmaps=0, pixmap_bytes=0)
    for block in re.split(r"\n(?=\d+ - )", out):
        if re.match(r"\d+ - (Openbox|xrestop|<unknown>) ", block):
            continue
        for key in totals:
            m = re.search(r"^\s*%s\s*:\s*(\d+)" % key.replace("_", " "), block, re.M)
            totals[key] += int(m.group(1)) if m else 0
    return totals


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--hours", type=float, default=48, help="simulated hours to run")
    ap.add_argument("--speed", type=float, default=100)
    ap.add_argument("--mode", choices=["local", "network"], default="local")
    ap.add_argument("--windows", action="store_true", help="the Windows program under Wine")
    ap.add_argument("--build", default="build")
    ap.add_argument("--wine-build", default="build-windows")
    ap.add_argument("--sample", type=float, default=10, help="real seconds between samples")
    ap.add_argument("--serve", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.serve:
        return serve(args.speed)
    if args.mode == "network":
        status = in_network_namespace(__file__, "LONG_RUN_NETNS")
        if status is not None:
            return status
    speed = args.speed
    workdir = tempfile.mkdtemp(prefix="long-run-")
    if args.windows:
        prefix = os.path.join(workdir, "prefix")
        command = [os.path.join(HERE, "..", "scripts", "wine-run"), "--prefix", prefix,
                   os.path.join(os.path.abspath(args.wine_build), "app", "fullscreenclock.exe")]
        if args.mode == "network":
            command.insert(3, "--netns-check")
    else:
        command = [os.path.join(os.path.abspath(args.build), "app", "fullscreenclock")]
    server = None
    with XSession(1920, 1080, workdir) as x:
        if args.windows:
            # The prefix is made at the real rate (its set-up's time-outs would
            # otherwise run out a hundred times too soon), and its server
            # ended: the clock's start brings one up sped up with it.
            subprocess.run(command[:3] + ["cmd.exe", "/c", "exit"], env=x.env(), check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wine_env = dict(os.environ, WINEPREFIX=prefix)
            subprocess.run(["wineserver", "-k"], env=wine_env)
        if args.mode == "network":
            server = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve",
                                       "--speed", str(speed)],
                                      env=dict(os.environ, **faked(speed)), stdout=subprocess.PIPE,
                                      text=True)
            url = server.stdout.readline().strip()
        proc, window = start_clock(x, command, tries=5, **faked(speed))
        pid = proc.pid  # under Wine too: wine-run and Wine's loader each exec the next
        wineserver = wine_server_pid(os.path.abspath(prefix)) if args.windows else None
        if server:
            type_url(x, window, url)
            poll("network mode", lambda: Reading(x).mode == "network", 30, 0.2)
        began = started_at(pid)
        # A process's sped-up clock at the real time t
        sped_up = lambda start, t: start + (t - start) * speed

        samples = []
        end = time.time() + args.hours * HOUR / speed
        while True:
            row = dict(hours=(sped_up(began, time.time()) - began) / HOUR, cpu=cpu_seconds(pid),
                       faults=minor_faults(pid), threads=threads(pid), files=open_files(pid),
                       **memory_kib(pid), **x_resources(x))
            if wineserver:
                row.update(server_rss=memory_kib(wineserver)["VmRSS"],
                           server_files=open_files(wineserver))
            samples.append(row)
            if time.time() >= end:
                break
            time.sleep(min(args.sample, max(0, end - time.time())))

        # What the window shows now, against the clock that drives it.
        shown = Reading(x, os.path.join(workdir, "end.ppm"))
        taken = (shown.before + shown.after) / 2
        if server:
            moment = sped_up(started_at(server.pid), taken)  # the server's clock
            moment_shown = datetime.datetime.utcfromtimestamp(moment + 8 * HOUR)
        else:
            moment_shown = datetime.datetime.fromtimestamp(sped_up(began, taken))
        stop(proc)
        if args.windows:
            subprocess.run(["wineserver", "-k"], env=wine_env)
        requests = []
        if server:
            server.terminate()
            requests = [float(line) for line in server.communicate()[0].split()]

    with open(os.path.join(workdir, "samples.json"), "w") as f:
        json.dump(dict(samples=samples, requests=requests), f)
    print("samples and requests in " + workdir)
    problems = report(samples, speed, args)
    # Two minutes either way: the timelines begin at the fork, give or take.
    expected = {(moment_shown + datetime.timedelta(minutes=m)).strftime("%H:%M")
                for m in (-2, -1, 0, 1, 2)}
    day = moment_shown.date()
    date = "%d年%d月%d日星期%s" % (day.year, day.month, day.day, "一二三四五六日"[day.weekday()])
    print("at the end: shows %s, %s; expected about %s, %s" % (
        sorted(shown.hour_minute()), shown.date(), moment_shown.strftime("%H:%M"), date))
    if shown.mode != args.mode or not reads_as(shown.hour_minute(), expected):
        problems.append("the time shown")
    if squeeze(shown.date() or "") != squeeze(date) and moment_shown.strftime("%H:%M") > "00:02":
        problems.append("the date shown")
    if server:
        # Sped up, a real 0.1 s is the exchange's 10 s time-out and a busy
        # machine's delay a late tick: resyncs after a late tick or a new
        # estimate come sooner, one the server missed comes 180 ticks later.
        gaps = [b - a for a, b in zip(requests, requests[1:])]
        kinds = {kind: [g for g in gaps if test(g)] for kind, test in (
            ("sooner", lambda g: g < 170), ("every 180 ticks", lambda g: 170 <= g <= 190),
            ("later", lambda g: g > 190))}
        print("requests: %d; gaps: " % len(requests) + ", ".join(
            "%d %s (%.1f to %.1f s)" % (len(v), k, min(v), max(v)) if v else "0 " + k
            for k, v in kinds.items()))
        if not gaps or max(gaps) > 3 * 180 or len(requests) < 0.9 * (requests[-1] - requests[0]) / 180:
            problems.append("the resyncs")
    print("problems: " + (", ".join(problems) if problems else "none"))
    return 1 if problems else 0


def report(samples, speed, args):
    """Prints the samples at a few simulated hours; the problems: anything
    that grew from the first simulated hour to the end."""
    keys = ["VmRSS", "RssAnon", "threads", "files", "windows", "GCs", "pixmaps",
            "pixmap_bytes"] + (["server_rss", "server_files"] if args.windows else [])
    print("%s, %s mode, %g× speed, %.0f simulated hours" % (
        "Win32 under Wine" if args.windows else "Qt", args.mode, speed, samples[-1]["hours"]))
    print("| simulated hours | CPU s per simulated hour | minor faults per simulated hour | " +
          " | ".join(keys) + " |")
    print("|" + "---|" * (len(keys) + 3))
    marks = [1, 2, 6, 12, 24, 48, 96, 168]
    shown = [next(s for s in samples if s["hours"] >= m) for m in marks
             if samples[-1]["hours"] >= m] + [samples[-1]]
    for before, s in zip([samples[0]] + shown, shown):
        hours = max(1e-9, s["hours"] - before["hours"])
        print("| %.1f | %.1f | %.0f | " % (s["hours"], (s["cpu"] - before["cpu"]) / hours,
                                          (s["faults"] - before["faults"]) / hours) +
              " | ".join(str(s[k]) for k in keys) + " |")
    base = next(s for s in samples if s["hours"] >= 1)
    last = samples[-1]
    problems = [k for k in keys if k not in ("VmRSS", "RssAnon", "server_rss") and last[k] > base[k]]
    # Memory may settle a little after the first hour; 256 KiB more over two
    # days is a leak of 1.5 bytes a tick.
    problems += [k for k in ("RssAnon", "server_rss") if k in last and last[k] - base[k] > 256]
    return problems


if __name__ == "__main__":
    sys.exit(main())
