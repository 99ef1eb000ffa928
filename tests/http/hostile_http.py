#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""One table of hostile servers and typed URLs for the request layer of both
programs: each row's servers listen on 127.0.0.1, the probe (httpprobe,
built in each back end) runs the request object twice against the row's URL,
and the outcome must be the row's on every exchange, within its bound, with
nothing left open, nothing written to disk and nothing contacted but the
URL's host and port.

As root the table runs in a network namespace of its own with only loopback
up, so that the rows that look a name up reach no resolver; a Wine server for
the probe is then started inside that namespace, never reused from outside.
Without root those rows are skipped.

COMMAND runs the probe: the program itself, or scripts/wine-run ... httpprobe.exe.
"""

import argparse
import concurrent.futures
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

DATE_A = "Mon, 07 Dec 2026 14:04:45 GMT"
DATE_B = "Tue, 08 Dec 2026 01:02:03 GMT"
HEAD_A = ("HTTP/1.1 200 OK\r\nDate: %s\r\n" % DATE_A).encode()  # a valid Date, more to come
OK = 0
INVALID_URL = 0x800C0002
NOT_FOUND = 0x800C0005
OTHER = 0x800C0008
TIMEOUT = 0x800C000B
CODE_NAMES = {OK: "ok", INVALID_URL: "invalid URL", NOT_FOUND: "not found",
              OTHER: "other (quiet)", TIMEOUT: "time-out (quiet)"}
REPEAT = 2
PROMPT = "请选择需要同步的服务器"
IN_NAMESPACE = "HOSTILE_HTTP_NETNS"


# --- servers -----------------------------------------------------------------

class Server:
    """A listener on 127.0.0.1 (port 0: any free one) that hands every
    connection to `serve(server, conn)` on a thread of its own and keeps a
    log of the requests read with read_request()."""

    def __init__(self, serve=None, port=0, accept=True, backlog=16, family=socket.AF_INET):
        self.serve = serve
        self.requests = []  # heads as text
        self.connections = 0
        self.held = []  # seconds from accepting each connection to the client's hang-up
        self.served_bytes = 0
        self.lock = threading.Lock()
        self.closing = threading.Event()
        self.sock = socket.socket(family)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        host = "::1" if family == socket.AF_INET6 else "127.0.0.1"
        self.sock.bind((host, port))
        self.sock.listen(backlog)
        self.port = self.sock.getsockname()[1]
        self.url = "http://%s:%d/" % ("[::1]" if family == socket.AF_INET6 else host, self.port)
        self.fillers = []
        if accept:
            threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        self.sock.settimeout(0.2)
        while not self.closing.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            with self.lock:
                self.connections += 1
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        try:
            conn.settimeout(20)
            if self.serve:
                self.serve(self, conn)
        except OSError:
            pass
        finally:
            conn.close()

    def read_request(self, conn):
        head = b""
        while b"\r\n\r\n" not in head and len(head) < 65536:
            chunk = conn.recv(4096)
            if not chunk:
                break
            head += chunk
        text = head.decode("latin-1")
        with self.lock:
            self.requests.append(text)
        return text

    def wait_for_close(self, conn, limit=30):
        """Holds the connection until the client hangs up, and logs when."""
        start = time.monotonic()
        conn.settimeout(limit)
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass
        with self.lock:
            self.held.append(time.monotonic() - start)

    def close(self):
        self.closing.set()
        for s in self.fillers:
            s.close()
        self.sock.close()


def response(status="200 OK", headers=(("Date", DATE_A),), body=b"ok"):
    lines = ["HTTP/1.1 " + status] + ["%s: %s" % h for h in headers]
    lines += ["Content-Length: %d" % len(body), "Connection: close", "", ""]
    return "\r\n".join(lines).encode("latin-1") + body


def answer(data, delay=0):
    """Serves `data` `delay` s after the request."""
    def serve(server, conn):
        server.read_request(conn)
        time.sleep(delay)
        conn.sendall(data)
    return serve


def blurt(server, conn):
    """Answers the first bytes of whatever comes with a plain HTTP reply."""
    conn.recv(4096)
    conn.sendall(response())


def then_silence(data):
    def serve(server, conn):
        server.read_request(conn)
        if data:
            conn.sendall(data)
        server.wait_for_close(conn)
    return serve


def half_close(server, conn):
    server.read_request(conn)
    conn.shutdown(socket.SHUT_WR)
    server.wait_for_close(conn)


def slowloris(server, conn):
    server.read_request(conn)
    conn.sendall(HEAD_A + b"X-Slow: ")
    start = time.monotonic()
    try:
        while time.monotonic() < start + 30:
            conn.sendall(b"a")
            time.sleep(0.5)
    finally:
        with server.lock:
            server.held.append(time.monotonic() - start)


def endless_body(server, conn):
    server.read_request(conn)
    conn.sendall(HEAD_A + b"Content-Type: application/octet-stream\r\n\r\n")
    block = b"z" * 65536
    while server.served_bytes < (1 << 30):
        conn.sendall(block)
        with server.lock:
            server.served_bytes += len(block)


def reset(server, conn):
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


# --- the table ---------------------------------------------------------------

class Row:
    """name; serve: how the row's server answers (None: no server), or make:
    the row's servers by role, made when it runs; code and date: the outcome
    of every exchange; url: a template of the main server's url and port, or
    a function; bound: the most ms an exchange may take, least: the fewest;
    check: a function of the servers giving a list of problems; requests: how
    many must reach the server (None: any); netns: needs its own network."""

    def __init__(self, name, serve, code, date="", url="{url}", bound=2000, least=0,
                 check=None, netns=False, requests=REPEAT, wine=None, make=None):
        self.name, self.url = name, url
        self.make = make or (one(serve) if serve else dict)
        self.code, self.date, self.bound, self.least = code, date, bound, least
        self.check, self.netns, self.requests = check, netns, requests
        # (code, date, why): what Wine's WinHTTP gives instead, a known gap
        # whose row then checks only that the outcome is quiet and bounded.
        self.wine = wine

    def under_wine(self):
        code, date, why = self.wine
        # Either the outcome differs, or only what outlives the exchange.
        outlives = (code, date) == (self.code, self.date)
        row = Row(self.name, None, code, date, self.url, self.bound if outlives else 11500,
                  self.least if outlives else 0, requests=None, make=self.make)
        row.why, row.outlives = why, outlives
        return row


def one(serve, **kw):
    return lambda: {"main": Server(serve, **kw)}


def no_cookie_sent(s):
    sent = [h for h in s["main"].requests if re.search(r"(?im)^cookie:", h)]
    return ["a request carried a cookie: %r" % sent[0]] if sent else []


def nothing_reached(role):
    def check(s):
        n = s[role].connections
        return ["%d connection(s) reached the %s server" % (n, role)] if n else []
    return check


def hung_up_by_client(s):
    held = s["main"].held
    late = ["%.1f s" % t for t in held if t > 11.5]
    if late:
        return ["the client kept a connection open past 11.5 s: %s" % late]
    return [] if held else ["the client kept a connection open until the end"]


def request_line(path):
    def check(s):
        lines = [h.split("\r\n", 1)[0] for h in s["main"].requests]
        return [] if lines and lines == ["POST %s HTTP/1.1" % path] * len(lines) \
            else ["request lines %r" % lines]
    return check


def host_header(name):
    def check(s):
        want = "%s:%d" % (name, s["main"].port)
        got = [(re.search(r"(?im)^host:\s*(\S+)", h) or [None, None])[1]
               for h in s["main"].requests]
        return [] if got and got == [want] * len(got) else ["Host %r, not %r" % (got, want)]
    return check


def body_not_read(s):
    served = s["main"].served_bytes
    return ["%d MB of body served" % (served >> 20)] if served > (64 << 20) else []


def redirect_elsewhere():
    target = Server(then_silence(b""))
    main = Server(answer(response("301 Moved Permanently",
                                  (("Date", DATE_A), ("Location", target.url)))))
    return {"main": main, "other": target}


def refused_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def syn_dropped():
    """A listener that never accepts (backlog 0), its queue filled so that the
    kernel drops the next connection's SYN."""
    server = Server(accept=False, backlog=0)
    for _ in range(3):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect(("127.0.0.1", server.port))
        except BlockingIOError:
            pass
        server.fillers.append(s)
    time.sleep(0.2)
    return {"main": server}


GOOD = response()
IDN_HOST, IDN_ASCII = "例子.中国", "xn--fsqu00a.xn--fiqs8s"
SILENT = then_silence(b"")
ROWS = [
    Row("good server", answer(GOOD), OK, DATE_A),
    Row("500 with a Date", answer(response("500 Internal Server Error")), OK, DATE_A),
    Row("1000 x 102 (Date B), then 200 (Date A)", answer(
        b"HTTP/1.1 102 Processing\r\nDate: %s\r\n\r\n" % DATE_B.encode() * 1000 + GOOD), OK,
        DATE_A),
    Row("headers, then an endless body", endless_body, OK, DATE_A, check=body_not_read),
    Row("Set-Cookie, then a second request", answer(response(headers=(
        ("Date", DATE_A), ("Set-Cookie", "session=hostile; Path=/; Max-Age=86400")))), OK,
        DATE_A, check=no_cookie_sent),
    Row("301 to another port", None, OK, DATE_A, check=nothing_reached("other"),
        make=redirect_elsewhere),
    Row("headers beyond 64 KB", answer(response(headers=[("Date", DATE_A)] + [
        ("X-Filler-%d" % i, "x" * 1000) for i in range(100)])), OTHER),
    Row("half-closed after the request", half_close, OTHER),
    Row("HTTP/0.9 reply", answer(b"hello, no status line\r\n"), OTHER),
    Row("https to a plain server", blurt, OTHER, url="https://127.0.0.1:{port}/", requests=None),
    # A TLS handshake that never ends is part of connecting.
    Row("https to a plain server that waits for a request", SILENT, NOT_FOUND,
        url="https://127.0.0.1:{port}/", bound=5600, least=4900, requests=None,
        check=hung_up_by_client,
        wine=(NOT_FOUND, "", "does not cancel a TLS handshake when its handle is closed: the "
                             "worker waits on to the whole exchange's bound, 5 s past the query")),
    Row("accepts, then resets", reset, OTHER, requests=None),
    Row("IPv6 loopback", None, OK, DATE_A, check=host_header("[::1]"),
        make=one(answer(GOOD), family=socket.AF_INET6)),
    Row("100 Continue (Date B), then 200 (Date A)",
        answer(b"HTTP/1.1 100 Continue\r\nDate: %s\r\n\r\n" % DATE_B.encode() + GOOD), OK, DATE_A,
        wine=(OTHER, "", "reads a 100 response's first header line as the next status line")),
    Row("100,000 short header lines after a Date",
        then_silence(HEAD_A + b"".join(b"X-%d: v\r\n" % i for i in range(100000)) + b"\r\n"),
        OTHER, wine=(None, "", "enforces no header size limit and takes time quadratic in the "
                               "count of headers, uncancelled: a core for 40 s after the "
                               "exchange, so the row is skipped")),
    Row("one header line of 1 MB after a Date",
        then_silence(HEAD_A + b"X-Long: " + b"x" * (1 << 20) + b"\r\n\r\n"), OTHER,
        wine=(OK, DATE_A, "cuts a header line at 1459 bytes without failing")),
    # As a Chinese-speaking user types them: the host name in its ASCII form
    # (the namespace's hosts file knows it), the path and query as UTF-8.
    Row("host name in Chinese", answer(GOOD), OK, DATE_A, url="http://%s:{port}/" % IDN_HOST,
        check=host_header(IDN_ASCII), netns=True),
    Row("path and query in Chinese", answer(GOOD), OK, DATE_A, url="{url}时间?城市=北京",
        check=request_line("/%E6%97%B6%E9%97%B4?%E5%9F%8E%E5%B8%82=%E5%8C%97%E4%BA%AC")),
    Row("complete reply at 5.5 s", answer(GOOD, delay=5.5), OK, DATE_A, bound=6500, least=5400),
    Row("silent server", SILENT, TIMEOUT, bound=11500, least=9900, check=hung_up_by_client),
    Row("status line, then silence", then_silence(b"HTTP/1.1 200 OK\r\n"), TIMEOUT,
        bound=11500, least=9900, check=hung_up_by_client),
    Row("102, then silence", then_silence(b"HTTP/1.1 102 Processing\r\n\r\n"), TIMEOUT,
        bound=11500, least=9900, check=hung_up_by_client),
    Row("slowloris (a header byte every 0.5 s)", slowloris, TIMEOUT, bound=11500, least=9900,
        check=hung_up_by_client,
        wine=(TIMEOUT, "", "does not cancel a call under way when its handle is closed: the "
                           "worker reads on until the server stops, 30 s")),
    Row("refused port", None, NOT_FOUND, url=lambda: "http://127.0.0.1:%d/" % refused_port(),
        bound=1500, requests=0),
    Row("SYN dropped (queue full)", None, NOT_FOUND, bound=5600, least=4900, requests=0,
        make=syn_dropped),
    Row("unknown host", None, NOT_FOUND, url="http://no-such-host.invalid/", bound=5600,
        netns=True, requests=0),
    Row("user name in the URL", answer(GOOD), INVALID_URL,
        url="http://user:pw@127.0.0.1:{port}/", requests=0),
]


# --- running -----------------------------------------------------------------

def enter_namespace(argv):
    """Re-runs this script in a network namespace with only loopback up."""
    env = dict(os.environ, **{IN_NAMESPACE: "1"})
    return subprocess.call(["unshare", "-n", "-m", sys.executable, os.path.abspath(__file__)]
                           + argv, env=env)


def wineserver_pids(prefix):
    pids = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if not os.path.basename(os.readlink("/proc/%s/exe" % pid)).startswith("wineserver"):
                continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=" + prefix).encode() in env:
            pids.append(int(pid))
    return pids


def user_files(prefix):
    """Every file under the prefix's user folders, with size and time."""
    root = os.path.join(prefix, "drive_c", "users")
    found = {}
    for path in (os.path.join(d, f) for d, _, files in os.walk(root) for f in files):
        try:
            found[os.path.relpath(path, root)] = (os.lstat(path).st_size, os.lstat(path).st_mtime)
        except OSError:
            pass
    return found


def run_probe(command, url, env):
    # Output to files, not pipes: a process that Wine starts for the probe
    # (its desktop's explorer.exe) keeps the probe's output open for as long
    # as it lives, and a pipe would be read until then.
    with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
        status = subprocess.run(command + [url, str(REPEAT)], stdout=stdout, stderr=stderr,
                                env=env, timeout=120).returncode
        stdout.seek(0)
        stderr.seek(0)
        text, err = (f.read().decode("utf-8", "replace") for f in (stdout, stderr))
    exchanges = [(int(code, 16), int(ms), date.rstrip("\r"))
                 for code, ms, date in re.findall(r"exchange \d+ code=0x([0-9A-F]+) ms=(\d+) "
                                                  r"date=([^\n]*)", text)]
    res = re.search(r"resources first=(\d+) last=(\d+) threads before=(\d+) last=(\d+)", text)
    return status, exchanges, (tuple(map(int, res.groups())) if res else None), err


def run_row(row, command, env):
    servers = row.make()
    start = time.monotonic()
    try:
        main = servers.get("main")
        url = row.url() if callable(row.url) else \
            row.url.format(url=main and main.url, port=main and main.port)
        status, exchanges, resources, err = run_probe(command, url, env)
        time.sleep(0.3)  # the servers' threads log what arrived last
        problems = []
        if status != 0 or len(exchanges) != REPEAT:
            problems.append("probe ended with status %d after %d exchange(s): %s"
                            % (status, len(exchanges), err.strip()[-300:]))
        for i, (code, ms, date) in enumerate(exchanges, 1):
            if (code, date) != (row.code, row.date):
                problems.append("exchange %d: %s, Date %r (expected %s, Date %r)"
                                % (i, CODE_NAMES.get(code, "0x%08X" % code), date,
                                   CODE_NAMES[row.code], row.date))
            if not row.least <= ms <= row.bound:
                problems.append("exchange %d took %d ms (bound %d-%d)"
                                % (i, ms, row.least, row.bound))
        if getattr(row, "outlives", False):
            pass  # a known gap: what outlives the exchange is that gap's
        elif resources is None:
            problems.append("the probe did not count its handles and threads")
        elif resources[1] > resources[0] or resources[3] > resources[2]:
            problems.append("open handles/files grew from %d to %d, threads from %d to %d"
                            % resources)
        if main is not None and row.requests == 0 and main.connections:
            problems.append("%d connection(s) reached the server" % main.connections)
        if main is not None and row.requests == REPEAT:
            heads = main.requests
            if len(heads) != REPEAT:
                problems.append("%d request(s) reached the server, not one per exchange"
                                % len(heads))
            for h in heads:
                first = h.split("\r\n", 1)[0]
                if not first.startswith("POST /"):
                    problems.append("request line %r" % first)
                if re.search(r"(?im)^content-length:\s*[1-9]", h):
                    problems.append("a request body was announced")
        if row.check:
            problems += row.check(servers)
        return url, exchanges, problems, time.monotonic() - start
    finally:
        for s in servers.values():
            s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("command", nargs="+")
    ap.add_argument("--wine-prefix")
    ap.add_argument("--only", action="append", default=[], help="rows whose name contains this")
    ap.add_argument("--jobs", type=int, default=0)
    args = ap.parse_args()
    try:
        return run_table(args)
    finally:
        # The prefix's server ends with the table, whatever happened, in the
        # process that ran the table (not the one that made the namespace).
        ran_here = bool(os.environ.get(IN_NAMESPACE)) or os.geteuid() != 0
        if args.wine_prefix and ran_here:
            subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL,
                           env=dict(os.environ, WINEPREFIX=os.path.abspath(args.wine_prefix)))


def run_table(args):
    if os.geteuid() == 0 and not os.environ.get(IN_NAMESPACE):
        return enter_namespace(sys.argv[1:])
    in_netns = bool(os.environ.get(IN_NAMESPACE))
    if in_netns:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        # This namespace's own hosts file, with a name in Chinese in its ASCII form.
        hosts = tempfile.NamedTemporaryFile("w", prefix="hostile-hosts-", delete=False)
        hosts.write("127.0.0.1 localhost\n::1 localhost\n127.0.0.1 %s\n" % IDN_ASCII)
        hosts.close()
        subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], check=True)

    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY") and not k.lower().endswith("_proxy")}
    home = tempfile.mkdtemp(prefix="hostile-home-")
    if not args.wine_prefix:
        env["HOME"] = home

    rows = [r for r in ROWS if not args.only or any(o in r.name for o in args.only)]
    if args.wine_prefix:
        for r in [r for r in rows if r.wine and r.wine[0] is None]:
            print("SKIP %s: a known gap of Wine's WinHTTP: it %s" % (r.name, r.wine[2]))
        rows = [r.under_wine() if r.wine else r for r in rows
                if not r.wine or r.wine[0] is not None]
    skipped = [r for r in rows if r.netns and not in_netns]
    rows = [r for r in rows if r not in skipped]
    for r in skipped:
        print("SKIP %s: needs a network namespace of its own (run as root)" % r.name)

    # Anything that knocks at the default port of http is a failure of some row.
    sentinel = Server(then_silence(b""), port=80) if in_netns else None

    before_files = None
    if args.wine_prefix:
        prefix = os.path.abspath(args.wine_prefix)
        env["WINEPREFIX"] = prefix
        # The prefix's server must be this namespace's: end one from elsewhere.
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL, timeout=30)
        # A first run makes the prefix and its server and contacts nothing.
        status, exchanges, _, err = run_probe(args.command, PROMPT, env)
        if status != 0 or not exchanges:
            print("FAIL the probe does not run under Wine: %s" % err[-500:])
            return 1
        pids = wineserver_pids(prefix)
        mine = os.readlink("/proc/self/ns/net")
        theirs = {pid: os.readlink("/proc/%d/ns/net" % pid) for pid in pids}
        if not pids or any(ns != mine for ns in theirs.values()):
            print("FAIL the Wine server of %s is not in this network namespace (%s vs %s)"
                  % (prefix, theirs, mine))
            return 1
        print("Wine server %s runs in this test's network namespace %s" % (pids, mine))
        before_files = user_files(prefix)

    # The rows that wait longest go first; the others fill the time meanwhile.
    order = sorted(rows, key=lambda r: -r.bound)
    jobs = args.jobs or (10 if args.wine_prefix else len(order))
    started = time.monotonic()
    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = {pool.submit(run_row, r, args.command, env): r for r in order}
        for future in concurrent.futures.as_completed(futures):
            r = futures[future]
            try:
                results[r.name] = future.result()
            except Exception as e:  # a row's own failure, reported like any other
                results[r.name] = ("", [], ["driver: %r" % e], 0)
    elapsed = time.monotonic() - started

    failures = 0
    for r in rows:
        url, exchanges, problems, took = results[r.name]
        got = "; ".join("%s%s (%d)" % (CODE_NAMES.get(c, "0x%08X" % c),
                                       ", Date %s" % d if d else "", ms)
                        for c, ms, d in exchanges)
        failures += bool(problems)
        print("%s %s (%.1f s)\n     url %r, got %s" % ("PASS" if not problems else "FAIL", r.name,
                                                       took, url, got))
        if getattr(r, "why", None):
            print("     known gap of Wine's WinHTTP: it " + r.why)
        for p in problems:
            print("     - " + p)

    extra = []
    if sentinel is not None:
        if sentinel.connections:
            extra.append("%d connection(s) reached 127.0.0.1:80" % sentinel.connections)
        sentinel.close()
    if before_files is not None:
        after = user_files(env["WINEPREFIX"])
        changed = sorted(p for p, v in after.items() if before_files.get(p) != v)
        if changed:
            extra.append("written to the prefix's user folders: %s" % changed[:10])
    else:
        left = [os.path.join(d, f) for d, _, fs in os.walk(home) for f in fs]
        if left:
            extra.append("written to HOME: %s" % left[:10])
    for e in extra:
        print("FAIL " + e)
    failures += len(extra)
    print("\n%d of %d rows passed%s in %.1f s" % (len(rows) - failures + len(extra), len(rows),
                                                  ", %d skipped" % len(skipped) if skipped else "",
                                                  elapsed))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
