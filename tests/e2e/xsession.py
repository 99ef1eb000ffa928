# SPDX-License-Identifier: MIT
"""A private X display with a window manager, and the means to look at it:
screenshots as RGB pixel buffers, colour masks, OCR of cropped regions, and
one region's pixels read fast enough to time its changes. Also a private
Wayland session under sway or weston, headless, with screenshots and keys.

Only the Python standard library (ctypes for libX11) and Debian's xvfb,
openbox, xdotool, x11-utils, imagemagick and tesseract-ocr are used; for
Wayland sway, grim, wtype and weston.
"""

import ctypes
import ctypes.util
import glob
import json
import os
import pwd
import random
import re
import shutil
import signal
import subprocess
import tempfile
import time


class Failure(Exception):
    pass


def poll(what, predicate, timeout, interval=0.05):
    """Returns the first truthy value of predicate() before the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def need(*programs):
    missing = [p for p in programs if shutil.which(p) is None]
    if missing:
        raise Failure("missing programs: " + " ".join(missing) +
                      " (scripts/setup test installs them)")


class Image:
    """A screenshot as packed 8-bit RGB."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @classmethod
    def from_ppm(cls, data):
        # P6 header: magic, width, height, maxval, whitespace or comments between.
        gap = rb"(?:\s|#[^\n]*\n)+"
        m = re.match(rb"P6" + gap + rb"(\d+)" + gap + rb"(\d+)" + gap + rb"255\s", data)
        if not m:
            raise Failure("unexpected screenshot format %r" % data[:20])
        w, h = int(m.group(1)), int(m.group(2))
        return cls(w, h, data[m.end():m.end() + 3 * w * h])

    def crop(self, box):
        x0, y0, x1, y1 = box
        x0, y0 = max(0, x0), max(0, y0)
        x1, y1 = min(self.width, x1), min(self.height, y1)
        rows = [self.rgb[3 * (y * self.width + x0):3 * (y * self.width + x1)]
                for y in range(y0, y1)]
        return Image(x1 - x0, y1 - y0, b"".join(rows))

    def mask(self, colour, tolerance=0):
        """One byte per pixel, 1 where every channel is within tolerance."""
        acc = None
        for channel, value in enumerate(colour):
            table = bytes(1 if abs(i - value) <= tolerance else 0 for i in range(256))
            bits = int.from_bytes(self.rgb[channel::3].translate(table), "big")
            acc = bits if acc is None else acc & bits
        return Mask(self.width, self.height,
                    acc.to_bytes(self.width * self.height, "big"))

    def save_ppm(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height))
            f.write(self.rgb)


class Mask:
    def __init__(self, width, height, bits):
        self.width, self.height, self.bits = width, height, bits

    def count(self):
        return self.bits.count(1)

    def bbox(self, region=None):
        """Bounding box (x0, y0, x1, y1) of the set pixels, or None."""
        x0, y0, x1, y1 = region or (0, 0, self.width, self.height)
        left, right, top, bottom = None, None, None, None
        for y in range(y0, y1):
            start = y * self.width
            first = self.bits.find(1, start + x0, start + x1)
            if first < 0:
                continue
            last = self.bits.rfind(1, start + x0, start + x1)
            left = first - start if left is None else min(left, first - start)
            right = last - start if right is None else max(right, last - start)
            top = y if top is None else top
            bottom = y
        if top is None:
            return None
        return (left, top, right + 1, bottom + 1)

    def count_in(self, box):
        x0, y0, x1, y1 = box
        return sum(self.bits.count(1, y * self.width + x0, y * self.width + x1)
                   for y in range(max(0, y0), min(self.height, y1)))

    def ink_runs(self, box):
        """[(x0, x1)] of the column runs inside box that hold set pixels."""
        x0, y0, x1, y1 = box
        inked = bytearray(x1 - x0)
        for y in range(y0, y1):
            row = self.bits[y * self.width + x0:y * self.width + x1]
            inked = bytearray(a | b for a, b in zip(inked, row)) if row.count(1) else inked
        runs, start = [], None
        for i, v in enumerate(inked + b"\x00"):
            if v and start is None:
                start = i
            elif not v and start is not None:
                runs.append((x0 + start, x0 + i))
                start = None
        return runs

    def to_pgm(self, path, box, pad=20):
        """Writes the box as black glyphs on white with a margin, for OCR."""
        x0, y0, x1, y1 = box
        w = x1 - x0 + 2 * pad
        lines = [b"\xff" * w] * pad
        ink = bytes(255 - 255 * i for i in range(2)) + b"\x00" * 254
        for y in range(y0, y1):
            row = self.bits[y * self.width + x0:y * self.width + x1]
            lines.append(b"\xff" * pad + row.translate(ink) + b"\xff" * pad)
        lines += [b"\xff" * w] * pad
        with open(path, "wb") as f:
            f.write(b"P5\n%d %d\n255\n" % (w, len(lines)))
            f.write(b"".join(lines))


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, as far as bytes_per_line.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int)]


class RegionReader:
    """The pixels of one rectangle of the screen, read straight from the X
    server in a millisecond or so, where a screenshot takes a tenth of a
    second: fast enough to time each change of a display."""

    def __init__(self, display, box):
        self.box = box
        x = self._x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x.XOpenDisplay.restype, x.XOpenDisplay.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._dpy = x.XOpenDisplay(display.encode())
        if not self._dpy:
            raise Failure("cannot open display %s" % display)
        self._root = x.XDefaultRootWindow(self._dpy)

    def read(self):
        x0, y0, x1, y1 = self.box
        all_planes, z_pixmap = (1 << 64) - 1, 2
        image = self._x.XGetImage(self._dpy, self._root, x0, y0, x1 - x0, y1 - y0,
                                  all_planes, z_pixmap)
        if not image:
            raise Failure("could not read the screen at %r" % (self.box,))
        try:
            return ctypes.string_at(image.contents.data,
                                    image.contents.bytes_per_line * image.contents.height)
        finally:
            self._x.XDestroyImage(image)

    def changes(self, seconds, interval=0.003, settle=0.1, first=False, stop=None):
        """Times (time.time()) at which the region changed during the next
        `seconds` or until the event `stop`; changes within `settle` of the
        one before are one change drawn in parts. With `first`, the first
        change alone, which must come."""
        times, last = [], self.read()
        deadline = time.time() + seconds
        while time.time() < deadline and not (first and times) and not (stop and stop.is_set()):
            time.sleep(interval)
            now = self.read()
            if now != last:
                t = time.time()
                if not times or t - times[-1] > settle:
                    times.append(t)
                last = now
        if first and not times:
            raise Failure("the screen at %r did not change within %.0f s" % (self.box, seconds))
        return times

    def close(self):
        if self._dpy:
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class _Session:
    """What a virtual display of either kind shares: programs started in its
    environment, looked at by screenshot. The kind gives env(), _start() and
    _grab(), the screen as PPM bytes."""

    def __init__(self, width, height, workdir, kind):
        self.width, self.height = width, height
        self.workdir = workdir or tempfile.mkdtemp(prefix="clock-%s-" % kind)
        self.procs = []

    def __enter__(self):
        self._start()
        return self

    def __exit__(self, *exc):
        self.close()

    def spawn(self, argv, **extra_env):
        log = open(os.path.join(self.workdir, os.path.basename(argv[0]) + ".log"), "ab")
        p = subprocess.Popen(argv, env=self.env(**extra_env), stdout=log,
                             stderr=subprocess.STDOUT, start_new_session=True)
        self.procs.append(p)
        return p

    def run(self, argv, check=False):
        r = subprocess.run(argv, env=self.env(), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=30)
        if check and r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(argv), r.stderr.decode(errors="replace")))
        return r.stdout.decode(errors="replace")

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait()
        self.procs = []

    def find_window(self, title_prefix, pid=None):
        return next((w for w, t in self.visible_windows(pid).items()
                     if t.startswith(title_prefix)), None)

    def screenshot(self, save_as=None):
        img = Image.from_ppm(self._grab())
        if save_as:
            img.save_ppm(os.path.join(self.workdir, save_as))
        return img

    def _pipe(self, argv, **kw):
        return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              check=True, timeout=30, **kw).stdout


class XSession(_Session):
    """Xvfb at the given size plus openbox, on a display number nobody uses."""

    def __init__(self, width, height, workdir=None):
        need("Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import", "tesseract")
        super().__init__(width, height, workdir, "x")
        self.display = None
        self.server = None  # the Xvfb process, once it answers

    def env(self, **extra):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra)
        return env

    def _start(self):
        # Parallel runs pick different numbers; the lock file settles any race.
        candidates = list(range(100, 400))
        random.shuffle(candidates)
        for n in candidates:
            if os.path.exists("/tmp/.X%d-lock" % n) or \
                    os.path.exists("/tmp/.X11-unix/X%d" % n):
                continue
            p = subprocess.Popen(
                ["Xvfb", ":%d" % n, "-screen", "0", "%dx%dx24" % (self.width, self.height),
                 "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
            self.display = ":%d" % n
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and p.poll() is None:
                if subprocess.run(["xprop", "-root", "-display", self.display, "_XKB_RULES_NAMES"],
                                  stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0:
                    self.procs.append(p)
                    self.server = p
                    self.spawn(["openbox", "--config-file", "/etc/xdg/openbox/rc.xml"])
                    poll("openbox to manage the display", lambda: "window id" in self.run(
                        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]), timeout=15)
                    self._wait_for_window_manager()
                    return
                time.sleep(0.05)
            p.kill()
            p.wait()
        raise Failure("could not start Xvfb on any display from :100 to :399")

    def _wait_for_window_manager(self):
        # Openbox names itself on the root before its start-up is over, and a
        # window mapped in between is never managed: it stays unmapped. So
        # a probe window must come up first; one that does not is tried again.
        for _ in range(10):
            probe = self.spawn(["xmessage", "-name", "wm-probe", "-title", "wm-probe", "probe"])
            try:
                poll("a probe window", lambda: self.find_window("wm-probe"), timeout=3)
                return
            except Failure:
                pass
            finally:
                probe.kill()
                probe.wait()
        raise Failure("openbox maps no window")

    # --- X queries -------------------------------------------------------

    def xdotool(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args], check=True)

    def visible_windows(self, pid=None):
        """{window id: title} of the mapped top-level windows (of pid)."""
        args = ["xdotool", "search", "--onlyvisible"]
        if pid is not None:
            args += ["--pid", str(pid)]
        return {int(w): self.run(["xdotool", "getwindowname", w]).rstrip("\n")
                for w in self.run(args + ["--name", ""]).split()}

    def geometry(self, wid):
        info = self.run(["xwininfo", "-id", str(wid)])
        get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        return (get("Absolute upper-left X"), get("Absolute upper-left Y"),
                get("Width"), get("Height"))

    def outer_geometry(self, wid):
        """(x, y, width, height) of the window with the window manager's
        frame, or None before the window manager has framed it."""
        out = self.run(["xprop", "-id", str(wid), "_NET_FRAME_EXTENTS"])
        m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", out)
        if not m:
            return None
        left, right, top, bottom = map(int, m.groups())
        x, y, w, h = self.geometry(wid)
        return (x - left, y - top, w + left + right, h + top + bottom)

    def _grab(self):
        return self._pipe(["import", "-display", self.display, "-window", "root", "-depth", "8",
                           "ppm:-"])

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", int(x), int(y), "click", 1)


class WaylandSession(_Session):
    """A headless Wayland compositor in a runtime directory of its own, so
    parallel runs never meet. Subclasses start the compositor."""

    def __init__(self, width, height, workdir=None):
        super().__init__(width, height, workdir, "wl")
        self.runtime = tempfile.mkdtemp(prefix="clock-wl-run-")
        self.socket = None
        self.display = self.runtime

    def env(self, **extra):
        env = dict(os.environ)
        for name in ("DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        env.update(XDG_RUNTIME_DIR=self.runtime, XDG_SESSION_TYPE="wayland")
        if self.socket:
            env["WAYLAND_DISPLAY"] = self.socket
        env.update(extra)
        return env

    def _wait_for_socket(self, compositor):
        def socket():
            if compositor.poll() is not None:
                raise Failure("%s ended with status %d (log in %s)"
                              % (compositor.args[0], compositor.returncode, self.workdir))
            names = [os.path.basename(p) for p in glob.glob(os.path.join(self.runtime, "w*"))
                     if not p.endswith(".lock")]
            return names[0] if names else None
        self.socket = poll("the compositor's Wayland socket", socket, timeout=15)

    def close(self):
        super().close()
        shutil.rmtree(self.runtime, ignore_errors=True)


class SwaySession(WaylandSession):
    """sway on its headless back end with the pixman renderer, one output of
    the given size. sway refuses to run as root: it runs as the unprivileged
    user that scripts/setup creates, in a runtime directory lent to it. Keys
    come from wtype's virtual keyboard, screenshots from grim; the headless
    seat has no pointer."""

    USER = "clockdesk"

    def __init__(self, width, height, workdir=None):
        need("sway", "swaymsg", "grim", "wtype", "setpriv", "tesseract")
        super().__init__(width, height, workdir)
        try:
            self.user = pwd.getpwnam(self.USER)
        except KeyError:
            raise Failure("no user %s to run sway (scripts/setup test creates it)" % self.USER)

    def _start(self):
        os.chown(self.runtime, self.user.pw_uid, self.user.pw_gid)
        os.chmod(self.runtime, 0o700)
        config = os.path.join(self.runtime, "config")
        with open(config, "w") as f:
            f.write("output * resolution %dx%d\nxwayland disable\n" % (self.width, self.height))
        sway = self.spawn(["setpriv", "--reuid", str(self.user.pw_uid), "--regid",
                           str(self.user.pw_gid), "--clear-groups", "sway", "-c", config],
                          HOME=self.runtime, WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                          WLR_LIBINPUT_NO_DEVICES="1")
        self._wait_for_socket(sway)
        self.ipc = poll("sway's IPC socket",
                        lambda: next(iter(glob.glob(os.path.join(self.runtime, "sway-ipc.*"))),
                                     None), timeout=10)
        poll("sway's output at %dx%d" % (self.width, self.height),
             lambda: self.output_rect() == (0, 0, self.width, self.height), timeout=10)

    def env(self, **extra):
        env = super().env(**extra)
        if getattr(self, "ipc", None):
            env["SWAYSOCK"] = self.ipc
        return env

    def swaymsg(self, *args):
        return self.run(["swaymsg"] + list(args), check=True)

    def output_rect(self, output=None):
        """The output's (x, y, width, height); the first one if none is named."""
        out = json.loads(self.run(["swaymsg", "-r", "-t", "get_outputs"]) or "[]")
        out = [o for o in out if output is None or o["name"] == output]
        if not out:
            return None
        r = out[0]["rect"]
        return (r["x"], r["y"], r["width"], r["height"])

    def views(self, pid=None):
        """[(view node, output name)] of the tree's windows (of pid)."""
        found = []

        def walk(node, output):
            if node.get("type") == "output":
                output = node["name"]
            if node.get("pid") and (pid is None or node["pid"] == pid):
                found.append((node, output))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child, output)
        walk(json.loads(self.swaymsg("-r", "-t", "get_tree")), None)
        return found

    def visible_windows(self, pid=None):
        return {v["id"]: v.get("name") or "" for v, _ in self.views(pid) if v.get("visible")}

    def geometry(self, wid):
        """(x, y, width, height) of the window's own surface on the screen."""
        v = next(v for v, _ in self.views() if v["id"] == wid)
        r, w = v["rect"], v["window_rect"]
        return (r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"])

    def _grab(self):
        return self._pipe(["grim", "-t", "ppm", "-"], env=self.env())

    def activate(self, wid):
        self.swaymsg("[con_id=%d] focus" % wid)

    def key(self, *names):
        # A client that has just been handed the virtual keyboard's keymap
        # drops a key that follows at once: wtype waits first.
        args = ["wtype", "-s", "300"]
        for name in names:
            args += ["-k", name]
        self.run(args, check=True)

    def close_window(self, wid):
        """The compositor's close, as its kill binding sends it."""
        self.swaymsg("[con_id=%d] kill" % wid)


class WestonSession(WaylandSession):
    """weston on its headless back end with the pixman renderer and the
    desktop shell, run as root. --debug lets weston-screenshooter take
    screenshots; weston has no way to inject input."""

    def __init__(self, width, height, workdir=None):
        need("weston", "weston-screenshooter", "tesseract", "convert")
        super().__init__(width, height, workdir)

    def _start(self):
        weston = self.spawn(["weston", "--backend=headless-backend.so", "--use-pixman",
                             "--width=%d" % self.width, "--height=%d" % self.height,
                             "--socket=wayland-clock", "--debug", "--idle-time=0"])
        self._wait_for_socket(weston)
        poll("weston's first screenshot", self._try_grab, timeout=15)

    def _try_grab(self):
        shots = os.path.join(self.runtime, "shots")
        os.makedirs(shots, exist_ok=True)
        for old in glob.glob(os.path.join(shots, "*.png")):
            os.remove(old)
        r = subprocess.run(["weston-screenshooter"], env=self.env(), cwd=shots,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        files = glob.glob(os.path.join(shots, "*.png"))
        if r.returncode != 0 or not files:
            return None
        return self._pipe(["convert", files[0], "-depth", "8", "ppm:-"])

    def _grab(self):
        data = self._try_grab()
        if data is None:
            raise Failure("weston-screenshooter took no screenshot")
        return data


def ocr(image_path, lang="eng", psm=7, whitelist=None, tsv=False):
    args = ["tesseract", image_path, "-", "-l", lang, "--psm", str(psm)]
    if whitelist:
        args += ["-c", "tessedit_char_whitelist=" + whitelist]
    if tsv:
        args.append("tsv")
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    return r.stdout.decode(errors="replace")


def ocr_lines(image_path, lang="chi_sim", psm=11):
    """[(text, (x0, y0, x1, y1))] of the text lines tesseract finds."""
    lines = {}
    for row in ocr(image_path, lang=lang, psm=psm, tsv=True).splitlines()[1:]:
        cols = row.split("\t")
        if len(cols) != 12 or not cols[11].strip():
            continue
        key = tuple(cols[1:5])  # page, block, paragraph, line
        x, y, w, h = map(int, cols[6:10])
        text, box = lines.get(key, ("", None))
        box = (x, y, x + w, y + h) if box is None else \
            (min(box[0], x), min(box[1], y), max(box[2], x + w), max(box[3], y + h))
        lines[key] = (text + cols[11].strip(), box)
    return list(lines.values())


def squeeze(text):
    return re.sub(r"\s+", "", text)


def ocr_digits(mask, box, path, whitelist="0123456789", sizes=((100, 7), (160, 8))):
    """The readings of the digits in the mask's box, one per glyph height:
    tesseract misreads the odd big serif digit at one size but hardly ever
    the same way at each. A size it reads nothing at gives no reading: an
    empty one would match every other empty one, so a display that moved
    on would seem not to have."""
    mask.to_pgm(path, box, pad=(box[3] - box[1]) // 3)
    readings = []
    for height, psm in sizes:
        scaled = "%s-%d.pgm" % (path, height)
        subprocess.run(["convert", path, "-resize", "x%d" % height, "-threshold", "50%",
                        scaled], check=True)
        reading = squeeze(ocr(scaled, psm=psm, whitelist=whitelist))
        if reading:
            readings.append(reading)
    return readings
