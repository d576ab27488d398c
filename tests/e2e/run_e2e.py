#!/usr/bin/env python3
"""Whole-application run of Quadrivue.exe under Wine on a two-screen Xvfb.

The application is watched from outside: its windows, z-order and tray icon
through qv_e2e_probe.exe, the screen through xwd on the X side, the expected
pixels through quadrivue-cli.exe render/load. One start walks most of the
checks; the empty file list and the soak need starts of their own, and so do
the dialogs: a fresh installation whose settings dialog, folder chooser, about
box and links are driven by control id, their results checked in the data
files against what quadrivue-cli.exe writes.

Usage: run_e2e.py --bin-dir DIR --probe EXE [--artifacts DIR] [--keep] [--idle-cpu]
                  [--only WORD] [--screenshots DIR]
Prints one PASS/FAIL line per check and exits 1 when any check failed.
--screenshots DIR only saves the dialogs as PNGs for the README.
"""

import argparse
import glob
import os
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
XVFB_SCRIPT = os.path.join(HERE, "..", "..", "tools", "xvfb.sh")

SHOW_W, SHOW_H = 800, 600                # the second monitor, where the automatic choice lands
WS_POPUP, WS_VISIBLE, WS_CAPTION = 0x80000000, 0x10000000, 0x00C00000
WM_CLOSE, WM_COMMAND, WM_LBUTTONDOWN = 0x0010, 0x0111, 0x0201
ID_NEXT_PICTURE, ID_EXIT, ID_PAUSE_SHOW = 32773, 57665, 32774
WM_DISPLAYCHANGE, WM_SETTINGCHANGE, SPI_SETWORKAREA = 0x007E, 0x001A, 47
TRAY_CALLBACK, TRAY_ICON_ID = 0x040A, 131
COVER_RECT = (450, 300, 300, 250)        # x y w h: lower right, clear of the path text at the top left
COVER_RGB = (0x00, 0x80, 0xFF)
PATH_TEXT_RGB = (255, 255, 224)
REGISTRY_KEY = r"HKCU\Software\Quadrivue\Quadrivue\Settings"
SERVER_LINGER = 30                       # seconds the Wine server outlives its last process, should we die


class Failure(Exception):
    pass


def wait_for(what, poll, timeout, interval=0.15):
    """Calls poll until it returns something true; Failure after timeout seconds."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = poll()
        if last:
            return last
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def holds(what, poll, seconds, interval=0.15):
    """Polls for seconds; Failure at the first poll that returns a complaint (a non-empty string)."""
    deadline = time.monotonic() + seconds
    while True:
        complaint = poll()
        if complaint:
            raise Failure(f"{what}: {complaint}")
        if time.monotonic() > deadline:
            return
        time.sleep(interval)


def winpath(path):
    """The Wine path of a Linux path; a path already in Windows form ("C:\\...") as it is."""
    if len(path) > 2 and path[1] == ":" and path[2] == "\\":
        return path
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---------------------------------------------------------------- pictures

def pattern_rows(w, h, seed):
    """Rows of RGB bytes: smooth ramps in red and green, fine detail in blue, so a
    scale or offset off by one pixel changes the picture."""
    for y in range(h):
        g = (y * 255 // max(h - 1, 1) + seed * 37) & 255
        yield bytes(v for x in range(w) for v in (
            (x * 255 // max(w - 1, 1) + seed * 71) & 255, g, ((x ^ y) * 5 + seed * 13) & 255))


def write_bmp(path, w, h, seed):
    stride = (w * 3 + 3) & ~3
    rows = list(pattern_rows(w, h, seed))
    pixels = bytearray()
    for r in reversed(rows):  # bottom row first, BGR, rows padded to four bytes
        line = bytearray(stride)
        line[0:w * 3:3], line[1:w * 3:3], line[2:w * 3:3] = r[2::3], r[1::3], r[0::3]
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def png_bytes(w, h, rows):
    """An 8-bit RGB PNG of rows (RGB bytes each)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_png_screen(s, path, w=1024, h=768):
    """The screen's top-left w x h pixels as a PNG."""
    grab = s.screen((0, 0, w, h))
    with open(path, "wb") as f:
        f.write(png_bytes(w, h, (grab[y * w * 3:(y + 1) * w * 3] for y in range(h))))


def write_png(path, w, h, seed):
    with open(path, "wb") as f:
        f.write(png_bytes(w, h, pattern_rows(w, h, seed)))


def write_junk(path, size, seed):
    with open(path, "wb") as f:
        f.write(bytes((i * 131 + seed * 7) & 255 for i in range(size)))


def write_truncated_png(path, seed):
    write_png(path, 320, 240, seed)
    with open(path, "r+b") as f:
        f.truncate(200)


def write_big_jpeg(path, w, h, seed):
    """A JPEG (quality 90) through netpbm's encoder: ramps, rows made by translating one row."""
    base = bytes(v for x in range(w) for v in ((x * 255 // (w - 1)) & 255, (x * 7 + seed) & 255, (x ^ seed) & 255))
    ppm = path + ".ppm"
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        for y in range(h):
            shift = (y * 255 // (h - 1)) & 255
            f.write(base.translate(bytes((v + shift) & 255 for v in range(256))))
    with open(path, "wb") as out:
        subprocess.run(["pnmtojpeg", "-quality=90", ppm], stdout=out, stderr=subprocess.DEVNULL, check=True)
    os.remove(ppm)


WRITERS = {"bmp": write_bmp, "png": write_png, "jpeg": write_big_jpeg}


# ---------------------------------------------------------------- screen and PPM

def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure(f"{path}: not an 8-bit P6 picture")
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos + 1:pos + 1 + w * h * 3]


def write_ppm(path, w, h, rgb):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(rgb))


def xwd_region(data, x, y, w, h):
    """RGB bytes of a rectangle of an XWD dump of a 24-bit TrueColor screen (24 or 32 bits a pixel)."""
    hdr = struct.unpack(">25I", data[:100])
    header_size, fmt, depth = hdr[0], hdr[2], hdr[3]
    width, height, byte_order, bpp, stride = hdr[4], hdr[5], hdr[7], hdr[11], hdr[12]
    masks, ncolors = hdr[14:17], hdr[19]
    if fmt != 2 or depth != 24 or bpp not in (24, 32) or masks != (0xFF0000, 0xFF00, 0xFF):
        raise Failure(f"unexpected screen format depth {depth} bpp {bpp} masks {masks}")
    if x + w > width or y + h > height:
        raise Failure(f"region {x},{y} {w}x{h} outside the screen {width}x{height}")
    step = bpp // 8
    base = header_size + ncolors * 12
    # Byte offsets of red, green and blue inside one pixel.
    r_at, g_at, b_at = (2, 1, 0) if byte_order == 0 else (step - 3, step - 2, step - 1)
    out = bytearray(w * h * 3)
    for row in range(h):
        start = base + (y + row) * stride + x * step
        line = data[start:start + w * step]
        o = row * w * 3
        out[o:o + w * 3:3] = line[r_at::step]
        out[o + 1:o + w * 3:3] = line[g_at::step]
        out[o + 2:o + w * 3:3] = line[b_at::step]
    return bytes(out)


def fill_rect(rgb, w, rect, colour):
    out = bytearray(rgb)
    x, y, rw, rh = rect
    for row in range(y, y + rh):
        out[(row * w + x) * 3:(row * w + x + rw) * 3] = bytes(colour) * rw
    return bytes(out)


def describe_difference(got, want, w):
    n, first, box, worst = 0, None, [w, 10 ** 9, -1, -1], 0
    for i in range(0, len(want), 3):
        if got[i:i + 3] != want[i:i + 3]:
            n += 1
            px, py = (i // 3) % w, (i // 3) // w
            first = first or (px, py, tuple(got[i:i + 3]), tuple(want[i:i + 3]))
            box = [min(box[0], px), min(box[1], py), max(box[2], px), max(box[3], py)]
            worst = max(worst, *(abs(a - b) for a, b in zip(got[i:i + 3], want[i:i + 3])))
    return (f"{n} pixels differ in ({box[0]},{box[1]})-({box[2]},{box[3]}), largest channel step {worst}, "
            f"first at {first[:2]}: screen {first[2]} expected {first[3]}")


# ---------------------------------------------------------------- the session

class Session:
    """One Xvfb, one fresh Wine prefix, the tools, and every process started here."""

    def __init__(self, args):
        self.artifacts = args.artifacts
        self.keep = args.keep
        # The second screen, the one the show takes, as large as a common desktop monitor for the fade's cost.
        self.screens = ["1024x768x24", "1920x1080x24"] if getattr(args, "fade_cpu", False) else []
        self.work = tempfile.mkdtemp(prefix="qv-e2e-")
        # A copy of what is checked, so that a rebuild during the run does not change it.
        self.bin_dir = os.path.join(self.work, "bin")
        os.makedirs(self.bin_dir)
        for name in ("Quadrivue.exe", "quadrivue-cli.exe", "help.png"):
            if os.path.exists(os.path.join(args.bin_dir, name)):
                shutil.copy(os.path.join(args.bin_dir, name), self.bin_dir)
        self.probe_exe = shutil.copy(args.probe, self.bin_dir)
        self.prefix = os.path.join(self.work, "prefix")
        self.xvfb_pid = None
        self.children = []
        self.results = []

    # -- set-up and clean-up

    def start(self):
        out = subprocess.run(["bash", XVFB_SCRIPT, *self.screens], capture_output=True, text=True, timeout=30,
                             check=True).stdout
        display, pid = out.split()
        self.xvfb_pid = int(pid)
        os.makedirs(self.prefix)
        self.env = dict(os.environ, DISPLAY=display, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        t0 = time.monotonic()
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120, check=True)
        # The fresh prefix goes on setting itself up after wineboot returns: let it finish and
        # the server end, then keep a persistent server so every later Wine start is quick.
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        t1 = time.monotonic()
        subprocess.run(["wineserver", f"-p{SERVER_LINGER}"], env=self.env, check=True, timeout=30)
        self.probe("windows")
        self.figure(f"display {display}, prefix made in {t1 - t0:.1f} s, desktop up in {time.monotonic() - t1:.1f} s")

    def close(self):
        for proc in self.children:
            if proc.poll() is None:
                proc.kill()
                proc.wait(timeout=10)
        if self.xvfb_pid:
            for step in (["wineserver", "-k"], ["wineserver", "-w"]):
                try:
                    subprocess.run(step, env=self.env, timeout=30)
                except subprocess.TimeoutExpired:
                    print(f"INFO {' '.join(step)} timed out", flush=True)
            os.kill(self.xvfb_pid, signal.SIGTERM)
            try:
                wait_for("Xvfb to end", lambda: not os.path.exists(f"/proc/{self.xvfb_pid}/exe"), 10)
            except Failure as e:
                print(f"INFO {e}", flush=True)
        if self.keep:
            print(f"kept {self.work}")
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    # -- results

    def record(self, name, ok, detail=""):
        self.results.append(ok)
        print(f"{'PASS' if ok else 'FAIL'} {name}{': ' + detail if detail else ''}", flush=True)

    def check(self, name, step):
        """Runs step(); a Failure it raises becomes a FAIL line. The step's return is the PASS detail."""
        t0 = time.monotonic()
        try:
            detail = step() or ""
            self.record(name, True, f"{detail} ({time.monotonic() - t0:.1f} s)".lstrip())
            return True
        except Failure as e:
            self.record(name, False, str(e))
        except Exception as e:  # a fault of the harness or a tool: reported, and the run goes on
            self.record(name, False, f"{type(e).__name__}: {e}")
        return False

    def figure(self, text):
        print(f"INFO {text}", flush=True)

    # -- tools

    def run(self, argv, timeout=60):
        """(exit code, standard output). Output goes through a file, not a pipe: Wine's helper
        processes that a start may launch (services, the desktop) inherit the descriptors and
        would hold a pipe open long after the program itself has ended."""
        with tempfile.TemporaryFile(mode="w+", dir=self.work) as out:
            proc = subprocess.run(argv, env=self.env, stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return proc.returncode, out.read()

    def cli(self, *args):
        rc, out = self.run(["wine", os.path.join(self.bin_dir, "quadrivue-cli.exe"), *args])
        if rc != 0:
            raise Failure(f"quadrivue-cli {' '.join(args)} exited {rc}: {out.strip()}")
        return out

    def probe(self, *args):
        """The probe's answer as a list of lines; [] when what it was asked about is not there."""
        rc, out = self.run(["wine", self.probe_exe, *map(str, args)], timeout=30)
        if rc == 2:
            raise Failure(f"probe usage error for {args}")
        return out.splitlines() if rc == 0 else []

    def windows(self):
        return [parse_window(line) for line in self.probe("windows")]

    def find(self, cls):
        lines = self.probe("find", cls)
        return parse_window(lines[0]) if lines else None

    def probe_result(self, *args):
        lines = self.probe(*args)
        if not lines:
            raise Failure(f"probe {' '.join(map(str, args))}: no answer")
        return int(lines[0].split()[1])

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, timeout=10)

    def screen(self, rect=(0, 0, SHOW_W, SHOW_H)):
        # A grab may fail while a window is being destroyed: the next one is taken.
        for attempt in range(3):
            grab = subprocess.run(["xwd", "-root", "-silent"], env=self.env, capture_output=True, timeout=20)
            if grab.returncode == 0 or attempt == 2:
                break
        grab.check_returncode()
        return xwd_region(grab.stdout, *rect)

    def save_mismatch(self, name, got, want, w, h):
        if not self.artifacts:
            return ""
        os.makedirs(self.artifacts, exist_ok=True)
        write_ppm(os.path.join(self.artifacts, f"{name}-screen.ppm"), w, h, got)
        write_ppm(os.path.join(self.artifacts, f"{name}-expected.ppm"), w, h, want)
        return f"; saved {name}-screen.ppm and {name}-expected.ppm in {self.artifacts}"

    def wait_screen(self, name, want, timeout=15):
        """Waits until the show's rectangle on screen is exactly want."""
        last = [None]

        def poll():
            last[0] = self.screen()
            return last[0] == want
        try:
            wait_for(name, poll, timeout, interval=0.1)
        except Failure as e:
            if last[0] is None:
                raise
            raise Failure(f"{e}: {describe_difference(last[0], want, SHOW_W)}"
                          f"{self.save_mismatch(name, last[0], want, SHOW_W, SHOW_H)}")

    def screen_complaint(self, name, want):
        got = self.screen()
        if got == want:
            return None
        return describe_difference(got, want, SHOW_W) + self.save_mismatch(name, got, want, SHOW_W, SHOW_H)


def parse_window(line):
    words = shlex.split(line)
    w = {"hwnd": int(words[1], 0)}
    i = 2
    while i < len(words):
        key = words[i]
        if key == "rect":
            w["rect"] = tuple(int(v) for v in words[i + 1:i + 5])
            i += 5
        elif key in ("class", "title"):
            w[key] = words[i + 1]
            i += 2
        else:
            w[key] = int(words[i + 1], 0)
            i += 2
    return w


# ---------------------------------------------------------------- the application

class App:
    """One start of Quadrivue.exe from a folder of its own with its data files
    (none when settings is None: the first start of a fresh installation)."""

    def __init__(self, s, name, settings, folders, help_png, cwd=None, index_folders=None, prepare=None):
        self.s = s
        self.dir = os.path.join(s.work, name)
        os.makedirs(self.dir)
        shutil.copy(os.path.join(s.bin_dir, "Quadrivue.exe"), self.dir)
        shutil.copy(help_png, os.path.join(self.dir, "help.png"))
        self.files = []
        if settings is not None:
            settings_file = winpath(os.path.join(self.dir, "settings.idx"))
            s.cli("settings", "set", settings_file, *settings, *(f"folder+={winpath(f)}" for f in folders))
            index = winpath(os.path.join(self.dir, "filelist.idx"))
            listed = folders if index_folders is None else index_folders
            s.cli("scan", "--no-subfolders", "--index", index, *(winpath(f) for f in listed))
            self.files = s.cli("list", "--index", index).splitlines()
        if prepare:
            prepare(self.dir)
        # The sequential position starts from the profile: every start begins from counter 0.
        rc, out = s.run(["wine", "reg", "add", REGISTRY_KEY, "/v", "Counter", "/t", "REG_DWORD", "/d", "0", "/f"])
        if rc != 0:
            raise Failure(f"reg add exited {rc}: {out.strip()}")
        # Beside the folder: the folder may be read-only.
        self.log = open(self.dir + "-wine.log", "w")
        self.t0 = time.monotonic()
        self.proc = subprocess.Popen(["wine", os.path.join(self.dir, "Quadrivue.exe")], env=s.env,
                                     stdout=self.log, stderr=subprocess.STDOUT, cwd=cwd or s.work)
        s.children.append(self.proc)

    def wait_started(self):
        """The show window, frame and tray; closes Wine's stand-in tray once the icon is in."""
        s = self.s

        def shown():
            w = s.find("QuadrivueShow")
            return w if w and w["visible"] else None
        self.show = wait_for("the show window", self.check_alive(shown), 40)
        self.started = time.monotonic() - self.t0
        self.pid = self.show["pid"]
        self.frame = s.find("QuadrivueFrame")
        self.tray = s.find("QuadrivueTray")
        if not self.frame or not self.tray:
            raise Failure(f"frame {self.frame} tray {self.tray}")
        wait_for("the tray icon", lambda: s.probe_result("tray-modify", self.tray["hwnd"],
                                                                       TRAY_ICON_ID) == 1, 10)
        # Wine's stand-in notification area sits at (0,0) over everything.
        wait_for("Wine's tray window closed", lambda: s.probe("close-wine-tray")[0] != "closed 0", 10)

    def check_alive(self, poll):
        def wrapped():
            if self.proc.poll() is not None:
                raise Failure(f"Quadrivue.exe ended with {self.proc.returncode}")
            return poll()
        return wrapped

    def command(self, cmd_id):
        if not getattr(self, "frame", None):
            raise Failure("no frame window to send the command to")
        self.s.probe("post", self.frame["hwnd"], WM_COMMAND, cmd_id, 0)

    def tray_press(self):
        self.s.probe_result("send", self.tray["hwnd"], TRAY_CALLBACK, TRAY_ICON_ID, WM_LBUTTONDOWN)

    def extra_windows(self):
        """Visible windows other than the show belonging to the app, and any dialog anywhere."""
        return [w for w in self.s.windows() if w["visible"] and w["hwnd"] != self.show["hwnd"] and
                (w["pid"] == self.pid or w["class"] == "#32770")]

    def no_extra_windows(self):
        extra = self.extra_windows()
        return f"unexpected windows {extra}" if extra else None

    def exit(self, timeout=15):
        """Exit from the frame's command; the process must end on its own."""
        self.command(ID_EXIT)
        t0 = time.monotonic()
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running {timeout} s after Exit")
        self.log.close()
        return time.monotonic() - t0

    def stop(self):
        """Best effort at the end of a start that failed half-way."""
        if self.proc.poll() is None:
            try:
                self.exit(timeout=10)
            except Exception:
                self.proc.kill()
                self.proc.wait(timeout=10)

    def linux_memory(self):
        """Private bytes of the Linux process that runs Quadrivue.exe."""
        with open(f"/proc/{self.proc.pid}/smaps_rollup") as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line and not line.startswith(" "))
        return sum(int(fields[k].split()[0]) for k in ("Private_Clean", "Private_Dirty")) * 1024

    def cpu_seconds(self):
        with open(f"/proc/{self.proc.pid}/stat") as f:
            stat = f.read().rsplit(")", 1)[1].split()
        return (int(stat[11]) + int(stat[12])) / os.sysconf("SC_CLK_TCK")


# ---------------------------------------------------------------- the runs

def make_pictures(s, root, layout):
    """layout: (name, kind, w, h) per file, each in its own folder so the list keeps this order."""
    folders = []
    for i, (name, kind, w, h) in enumerate(layout):
        folder = os.path.join(root, f"{i:02d}")
        os.makedirs(folder)
        path = os.path.join(folder, name)
        if kind == "junk":
            write_junk(path, w, i)
        elif kind == "truncated":
            write_truncated_png(path, i)
        else:
            WRITERS[kind](path, w, h, i)
        folders.append(folder)
    return folders


def render(s, path, out_name, fit=1, smart=1):
    out = os.path.join(s.work, out_name)
    s.cli("render", winpath(path), "--size", f"{SHOW_W}x{SHOW_H}", "--fit", str(fit), "--smart-crop", str(smart),
          winpath(out))
    w, h, rgb = read_ppm(out)
    if (w, h) != (SHOW_W, SHOW_H):
        raise Failure(f"render of {path} is {w}x{h}")
    return rgb


def help_picture(s):
    """The shipped help picture, or a small stand-in while there is none."""
    shipped = os.path.join(s.bin_dir, "help.png")
    if os.path.exists(shipped):
        return shipped
    s.figure("no help.png beside Quadrivue.exe: using a stand-in picture")
    path = os.path.join(s.work, "help.png")
    write_png(path, 300, 200, 5)
    return path


# The main start's file list: sequential order from a fresh counter of 0 shows
# index 1 first and then walks 2, 3, 4, 5, 0, 1.
MAIN_LAYOUT = [
    ("d.png", "png", 512, 384),      # 0: reached by wrapping round after the narrow one
    ("a.bmp", "bmp", 640, 400),      # 1: first picture
    ("b.png", "png", 400, 640),      # 2: after the tray press (portrait, cropped towards its top)
    ("c.bmp", "bmp", 1000, 500),     # 3: after the double-click
    ("e.jpg", "junk", 4000, 0),      # 4: undecodable: the picture on show stays
    ("f.bmp", "bmp", 200, 150),      # 5: too narrow: skipped, the next pick comes at once
]
MAIN_SEQUENCE = ["1", "2", "3", "4", "5", "0", "1"]


def run_main(s, help_png):
    folders = make_pictures(s, os.path.join(s.work, "pics-main"), MAIN_LAYOUT)
    paths = [os.path.join(f, layout[0]) for f, layout in zip(folders, MAIN_LAYOUT)]
    order = s.cli("pick", "--count", str(len(paths)), "--counter", "0", "--draws", str(len(MAIN_SEQUENCE)))
    if order.split() != MAIN_SEQUENCE:
        raise Failure(f"sequential order from counter 0 is {order.split()}, the layout expects {MAIN_SEQUENCE}")
    refs = {i: render(s, paths[i], f"ref{i}.ppm") for i in (0, 1, 2, 3)}
    app = App(s, "app-main", ["m_nInterval=10", "m_bMinutes=1", "m_bRandom=0", "m_nFitMode=1", "m_bSmartCrop=1",
                              "m_nMonitor=-1", "m_nMinWidth=300", "m_bIgnoreSmall=1"], folders, help_png)
    if app.files != [winpath(p) for p in paths]:
        raise Failure(f"file list {app.files}")
    try:
        app.wait_started()
        s.figure(f"show window up {app.started:.1f} s after start")
        walk_main(s, app, refs)
    finally:
        app.stop()


def show_is_bottom(s, app, cover=None):
    """None when the show is the lowest visible window (under the cover when given), else what is wrong."""
    visible = [w for w in s.windows() if w["visible"]]
    handles = [w["hwnd"] for w in visible]
    if app.show["hwnd"] not in handles:
        return "the show window is not visible"
    if handles[-1] != app.show["hwnd"]:
        below = visible[handles.index(app.show["hwnd"]) + 1:]
        return f"windows below the show: {[(w['class'], w['title']) for w in below]}"
    if cover and cover not in handles:
        return "the covering window is not visible"
    return None


def walk_main(s, app, refs):
    def show_window():
        w = app.show
        problems = []
        if w["rect"] != (0, 0, SHOW_W, SHOW_H):
            problems.append(f"rect {w['rect']}")
        if not w["style"] & WS_POPUP or w["style"] & WS_CAPTION or not w["style"] & WS_VISIBLE:
            problems.append(f"style 0x{w['style']:08x}")
        if w["title"]:
            problems.append(f"title {w['title']!r}")
        if app.frame["visible"] or app.frame["title"] != "Quadrivue":
            problems.append(f"frame {app.frame}")
        # The shell's restart message is broadcast to top-level windows: a message-only tray window misses it.
        if app.tray["visible"] or app.tray["msgonly"]:
            problems.append(f"tray window {app.tray}")
        if problems:
            raise Failure("; ".join(problems))
        return f"rect {w['rect']} style 0x{w['style']:08x}"
    s.check("a show window over the second monitor", show_window)
    s.check("b first picture equals its render", lambda: s.wait_screen("first-picture", refs[1], 20))

    covered = fill_rect(refs[1], SHOW_W, COVER_RECT, COVER_RGB)
    cover = start_cover(s)
    try:
        zorder_checks(s, app, refs, cover, covered)
    finally:
        s.probe("post", cover[0], WM_CLOSE, 0, 0)
        try:
            cover[1].wait(timeout=10)
        except subprocess.TimeoutExpired:
            cover[1].kill()
    s.check("c show repainted where the cover was", lambda: s.wait_screen("uncovered", refs[1], 10))

    def tray_press():
        app.tray_press()
        s.wait_screen("tray-press", refs[2], 10)
    s.check("d tray left press advances at once", tray_press)

    def double_click():
        s.xdotool("mousemove", 400, 300, "click", "--repeat", 2, "--delay", 80, 1)
        s.wait_screen("double-click", refs[3], 10)
    s.check("d double-click on the picture advances", double_click)
    s.xdotool("mousemove", 1000, 750)

    def undecodable():
        app.tray_press()
        holds("after the undecodable file", lambda: s.screen_complaint("undecodable", refs[3]) or
              app.no_extra_windows(), 2.0)
        return "picture on show stayed, no new window"
    s.check("e undecodable file skipped silently", undecodable)

    def narrow():
        app.tray_press()
        s.wait_screen("narrow-then-wrap", refs[0], 10)
        app.tray_press()
        s.wait_screen("wrap-again", refs[1], 10)
        extra = app.no_extra_windows()
        if extra:
            raise Failure(extra)
        return "next pick came at once and wrapped to the first file"
    s.check("e too-narrow file skipped silently", narrow)

    def taskbar_created():
        tray = app.tray["hwnd"]
        steps = [s.probe_result("tray-modify", tray, TRAY_ICON_ID), s.probe_result("tray-delete", tray, TRAY_ICON_ID),
                 s.probe_result("tray-modify", tray, TRAY_ICON_ID)]
        if steps != [1, 1, 0]:
            raise Failure(f"modify, delete, modify answered {steps}, expected [1, 1, 0]")
        s.probe("taskbar-created")
        wait_for("the icon added again", lambda: s.probe_result("tray-modify", tray, TRAY_ICON_ID) == 1, 10)
        s.probe("close-wine-tray")
        return "icon deleted, then added again on the broadcast"
    s.check("h TaskbarCreated adds the icon again", taskbar_created)

    def exit_counter():
        took = app.exit()
        rc, out = s.run(["wine", "reg", "query", REGISTRY_KEY, "/v", "Counter"])
        words = out.split()
        if rc != 0 or "Counter" not in words:
            raise Failure(f"reg query exited {rc}: {out.strip()}")
        value = int(words[words.index("Counter") + 2], 0)
        if value != int(MAIN_SEQUENCE[-1]):
            raise Failure(f"Counter {value}, expected {MAIN_SEQUENCE[-1]}")
        return f"ended {took:.1f} s after Exit, exit code {app.proc.returncode}, Counter {value}"
    s.check("g Exit ends the process and stores the counter", exit_counter)


def start_cover(s, rect=COVER_RECT, key=None):
    """A window of another process over part of the show, active, holding the system-wide key if
    given; (hwnd, process), and with a key whether it was had."""
    x, y, w, h = rect
    out_path = os.path.join(s.work, "cover.out")
    with open(out_path, "w") as out:
        proc = subprocess.Popen(["wine", s.probe_exe, "cover", str(x), str(y), str(w), str(h), "120",
                                 "%02x%02x%02x" % COVER_RGB, *([str(key)] if key else [])], env=s.env, stdout=out,
                                stderr=subprocess.DEVNULL)
    s.children.append(proc)

    def started():
        with open(out_path) as f:
            lines = f.readlines()
        done = [line for line in lines if line.startswith("hwnd") and line.endswith("\n")]
        return lines if done or proc.poll() is not None else None
    lines = wait_for("the covering window", started, 30)
    line = next((line for line in lines if line.startswith("hwnd")), "")
    if not line:
        raise Failure(f"cover window did not start ({lines!r})")
    cover = int(line.split()[1], 0), proc
    if key is None:
        return cover
    return cover + (any(line.strip() == "hotkey 1" for line in lines),)


def zorder_checks(s, app, refs, cover, covered):
    cover_hwnd = cover[0]

    def stays_bottom(name):
        holds(name, lambda: show_is_bottom(s, app, cover_hwnd) or s.screen_complaint(name, covered), 1.5)

    def raised_over():
        s.wait_screen("cover-raised", covered, 10)
        stays_bottom("cover-raised")
        return "cover on top, its pixels on screen"
    s.check("c stays at the bottom under a raised window", raised_over)

    def setpos_top():
        s.probe("setpos-top", app.show["hwnd"])
        stays_bottom("setpos-top")
    s.check("c stays at the bottom after SetWindowPos(HWND_TOP)", setpos_top)

    def move():
        s.probe("move", app.show["hwnd"], 100, 80, 400, 300)

        def rect():
            r = s.find("QuadrivueShow")["rect"]
            return None if r == (0, 0, SHOW_W, SHOW_H) else f"rect {r}"
        holds("move", lambda: rect() or show_is_bottom(s, app, cover_hwnd) or s.screen_complaint("move", covered),
              1.5)
    s.check("c stays at the bottom and in place after MoveWindow", move)

    def click_and_drag():
        s.xdotool("mousemove", 100, 200, "mousedown", 1)
        try:
            wait_for("the path text while the button is down",
                     lambda: bytes(PATH_TEXT_RGB) in rgb_pixels(s.screen((0, 0, 400, 40))), 10)
            s.xdotool("mousemove", 250, 350)
            holds("dragging", lambda: show_is_bottom(s, app, cover_hwnd), 1.0)
        finally:
            s.xdotool("mouseup", 1)
        s.wait_screen("after-drag", covered, 10)
        stays_bottom("after-drag")
        return "path text shown while held, picture back after release"
    s.check("c stays at the bottom after a click and drag", click_and_drag)


def rgb_pixels(rgb):
    return {bytes(rgb[i:i + 3]) for i in range(0, len(rgb), 3)}


def run_pause(s, help_png):
    """A show at a one-second interval: pause and resume from the tray command, and the frame's
    display-change messages, which must leave the show pinned over its monitor."""
    folders = make_pictures(s, os.path.join(s.work, "pics-pause"), MAIN_LAYOUT[:4])
    app = App(s, "app-pause", ["m_nInterval=1", "m_bMinutes=0", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()

        def paused():
            app.command(ID_PAUSE_SHOW)
            time.sleep(1.5)  # a tick already queued is dropped, not shown
            still = s.screen()
            holds("while paused", lambda: "the picture changed" if s.screen() != still else app.no_extra_windows(), 3.5)
            return "no slide over 3.5 s at a 1 s interval"
        if s.check("n pause stops the show", paused):
            def resumed():
                before = s.screen()
                app.command(ID_PAUSE_SHOW)
                wait_for("the next slide", lambda: s.screen() != before, 6)
                return "the show moved on again"
            s.check("n resume starts it again", resumed)

        def display_change():
            s.probe("post", app.frame["hwnd"], WM_DISPLAYCHANGE, 24, (SHOW_H << 16) | SHOW_W)
            s.probe("post", app.frame["hwnd"], WM_SETTINGCHANGE, SPI_SETWORKAREA, 0)
            time.sleep(1)
            show = s.find("QuadrivueShow")
            if not show or show["rect"] != (0, 0, SHOW_W, SHOW_H):
                raise Failure(f"show window now {show}")
            app.show = show
            problem = show_is_bottom(s, app)
            if problem:
                raise Failure(problem)
            return f"rect {show['rect']}, still the lowest window"
        s.check("o display and work-area changes keep the show over its monitor", display_change)
        s.check("g Exit ends the process (pause)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()


def run_monitors(s, help_png, shots=None):
    """Both monitors chosen (profile value Monitors = 3): two shows, each pinned over its monitor,
    taking consecutive pictures; the tray press advances both."""
    folders = make_pictures(s, os.path.join(s.work, "pics-monitors"), MAIN_LAYOUT[:3])
    rc, out = s.run(["wine", "reg", "add", REGISTRY_KEY, "/v", "Monitors", "/t", "REG_DWORD", "/d", "3", "/f"])
    if rc != 0:
        raise Failure(f"reg add exited {rc}: {out.strip()}")
    app = App(s, "app-monitors", ["m_nInterval=10", "m_bMinutes=1", "m_bRandom=0", "m_nMonitor=0"], folders,
              help_png)
    try:
        app.wait_started()

        def two_shows():
            def both():
                shows = [w for w in s.windows() if w["class"] == "QuadrivueShow" and w["visible"]]
                return shows if len(shows) == 2 else None
            shows = wait_for("two show windows", app.check_alive(both), 20)
            rects = sorted(w["rect"] for w in shows)
            if rects != [(0, 0, SHOW_W, SHOW_H), (0, 0, 1024, 768)]:
                raise Failure(f"show windows at {rects}")
            extra = [w for w in s.windows() if w["visible"] and w["pid"] == app.pid and w["class"] != "QuadrivueShow"]
            if extra:
                raise Failure(f"unexpected windows {extra}")
            return f"shows at {rects}"
        s.check("q both monitors chosen: a show pinned over each", two_shows)

        def display_change():
            s.probe("post", app.frame["hwnd"], WM_DISPLAYCHANGE, 24, (768 << 16) | 1024)
            s.probe("post", app.frame["hwnd"], WM_SETTINGCHANGE, SPI_SETWORKAREA, 0)
            time.sleep(1)
            return two_shows()
        s.check("q display and work-area changes keep each show over its monitor", display_change)
        if shots:
            time.sleep(2)
            write_png_screen(s, os.path.join(shots, "two-shows.png"))
            return

        def choose(*monitors):
            app.command(ID_SETTINGS)
            dlg = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
            dlg.select(C_MONITORS, *monitors)
            dlg.click(IDOK)
            dlg.wait_gone()

        def reshaped():
            choose(0)
            wait_for("one show", lambda: len([w for w in s.windows() if w["class"] == "QuadrivueShow"]) == 1, 10)
            choose(0, 1)
            wait_for("two shows", lambda: len([w for w in s.windows() if w["class"] == "QuadrivueShow" and
                                               w["visible"]]) == 2, 10)
            return "one show, then two again"
        s.check("q the settings take a monitor away and give it back", reshaped)
        app.tray_press()

        def consecutive():
            took = app.exit()
            value = registry_counter(s)
            # Three files from counter 0, seven picks: the two shows at start, the one show left
            # after the first OK, the kept show and the new one after the second (a new show
            # starts once), the tray press on both. One show alone, or a new show started twice,
            # would end elsewhere.
            if value != 1:
                raise Failure(f"Counter {value}, expected 1 after seven consecutive picks")
            return f"seven consecutive picks over the shows, Counter {value}; ended {took:.1f} s after Exit"
        s.check("q the shows take consecutive pictures; a new show starts once; the tray press advances both",
                consecutive)
    finally:
        app.stop()
        s.run(["wine", "reg", "delete", REGISTRY_KEY, "/v", "Monitors", "/f"])


# Folder and file names in Greek, Japanese and with accents.
UTF8_FOLDER = "Ελλάδα 写真 café"
UTF8_LAYOUT = [("φωτο_写真.bmp", "bmp", 640, 400), ("été.png", "png", 512, 384)]


def run_names(s, help_png):
    """Pictures whose folder and file names the legacy code page cannot spell: scanned, listed, shown."""
    root = os.path.join(s.work, "pics-names", UTF8_FOLDER)
    os.makedirs(root)
    paths = []
    for i, (name, kind, w, h) in enumerate(UTF8_LAYOUT):
        paths.append(os.path.join(root, name))
        WRITERS[kind](paths[-1], w, h, i)
    refs = [render(s, p, f"names-ref{i}.ppm") for i, p in enumerate(paths)]
    app = App(s, "app-names", ["m_nInterval=10", "m_bMinutes=1", "m_bRandom=0"], [root], help_png)
    try:
        def listed():
            if sorted(app.files) != sorted(winpath(p) for p in paths):
                raise Failure(f"file list {app.files}")
            return f"{len(app.files)} files listed under their own names"
        s.check("p UTF-8 names: scanned and listed", listed)
        app.wait_started()
        # Sequential from counter 0: the list's second file comes first.
        shown = [winpath(p) for p in paths].index(app.files[1])
        s.check("p UTF-8 names: the picture is shown", lambda: s.wait_screen("names", refs[shown], 20))
        s.check("g Exit ends the process (names)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()


def run_empty(s, help_png):
    load_out = os.path.join(s.work, "help.ppm")
    s.cli("load", winpath(help_png), winpath(load_out))
    hw, hh, pixels = read_ppm(load_out)
    want = centred_on_black(pixels, hw, hh)
    empty = os.path.join(s.work, "pics-empty")
    os.makedirs(empty)
    app = App(s, "app-empty", ["m_nInterval=1", "m_bMinutes=0", "m_bRandom=0"], [empty], help_png)
    if app.files:
        raise Failure(f"empty folder listed {app.files}")
    try:
        app.wait_started()

        def help_shown():
            s.wait_screen("help", want, 20)
            return f"help picture {hw}x{hh} centred"
        if s.check("f empty list shows the help picture", help_shown):
            s.check("f empty list does not advance", lambda: holds(
                "over two ticks of one second", lambda: s.screen_complaint("help-still", want) or
                app.no_extra_windows(), 2.5))
        s.check("g Exit ends the process (empty list)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()


# ---------------------------------------------------------------- one copy, never frozen, never silent

# Sequential from counter 0: a.png first, then b.png (after the second start's Settings and
# Cancel), c.png (/next), the broken file (logged), the 24-megapixel JPEG (the window thread is
# probed meanwhile), and round again to the broken file, which the log must not name twice.
DEPENDABLE_LAYOUT = [
    ("big.jpg", "jpeg", 6000, 4000),  # 0
    ("a.png", "png", 512, 384),       # 1
    ("b.png", "png", 640, 400),       # 2
    ("c.png", "png", 400, 640),       # 3
    ("broken.jpg", "junk", 3000, 0),  # 4
]
TREE_FOLDERS, TREE_FILES, TREE_PICTURES = 1000, 100, 60  # 100,000 files, 60,000 of them pictures
RESPONSIVE_MS = 100


def make_tree(root):
    for d in range(TREE_FOLDERS):
        folder = os.path.join(root, f"d{d:04d}")
        os.makedirs(folder)
        for f in range(TREE_FILES):
            open(os.path.join(folder, f"f{f:03d}{'.jpg' if f < TREE_PICTURES else '.txt'}"), "w").close()


class Responsiveness:
    """The probe sending WM_NULL to windows every 20 ms in the background; worst round trips."""

    def __init__(self, s, seconds, *hwnds):
        self.out_path = os.path.join(s.work, f"responsiveness-{time.monotonic_ns()}.out")
        with open(self.out_path, "w") as out:
            self.proc = subprocess.Popen(["wine", s.probe_exe, "responsiveness", str(seconds), *map(str, hwnds)],
                                         env=s.env, stdout=out, stderr=subprocess.DEVNULL)
        s.children.append(self.proc)
        wait_for("the responsiveness probe", lambda: "started" in open(self.out_path).read(), 30)

    def worst(self, timeout=60):
        self.proc.wait(timeout=timeout)
        lines = [split_fields(line) for line in open(self.out_path) if line.startswith("hwnd")]
        if not lines:
            raise Failure("the responsiveness probe gave no figures")
        for words in lines:
            if int(words[words.index("timeouts") + 1]):
                raise Failure(f"a window did not answer within 5 s: {' '.join(words)}")
        return max(float(words[words.index("worst_ms") + 1]) for words in lines)


def run_dependable(s, help_png):
    root = os.path.join(s.work, "pics-dependable")
    folders = make_pictures(s, root, DEPENDABLE_LAYOUT)
    paths = [os.path.join(f, layout[0]) for f, layout in zip(folders, DEPENDABLE_LAYOUT)]
    refs = {i: render(s, paths[i], f"dep-ref{i}.ppm") for i in (0, 1, 2, 3)}
    tree = os.path.join(s.work, "pics-tree")
    t0 = time.monotonic()
    make_tree(tree)
    s.figure(f"tree of {TREE_FOLDERS * TREE_FILES} files made in {time.monotonic() - t0:.1f} s")
    app = App(s, "app-dependable", ["m_nInterval=10", "m_bMinutes=1", "m_bRandom=0", "m_nMonitor=-1"],
              folders + [tree], help_png, index_folders=folders)
    try:
        app.wait_started()
        walk_dependable(s, app, refs, paths)
    finally:
        app.stop()


def walk_dependable(s, app, refs, paths):
    exe = os.path.join(app.dir, "Quadrivue.exe")
    log_path = os.path.join(app.dir, "Quadrivue.log")
    filelist_idx = os.path.join(app.dir, "filelist.idx")

    def second_start(*words, timeout=30):
        t0 = time.monotonic()
        rc, _ = s.run(["wine", exe, *words], timeout=timeout)
        return rc, time.monotonic() - t0

    def frames():
        return [w for w in s.windows() if w["class"] == "QuadrivueFrame"]

    s.check("r first picture on show", lambda: s.wait_screen("dep-first", refs[1], 20))

    def hand_over():
        rc, took = second_start()
        if rc != 0 or took > 2.0:
            raise Failure(f"the second start exited {rc} after {took:.1f} s")
        if app.proc.poll() is not None or len(frames()) != 1:
            raise Failure(f"first copy alive: {app.proc.poll() is None}, frames {frames()}")
        dlg = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
        front = s.probe("foreground")
        if not front or parse_window(front[0])["hwnd"] != dlg.hwnd:
            raise Failure(f"in front: {front}")
        dlg.post(WM_COMMAND, IDCANCEL)
        dlg.wait_gone()
        # The Settings command ends with the next picture, confirmed or not.
        s.wait_screen("dep-after-settings", refs[2], 10)
        return f"the second start ended after {took:.1f} s with 0; one copy runs; its settings came to the front"
    s.check("r a second start hands over to the running copy and ends", hand_over)

    def next_word():
        rc, took = second_start("/next")
        if rc != 0:
            raise Failure(f"Quadrivue.exe /next exited {rc}")
        s.wait_screen("dep-next", refs[3], 10)
        return f"the show advanced; the start ended after {took:.1f} s"
    s.check("r /next advances the running show", next_word)

    def broken_logged_once():
        app.tray_press()  # the broken file
        holds("after the broken file", lambda: s.screen_complaint("dep-broken", refs[3]), 1.5)
        probe = Responsiveness(s, 6, app.frame["hwnd"])
        app.tray_press()  # the 24-megapixel JPEG
        s.wait_screen("dep-big", refs[0], 20)
        worst = probe.worst()
        s.figure(f"worst round trip of the frame while a 6000 x 4000 JPEG was prepared: {worst:.1f} ms")
        if worst >= RESPONSIVE_MS:
            raise Failure(f"the frame took {worst:.1f} ms to answer while the picture was prepared")
        for i in (1, 2, 3):
            app.tray_press()
            s.wait_screen(f"dep-round-{i}", refs[i], 10)
        app.tray_press()  # the broken file again
        holds("after the broken file again", lambda: s.screen_complaint("dep-broken-again", refs[3]), 1.5)
        lines = [line for line in open(log_path, encoding="utf-8") if "broken.jpg" in line]
        if len(lines) != 1 or winpath(paths[4]) not in lines[0]:
            raise Failure(f"log lines naming the broken file: {lines}")
        return f"worst round trip {worst:.1f} ms while the big picture was prepared; log: {lines[0].strip()}"
    s.check("s the window thread answers while a 24-megapixel slide is prepared; a broken picture logged once",
            broken_logged_once)

    def taskbar_created():
        tray = app.tray["hwnd"]
        s.probe("taskbar-created")
        wait_for("the icon", lambda: s.probe_result("tray-modify", tray, TRAY_ICON_ID) == 1, 10)
        s.probe("close-wine-tray")
        return "the icon was deleted and added again while it existed"
    s.check("h TaskbarCreated while the icon exists keeps it there", taskbar_created)

    def rebuild_cancelled():
        before = read_bytes(filelist_idx)
        app.command(ID_SETTINGS)
        dlg = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
        st["dlg"] = dlg
        dlg.click(C_UPDATE_LIST)
        wait_for("the scan's count", lambda: dlg.text(C_INDEX_INFO).startswith("Files so far: ") and
                 dlg.text(C_INDEX_INFO) != "Files so far: 0", 10, interval=0.05)
        expect_equal("the button during the rebuild", dlg.text(C_UPDATE_LIST), "Cancel")
        dlg.click(C_UPDATE_LIST)
        wait_for("the rebuild to stop", lambda: dlg.text(C_INDEX_INFO) == "Images in index: 5", 10)
        expect_equal("the button after the rebuild", dlg.text(C_UPDATE_LIST), "&Update File List")
        if read_bytes(filelist_idx) != before or os.path.exists(filelist_idx + ".tmp"):
            raise Failure("filelist.idx changed, or its temporary file stayed")
        return "Cancel left filelist.idx byte-identical"
    st = {}
    s.check("t Cancel during a rebuild leaves the file list as it was", rebuild_cancelled)

    def rebuild_responsive():
        dlg = st.get("dlg")
        if not dlg:
            raise Failure("no settings dialog")
        probe = Responsiveness(s, 15, app.frame["hwnd"], dlg.hwnd)
        t0 = time.monotonic()
        dlg.click(C_UPDATE_LIST)
        total = TREE_FOLDERS * TREE_PICTURES + len(DEPENDABLE_LAYOUT)
        wait_for("the rebuild", lambda: dlg.text(C_INDEX_INFO) == f"Images in index: {total}", 120, interval=0.1)
        took = time.monotonic() - t0
        worst = probe.worst(timeout=90)
        s.figure(f"rebuild of {TREE_FOLDERS * TREE_FILES} files ({total} pictures) took {took:.1f} s under Wine; "
                 f"worst round trip of the frame and the dialog meanwhile: {worst:.1f} ms")
        if worst >= RESPONSIVE_MS:
            raise Failure(f"a window took {worst:.1f} ms to answer during the rebuild")
        dlg.post(WM_COMMAND, IDCANCEL)
        dlg.wait_gone()
        return f"{took:.1f} s for {total} pictures, worst round trip {worst:.1f} ms"
    s.check("t the frame and the dialog answer during a rebuild of 100,000 files", rebuild_responsive)

    def exit_word():
        rc, took = second_start("/exit")
        if rc != 0:
            raise Failure(f"Quadrivue.exe /exit exited {rc}")
        try:
            app.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise Failure("the running copy did not end")
        if app.proc.returncode != 0:
            raise Failure(f"the running copy ended with {app.proc.returncode}")
        rc, _ = second_start("/exit")
        if rc != 0 or frames():
            raise Failure(f"/exit without a running copy exited {rc}, frames {frames()}")
        return f"the running copy ended with 0 ({took:.1f} s); /exit alone starts nothing"
    s.check("r /exit ends the running copy with 0", exit_word)


def centred_on_black(pixels, w, h):
    out = bytearray(SHOW_W * SHOW_H * 3)
    x0, y0 = int((SHOW_W - w) / 2), int((SHOW_H - h) / 2)
    for row in range(max(0, -y0), min(h, SHOW_H - y0)):
        c0, c1 = max(0, -x0), min(w, SHOW_W - x0)
        o = ((y0 + row) * SHOW_W + x0 + c0) * 3
        out[o:o + (c1 - c0) * 3] = pixels[(row * w + c0) * 3:(row * w + c1) * 3]
    return bytes(out)


# ---------------------------------------------------------------- dialogs

WM_KEYDOWN, WM_LBUTTONUP, WM_SYSCOMMAND = 0x0100, 0x0202, 0x0112
VK_SPACE, STN_CLICKED = 0x20, 0
ID_SETTINGS, ID_ABOUT = 32771, 57664
IDM_ABOUTBOX = 0x0010
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
MSGBOX_TEXT = 65535
# Settings dialog controls.
C_MONITORS, C_ADD, C_REMOVE, C_SUBFOLDERS = 1000, 1002, 1003, 1005
C_SMART_CROP, C_IGNORE_SMALL, C_MIN_WIDTH, C_RANDOM = 1006, 1007, 1008, 1009
C_FOLDERS, C_UPDATE_LIST, C_INDEX_INFO, C_UPDATE_ON_START, C_INTERVAL = 1010, 1011, 1012, 1013, 1014
C_SECONDS, C_MINUTES, C_FIT_MODE = 1016, 1017, 1018
C_DONATE_PICTURE, C_LINK_HOME, C_LINK_DONATE = 1019, 1020, 1021
C_START_WITH_WINDOWS, C_NO_REPEATS = 1022, 1024
C_MATCH_SHAPE, C_SAME_PICTURES, C_PAUSE_ON_BATTERY, C_FADE = 1025, 1026, 1027, 1028
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# The folder chooser: the system's browse dialog with our edit box above its tree.
C_BROWSE_PROMPT, C_BROWSE_TREE, C_FOLDER_EDIT = 14146, 14145, 14148
TVM_GETNEXTITEM, TVM_SELECTITEM, TVGN_PARENT, TVGN_CARET = 0x110A, 0x110B, 3, 9

HOME_ADDRESS = "https://quadrivue.example/"
DONATE_ADDRESS = "https://quadrivue.example/donate"
FIT_MODES = ["Normal Fit inside screen", "Zoom-In for 100% fit (no black bars)"]
MONITORS = ["MONITOR 1 (Primary)", "MONITOR 2"]
NOT_A_NUMBER = "Please enter a positive integer."


def split_fields(line):
    """Words of a probe line; quoted words lose their quotes and escapes (\\\\ \\" \\n \\r \\t)."""
    words, i = [], 0
    while i < len(line):
        if line[i] == " ":
            i += 1
        elif line[i] == '"':
            i, word = i + 1, []
            while line[i] != '"':
                if line[i] == "\\":
                    i += 1
                    word.append({"n": "\n", "r": "\r", "t": "\t"}.get(line[i], line[i]))
                else:
                    word.append(line[i])
                i += 1
            words.append("".join(word))
            i += 1
        else:
            end = line.find(" ", i)
            end = len(line) if end < 0 else end
            words.append(line[i:end])
            i = end
    return words


def parse_controls(lines):
    """{control id: {"hwnd", "class", "visible", "enabled", "text", ["check"], ["count", "sel", "entries"]}};
    of controls sharing an id (the unnumbered statics) the first."""
    controls, last = {}, None
    for line in lines:
        words = split_fields(line)
        if words[0] == "entry" and last is not None:
            last.setdefault("entries", []).append(words[1])
        elif words[0] == "control":
            last = {k: (v if k in ("class", "text") else int(v, 0)) for k, v in zip(words[2::2], words[3::2])}
            if "count" in last:
                last["entries"] = []
            controls.setdefault(int(words[1]), last)
    return controls


class Dialog:
    """A dialog box of Quadrivue, driven through its controls' ids."""

    def __init__(self, s, window):
        self.s, self.hwnd, self.window = s, window["hwnd"], window

    def controls(self):
        return parse_controls(self.s.probe("controls", self.hwnd))

    def texts(self):
        """Every control's text, the unnumbered ones included."""
        return [split_fields(line)[-1] for line in self.s.probe("controls", self.hwnd) if line.startswith("control")]

    def control(self, cid):
        c = self.controls().get(cid)
        if c is None:
            raise Failure(f"{self.window['title']!r} has no control {cid}")
        return c

    def text(self, cid):
        return self.control(cid)["text"]

    def set_text(self, cid, text):
        if self.s.probe_result("set-text", self.hwnd, cid, text) != 1:
            raise Failure(f"control {cid} did not take the text {text!r}")

    def click(self, cid):
        if not self.s.probe("click", self.hwnd, cid):
            raise Failure(f"{self.window['title']!r} has no button {cid}")

    def select(self, cid, *indices):
        self.s.probe("select", self.hwnd, cid, *indices)

    def post(self, msg, wparam=0, lparam=0, to=None):
        self.s.probe("post", to or self.hwnd, msg, wparam, lparam)

    def state(self):
        """The dialog's window now: None when it is gone or hidden."""
        return next((w for w in self.s.windows() if w["hwnd"] == self.hwnd and w["visible"]), None)

    def wait_gone(self, timeout=15):
        wait_for(f"{self.window['title']!r} to close", lambda: self.state() is None, timeout)

    def is_open(self):
        """None when the dialog is shown and takes input again, else what is wrong."""
        w = self.state()
        return None if w and w["enabled"] else f"{self.window['title']!r} is {'disabled' if w else 'gone'}"

    def expect(self, table):
        """Compares controls with {id: {attribute: value}}; Failure naming every difference."""
        controls = self.controls()
        wrong = [f"{cid} {key} {controls.get(cid, {}).get(key)!r}, expected {want!r}"
                 for cid, attributes in table.items() for key, want in attributes.items()
                 if controls.get(cid, {}).get(key) != want]
        if wrong:
            raise Failure("; ".join(wrong))


def wait_dialog(s, what, pid, title=None, owner=None, timeout=20):
    """A visible dialog box of process pid, by caption and/or owner window."""
    def poll():
        for w in s.windows():
            if (w["visible"] and w["class"] == "#32770" and w["pid"] == pid and
                    (title is None or w["title"] == title) and (owner is None or w["owner"] == owner)):
                return Dialog(s, w)
        return None
    return wait_for(what, poll, timeout)


def answer_box(s, owner, pid, button, timeout=15):
    """Waits for the message box over owner, presses button; returns the box's text."""
    box = wait_dialog(s, "a message box", pid, owner=owner.hwnd, timeout=timeout)
    text = box.text(MSGBOX_TEXT)
    box.click(button)
    box.wait_gone()
    return text


def expect_equal(what, got, want):
    if got != want:
        raise Failure(f"{what}: {got!r}, expected {want!r}")


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def expected_settings(s, name, values, folders):
    """settings.idx as the command-line tool writes it: the defaults but for values, and folders."""
    path = os.path.join(s.work, name)
    s.cli("settings", "set", winpath(path), *(f"{k}={v}" for k, v in values.items()),
          *(f"folder+={winpath(f)}" for f in folders))
    return read_bytes(path)


def expected_index(s, name, folders, subfolders=True):
    """(filelist.idx as the command-line tool writes it for folders; its paths)."""
    path = winpath(os.path.join(s.work, name))
    s.cli("scan", *([] if subfolders else ["--no-subfolders"]), "--index", path, *(winpath(f) for f in folders))
    return read_bytes(os.path.join(s.work, name)), s.cli("list", "--index", path).splitlines()


def registry_counter(s):
    """The profile's Counter; a query that fails is made again for a while (reg.exe may fail once
    while the prefix's server is busy)."""
    last = [None, ""]

    def query():
        rc, out = s.run(["wine", "reg", "query", REGISTRY_KEY, "/v", "Counter"])
        words = out.split()
        last[:] = [rc, out.strip()]
        # In a tuple: a value of 0 is an answer too.
        return (int(words[words.index("Counter") + 2], 0),) if rc == 0 and "Counter" in words else None
    try:
        return wait_for("the Counter value", query, 10, interval=0.5)[0]
    except Failure as e:
        raise Failure(f"{e}: reg query exited {last[0]}: {last[1]}")


def registry(s, *args):
    rc, out = s.run(["wine", "reg", *args])
    if rc != 0 and args[0] != "delete":
        raise Failure(f"reg {' '.join(args)} exited {rc}: {out.strip()}")


DIALOG_LAYOUT = {  # folder: (name, kind, w, h) per file; "a" holds a subfolder
    "a": [("a1.bmp", "bmp", 640, 400), ("a2.png", "png", 512, 384), (os.path.join("sub", "a3.bmp"), "bmp", 400, 300)],
    "b": [("b1.png", "png", 320, 240), ("b2.bmp", "bmp", 360, 200)],
}
# What the walk sets in the dialog: 7 minutes, fit inside, in order, narrower than 250 skipped.
CHOSEN_VALUES = {"m_nMinWidth": 250, "m_bRandom": 0, "m_nInterval": 7, "m_bMinutes": 1, "m_nFitMode": 0}


def make_dialog_pictures(root):
    folders = {}
    for folder, files in DIALOG_LAYOUT.items():
        folders[folder] = os.path.join(root, folder)
        for i, (name, kind, w, h) in enumerate(files):
            path = os.path.join(folders[folder], name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            WRITERS[kind](path, w, h, i + 3)
    return folders


def run_dialogs(s, help_png):
    folders = make_dialog_pictures(os.path.join(s.work, "pics-dialogs"))
    # Started in C:\users\Public, where the folder chooser opens: Wine's browse dialog does not
    # always find a folder of /tmp in its tree.
    app = App(s, "app-dialogs", None, [], help_png, cwd=os.path.join(s.prefix, "drive_c", "users", "Public"))
    try:
        app.wait_started()
        walk_dialogs(s, app, folders)
    finally:
        app.stop()


def walk_dialogs(s, app, folders):
    def foreground():
        lines = s.probe("foreground")
        return parse_window(lines[0])["hwnd"] if lines else None

    """One start, from a fresh installation: the settings dialog, the folder chooser, the about
    box and the links, driven as a user would, and what they leave in the data files."""
    settings_idx = os.path.join(app.dir, "settings.idx")
    filelist_idx = os.path.join(app.dir, "filelist.idx")
    made = os.path.join(s.work, "made")
    created = os.path.join(made, "by the", "chooser")
    st = {}  # what the steps hand on: the open dialog, the stored files

    def open_settings():
        app.command(ID_SETTINGS)
        return wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)

    def defaults():
        st["dlg"] = d = open_settings()
        d.expect({C_FOLDERS: {"entries": []}, C_SUBFOLDERS: {"check": 1}, C_INTERVAL: {"text": "20"},
                  C_SECONDS: {"check": 1}, C_MINUTES: {"check": 0}, C_FIT_MODE: {"entries": FIT_MODES, "sel": 1},
                  C_SMART_CROP: {"check": 1}, C_IGNORE_SMALL: {"check": 1}, C_MIN_WIDTH: {"text": "300"},
                  C_RANDOM: {"check": 1}, C_UPDATE_ON_START: {"check": 0}, C_MONITORS: {"entries": MONITORS, "sel": 1},
                  C_INDEX_INFO: {"text": "Images in index: 0"}, C_LINK_HOME: {"text": HOME_ADDRESS},
                  C_LINK_DONATE: {"text": "Make small  donation to my beer fund"}})
        return "no folders, 20 Sec, zoom-in, smart crop, ignore < 300, random, MONITOR 2 chosen"
    if not s.check("j settings dialog opens from the frame command and shows the defaults", defaults):
        return

    def refuses_letters():
        d = st["dlg"]
        for cid, typed, good in ((C_INTERVAL, "abc", "20"), (C_MIN_WIDTH, "3OO", "300"), (C_INTERVAL, "-5", "20")):
            d.set_text(cid, typed)
            d.click(IDOK)
            expect_equal(f"message for {typed!r} in {cid}", answer_box(s, d, app.pid, IDOK), NOT_A_NUMBER)
            complaint = d.is_open() or ("settings.idx written" if os.path.exists(settings_idx) else None)
            if complaint:
                raise Failure(f"after {typed!r} in {cid}: {complaint}")
            d.set_text(cid, good)
        return "'abc', '3OO' and '-5' refused; the dialog stayed, no settings.idx"
    s.check("j letters in a number field: message, the dialog stays, nothing written", refuses_letters)

    def open_chooser():
        d = st["dlg"]
        d.click(C_ADD)
        chooser = wait_dialog(s, "the folder chooser", app.pid, title="Add Folder", owner=d.hwnd)
        chooser.expect({C_BROWSE_PROMPT: {"text": "&Image files", "visible": 1},
                        C_FOLDER_EDIT: {"class": "Edit", "visible": 1}, C_BROWSE_TREE: {"visible": 1}})
        return chooser

    def edit_shows(chooser, folder):
        last = [None]

        def shown():
            last[0] = chooser.text(C_FOLDER_EDIT)
            return last[0] == winpath(folder)
        try:
            wait_for(f"{winpath(folder)} in the edit box", shown, 10)
        except Failure as e:
            raise Failure(f"{e}; it shows {last[0]!r}")

    def type_and_ok(chooser, path, button=None):
        """Types path into the chooser's edit box and presses OK; the message box's text, answered with button."""
        chooser.set_text(C_FOLDER_EDIT, path)
        chooser.click(IDOK)
        return answer_box(s, chooser, app.pid, button) if button else None

    def dismiss_chooser():
        """A chooser that a failed step left open would keep the settings dialog disabled."""
        for w in s.windows():
            if w["visible"] and w["owner"] == st["dlg"].hwnd and w["title"] == "Add Folder":
                chooser = Dialog(s, w)
                chooser.click(IDCANCEL)
                chooser.wait_gone()

    def chooser_refusals():
        st["chooser"] = c = open_chooser()
        for typed, button, text in (
                (winpath(folders["a"]) + "\\", IDOK, "The folder:\n\n%s\n\nis invalid. Please reenter."),
                (winpath(created), IDNO, "The folder:\n\n%s\n\ndoes not exist. Do you want the folder to be created?")):
            expect_equal(f"message for {typed}", type_and_ok(c, typed, button), text % typed)
            complaint = c.is_open() or (f"{made} made" if os.path.exists(made) else None)
            if complaint:
                raise Failure(f"after {typed}: {complaint}")
        return "a path ending in a backslash is invalid; No to creating leaves the chooser open, nothing made"
    s.check("k folder chooser refuses a trailing backslash and a declined creation", chooser_refusals)

    def settings_again_while_chooser():
        c = st["chooser"]
        cover = start_cover(s)  # another program's window takes the front
        try:
            wait_for("the cover in front", lambda: foreground() == cover[0], 10)
            app.command(ID_SETTINGS)
            wait_for("the chooser in front", lambda: foreground() == c.hwnd, 10)
        finally:
            s.probe("post", cover[0], WM_CLOSE, 0, 0)
            cover[1].wait(timeout=10)
        dialogs = [w for w in s.windows() if w["visible"] and w["class"] == "#32770" and w["pid"] == app.pid]
        if len(dialogs) != 2:
            raise Failure(f"dialogs open: {[(w['title'], w['owner']) for w in dialogs]}")
        return "the chooser over the settings dialog came to the front; no second dialog"
    s.check("k a second Settings command brings the open chooser to the front", settings_again_while_chooser)

    def chooser_creates():
        c = st.pop("chooser")
        try:
            type_and_ok(c, winpath(created), IDYES)
            c.wait_gone()
        finally:
            dismiss_chooser()
        if not os.path.isdir(created):
            raise Failure(f"{created} was not made")
        wait_for("the new folder in the list", lambda: st["dlg"].control(C_FOLDERS)["entries"] == [winpath(created)],
                 10)
        return f"made {os.path.relpath(created, s.work)} (three levels) and listed it"
    s.check("k folder chooser: Yes makes every missing level and adds the folder", chooser_creates)

    def chooser_existing():
        c = open_chooser()
        try:
            # It opens on Quadrivue's current folder; a folder picked in the tree shows in the edit box.
            edit_shows(c, "C:\\users\\Public")
            tree = c.control(C_BROWSE_TREE)["hwnd"]
            caret = s.probe_result("send", tree, TVM_GETNEXTITEM, TVGN_CARET, 0)
            s.probe("send", tree, TVM_SELECTITEM, TVGN_CARET,
                    s.probe_result("send", tree, TVM_GETNEXTITEM, TVGN_PARENT, caret))
            edit_shows(c, "C:\\users")
            type_and_ok(c, winpath(folders["a"]))
            c.wait_gone()
        finally:
            dismiss_chooser()
        want = [winpath(created), winpath(folders["a"])]
        wait_for("both folders in the list", lambda: st["dlg"].control(C_FOLDERS)["entries"] == want, 10)
        st["dlg"].select(C_FOLDERS, 0)
        st["dlg"].click(C_REMOVE)
        wait_for("the made folder removed", lambda: st["dlg"].control(C_FOLDERS)["entries"] == want[1:], 10)
        return "opened on the current folder, the tree's parent shown when picked; typed folder accepted; Remove"
    s.check("k folder chooser: tree choice, typed existing folder; Remove", chooser_existing)

    def ok_writes():
        d = st["dlg"]
        registry(s, "add", REGISTRY_KEY, "/v", "Counter", "/t", "REG_DWORD", "/d", "5", "/f")
        d.set_text(C_INTERVAL, "7")
        d.click(C_MINUTES)
        d.select(C_FIT_MODE, 0)
        d.click(C_RANDOM)
        d.set_text(C_MIN_WIDTH, "250")

        def ticked():
            c = d.controls()
            return c[C_MINUTES]["check"] == 1 and c[C_SECONDS]["check"] == 0 and c[C_RANDOM]["check"] == 0
        wait_for("Min ticked and Random cleared", ticked, 10)
        d.click(IDOK)
        d.wait_gone()
        # The monitor the dialog showed chosen is stored: the automatic choice, MONITOR 2.
        want = expected_settings(s, "want-settings-1.idx", dict(CHOSEN_VALUES, m_nMonitor=1), [folders["a"]])
        index, files = expected_index(s, "want-list-1.idx", [folders["a"]])
        expect_equal("settings.idx", read_bytes(settings_idx), want)
        expect_equal("filelist.idx", read_bytes(filelist_idx), index)
        expect_equal("Counter", registry_counter(s), 0)
        st["settings"], st["files"] = want, files
        # The show starts again at once with the new settings: sequential, fitted inside.
        first = int(s.cli("pick", "--count", str(len(files)), "--counter", "0", "--draws", "1"))
        ref = render(s, files[first][2:].replace("\\", "/"), "dialog-ref.ppm", fit=0)
        s.wait_screen("after-settings-ok", ref, 20)
        return f"{len(want)} + {len(index)} bytes as the tool writes them, Counter 0, {files[first]} on show"
    if not s.check("j OK writes settings.idx, filelist.idx and Counter 0; the show restarts", ok_writes):
        return

    def cancel_keeps():
        st["dlg"] = d = open_settings()
        d.expect({C_FOLDERS: {"entries": [winpath(folders["a"])]}, C_INTERVAL: {"text": "7"},
                  C_SECONDS: {"check": 0}, C_MINUTES: {"check": 1}, C_FIT_MODE: {"sel": 0}, C_RANDOM: {"check": 0},
                  C_MIN_WIDTH: {"text": "250"}, C_MONITORS: {"sel": 1},
                  C_INDEX_INFO: {"text": f"Images in index: {len(st['files'])}"}})
        c = open_chooser()
        try:
            type_and_ok(c, winpath(folders["b"]))
            c.wait_gone()
        finally:
            dismiss_chooser()
        both = [winpath(folders["a"]), winpath(folders["b"])]
        wait_for("the second folder in the list", lambda: d.control(C_FOLDERS)["entries"] == both, 10)
        list_before = read_bytes(filelist_idx)
        d.post(WM_CLOSE)
        d.wait_gone()
        expect_equal("settings.idx after Cancel", read_bytes(settings_idx), st["settings"])
        expect_equal("filelist.idx after Cancel", read_bytes(filelist_idx), list_before)
        st["dlg"] = d = open_settings()
        expect_equal("folders on reopening", d.control(C_FOLDERS)["entries"], both)
        return "reopened with the stored values; after Add and close: files unchanged, folder still listed"
    if not s.check("j Cancel after Add: files unchanged, the folder stays listed", cancel_keeps):
        return

    def update_list():
        d = st["dlg"]
        index, files = expected_index(s, "want-list-2.idx", [folders["a"], folders["b"]])
        d.click(C_UPDATE_LIST)
        want = f"Images in index: {len(files)}"
        wait_for(want, lambda: d.text(C_INDEX_INFO) == want, 20)
        expect_equal("filelist.idx", read_bytes(filelist_idx), index)
        expect_equal("settings.idx", read_bytes(settings_idx), st["settings"])
        return want
    s.check("j Update File List shows the new count and writes the list", update_list)

    def other_monitor():
        d = st.pop("dlg")
        d.select(C_MONITORS, 0)
        # A click on "Include Subfolders" alone makes OK build the list again.
        d.click(C_SUBFOLDERS)
        wait_for("Include Subfolders cleared", lambda: d.control(C_SUBFOLDERS)["check"] == 0, 10)
        d.click(IDOK)
        d.wait_gone()
        big = (0, 0, 1024, 768)
        wait_for("the show on monitor 1", lambda: s.find("QuadrivueShow")["rect"] == big, 15)
        both = [folders["a"], folders["b"]]
        expect_equal("settings.idx", read_bytes(settings_idx), expected_settings(
            s, "want-settings-2.idx", dict(CHOSEN_VALUES, m_nMonitor=0, m_bSubfolders=0), both))
        expect_equal("filelist.idx", read_bytes(filelist_idx),
                     expected_index(s, "want-list-3.idx", both, subfolders=False)[0])
        s.probe("setpos-top", app.show["hwnd"])

        def pinned():
            r = s.find("QuadrivueShow")["rect"]
            return (f"rect {r}" if r != big else None) or show_is_bottom(s, app)
        holds("after SetWindowPos(HWND_TOP)", pinned, 1.5)
        return f"show at {big}, at the bottom after SetWindowPos(HWND_TOP); list rebuilt without subfolders"
    s.check("j MONITOR 1 and no subfolders: the show moves there, stays pinned; the list is rebuilt",
            other_monitor)

    def about_from_settings():
        st["dlg"] = d = open_settings()
        d.post(WM_SYSCOMMAND, IDM_ABOUTBOX)
        about = wait_dialog(s, "the about box", app.pid, title="About Quadrivue", owner=d.hwnd)
        check_about(about)
        about.click(IDOK)
        about.wait_gone()
        wait_for("the settings dialog enabled again", lambda: d.is_open() is None, 10)
        return "opened over the settings dialog, closed with OK"
    s.check("l about box from the settings dialog's system menu", about_from_settings)

    def links():
        d = st["dlg"]
        hwnds = d.controls()
        opened = associate_htm(s, None)
        no_app = "Can't open link:\n\nThere is no application associated\nwith the given filename extension."
        not_found = "Can't open link:\n\nThe specified file was not found."
        missing = r'C:\nowhere\browser.exe "%1"'
        writes = opened_command(opened)
        steps = [  # (what, the .htm class's open command, how the link is used, message or the address opened)
            ("donation link clicked, no handler", None, "click", C_LINK_DONATE, no_app),
            ("Space on the home link, .htm command missing", missing, "space", C_LINK_HOME, not_found),
            ("donation picture clicked, .htm command works", writes, "picture", C_DONATE_PICTURE, DONATE_ADDRESS),
            ("Space on the home link, .htm command works", writes, "space", C_LINK_HOME, HOME_ADDRESS),
        ]
        for what, command, how, cid, outcome in steps:
            if command:
                associate_htm(s, command)
            if os.path.exists(opened):
                os.remove(opened)
            link = hwnds[cid]["hwnd"]
            if how == "click":
                d.post(WM_LBUTTONDOWN, 1, 0x00050005, to=link)
                d.post(WM_LBUTTONUP, 0, 0x00050005, to=link)
            elif how == "space":
                d.post(WM_KEYDOWN, VK_SPACE, 0x00390001, to=link)
            else:
                d.post(WM_COMMAND, (STN_CLICKED << 16) | cid, link)
            if outcome.startswith("Can't"):
                expect_equal(what, answer_box(s, d, app.pid, IDOK), outcome)
            else:
                wait_for(f"{what}: {outcome} in {opened}",
                         lambda: (read_bytes(opened) or b"").strip() == outcome.encode(), 15)
                holds(what, d.is_open, 1.0)
        return "no handler and a missing program explained; the .htm command run with each link's address"
    s.check("m links: open through the .htm command, or say why not", links)

    def about_from_tray():
        d = st.pop("dlg")
        d.post(WM_CLOSE)
        d.wait_gone()
        app.command(ID_ABOUT)
        about = wait_dialog(s, "the about box", app.pid, title="About Quadrivue")
        app.command(ID_ABOUT)  # one about box at a time
        holds("one about box", lambda: None if len([w for w in s.windows() if w["visible"] and
                                                     w["title"] == "About Quadrivue"]) == 1 else "two about boxes", 1.0)
        check_about(about)
        about.click(IDOK)
        about.wait_gone()
        extra = app.no_extra_windows()
        if extra:
            raise Failure(extra)
        return "opened from the tray's About command, closed with OK"
    s.check("l about box from the tray command", about_from_tray)

    def exit_from_dialog():
        open_settings()
        took = app.exit()
        if app.proc.returncode != 0:
            raise Failure(f"exit code {app.proc.returncode}")
        return f"ended {took:.1f} s after Exit, exit code 0"
    s.check("g Exit while the settings dialog is open ends the process", exit_from_dialog)


# ---------------------------------------------------------------- a show's own menu

ID_PREVIOUS_PICTURE, ID_OPEN_PICTURE, ID_NEVER_SHOW = 32775, 32776, 32778
PICTURE_LAYOUT = MAIN_LAYOUT[:4]


def run_picture_menu(s, help_png, out_dir=None):
    folders = make_pictures(s, os.path.join(s.work, "pics-menu"), PICTURE_LAYOUT)
    paths = [os.path.join(f, layout[0]) for f, layout in zip(folders, PICTURE_LAYOUT)]
    refs = [render(s, p, f"menu-ref{i}.ppm") for i, p in enumerate(paths)]
    app = App(s, "app-menu", ["m_nInterval=1", "m_bMinutes=0", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()
        walk_picture_menu(s, app, paths, refs, out_dir)
    finally:
        app.stop()


def walk_picture_menu(s, app, paths, refs, out_dir):
    """The menu of a show, opened with the right button, at a 1-second interval held by the pause
    while the menu's commands are checked."""
    app.command(ID_PAUSE_SHOW)

    def on_show():
        """The index of the picture on show, once the screen has settled on one."""
        return wait_for("a picture of the folder on show", lambda: next(
            (i for i, ref in enumerate(refs) if s.screen() == ref), None), 15)

    def open_menu():
        """The show's menu window, once its loop takes keys in the foreground (the hidden frame's)."""
        s.xdotool("mousemove", 400, 300, "click", 3)

        def taking_keys():
            menu = next((w for w in s.windows() if w["class"] == "#32768" and w["visible"] and
                         w["pid"] == app.pid), None)
            front = [parse_window(w)["hwnd"] for w in s.probe("foreground")]
            return menu if menu and front == [app.frame["hwnd"]] and focus_of(s, app.frame["hwnd"])[1] else None
        return wait_for("the show's menu taking keys", taking_keys, 10)

    def menu_command(key):
        open_menu()
        s.xdotool("key", key)
        wait_for("the show's menu closed", lambda: focus_of(s, app.frame["hwnd"])[1] == 0, 10)

    def menu_and_bottom():
        menu = open_menu()
        below = show_is_bottom(s, app)
        if out_dir:
            left, top, right, bottom = menu["rect"]
            rect = (max(0, left - 60), max(0, top - 40), 0, 0)
            rect = rect[:2] + (min(SHOW_W, right + 60) - rect[0], min(SHOW_H, bottom + 40) - rect[1])
            save_png(os.path.join(out_dir, "show-menu.png"), rect, settled_grab(s, "the menu", rect))
        s.xdotool("key", "Escape")
        holds("the show at the bottom after the menu", lambda: show_is_bottom(s, app), 1.0)
        if below:
            raise Failure(f"with the menu open: {below}")
        return "menu open over the picture; the show stayed the lowest window, with the menu open and after"
    s.check("r right click on a show opens its menu; the show stays at the bottom", menu_and_bottom)

    def previous():
        first = on_show()
        before = s.screen()
        menu_command("n")
        s.wait_screen("next from the menu", refs[(first + 1) % 4], 10)
        menu_command("v")
        wait_for("the picture before, pixel for pixel", lambda: s.screen() == before, 10)
        menu_command("n")
        s.wait_screen("forward through the history", refs[(first + 1) % 4], 10)
        menu_command("n")
        s.wait_screen("a new pick after the history", refs[(first + 2) % 4], 10)
        return f"{first} -> {(first + 1) % 4} -> back to {first} (same pixels) -> {(first + 1) % 4} -> {(first + 2) % 4}"
    s.check("r Previous Picture brings back the picture before; Next goes forward, then picks", previous)

    def open_picture():
        opened = os.path.join(s.work, "opened.txt")
        registry(s, "add", "HKCR\\.bmp", "/ve", "/d", "qvpicture", "/f")
        registry(s, "add", "HKCR\\.png", "/ve", "/d", "qvpicture", "/f")
        registry(s, "add", "HKCR\\qvpicture\\shell\\open\\command", "/ve", "/d", opened_command(opened), "/f")
        shown = on_show()
        menu_command("o")
        want = winpath(paths[shown])
        wait_for(f"{want} opened", lambda: (read_bytes(opened) or b"").strip().strip(b'"') == want.encode(), 15)
        return f"the .bmp/.png open command got {want}"
    s.check("r Open Picture runs the picture's open command with its path", open_picture)

    def show_in_folder():
        shown = on_show()
        before = {w["hwnd"] for w in s.windows()}
        menu_command("f")
        folder = os.path.basename(os.path.dirname(paths[shown]))

        def opened():
            return next((w for w in s.windows() if w["visible"] and w["hwnd"] not in before and
                         w["pid"] != app.pid and folder in w.get("title", "")), None)
        window = wait_for(f"a window of the folder {folder}", opened, 20)
        s.probe("post", window["hwnd"], WM_CLOSE, 0, 0)
        return f"{window['class']} {window['title']!r} opened"
    s.check("r Show in Folder opens the picture's folder", show_in_folder)

    def never_show():
        banned = on_show()
        menu_command("t")
        wait_for("another picture", lambda: s.screen() != refs[banned], 10)
        lines = (read_bytes(os.path.join(app.dir, "excluded.txt")) or b"").decode().splitlines()
        if not lines or not lines[0].startswith("#") or lines[1:] != [winpath(paths[banned])]:
            raise Failure(f"excluded.txt: {lines}")
        app.command(ID_PAUSE_SHOW)
        seen = set()

        def never_back():
            frame = s.screen()
            if frame == refs[banned]:
                return "the excluded picture came back"
            seen.update(i for i, ref in enumerate(refs) if frame == ref)
            return None
        holds("the excluded picture stays away", never_back, 8.0, interval=0.3)
        if len(seen) < 3:
            raise Failure(f"only pictures {sorted(seen)} seen at a 1-s interval")
        return f"excluded.txt names it under its comment line; 8 s at 1-s interval showed {sorted(seen)}, never {banned}"
    s.check("r Never Show This Picture advances, writes excluded.txt; the picture never comes back", never_show)
    s.check("g Exit ends the process (picture menu)", lambda: f"{app.exit():.1f} s")


# ---------------------------------------------------------------- random order without repeats

NO_REPEATS_LAYOUT = MAIN_LAYOUT[:4] + [("g.bmp", "bmp", 720, 480)]


NO_REPEATS_SEED = 20261210


def run_no_repeats(s, help_png):
    """Random order without repeats from a stored walk (seed, position 0, 5 pictures): the slides
    are the sequence quadrivue-cli prints for the seed."""
    folders = make_pictures(s, os.path.join(s.work, "pics-norepeats"), NO_REPEATS_LAYOUT)
    paths = [os.path.join(f, layout[0]) for f, layout in zip(folders, NO_REPEATS_LAYOUT)]
    refs = [render(s, p, f"norepeat-ref{i}.ppm") for i, p in enumerate(paths)]
    want = [int(v) for v in s.cli("pick", "--count", "5", "--random", "--no-repeats", "--seed", str(NO_REPEATS_SEED),
                                   "--draws", "14").split()]
    for name, value in (("NoRepeats", 1), ("ShuffleSeed", NO_REPEATS_SEED), ("ShufflePosition", 0),
                        ("ShuffleCount", 5)):
        registry(s, "add", REGISTRY_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
    app = App(s, "app-norepeats", ["m_nInterval=1", "m_bMinutes=0", "m_bRandom=1"], folders, help_png)
    try:
        app.wait_started()

        def two_rounds():
            seen = []

            def slides():
                frame = s.screen()
                shown = next((i for i, ref in enumerate(refs) if frame == ref), None)
                if shown is not None and (not seen or seen[-1] != shown):
                    seen.append(shown)
                return len(seen) >= 10
            wait_for("ten slides", slides, 40, interval=0.1)
            # The first slides may have come and gone while the start was awaited.
            start = next((k for k in range(4) if seen[:10] == want[k:k + 10]), None)
            if start is None:
                raise Failure(f"slides {seen}, the walk of the seed {want}")
            rounds = [want[0:5], want[5:10]]
            if any(len(set(r)) != 5 for r in rounds):
                raise Failure(f"the walk {want}")
            return (f"slides {seen[:10]} are the seed's walk from its slide {start + 1}; its rounds {rounds[0]} and "
                    f"{rounds[1]} show each picture once")
        s.check("u no repeats: 5 pictures at a 1-s interval, 5 distinct in the first 5 slides, twice", two_rounds)
        s.check("g Exit ends the process (no repeats)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()
        for name in ("NoRepeats", "ShuffleSeed", "ShufflePosition", "ShuffleCount"):
            registry(s, "delete", REGISTRY_KEY, "/v", name, "/f")


# ---------------------------------------------------------------- rest and fade

WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 0x02B1, 7, 8


def screen_changes(s, seconds):
    """Waits for the show's rectangle to change; the seconds it took."""
    before, t0 = s.screen(), time.monotonic()
    wait_for("the next slide", lambda: s.screen() != before, seconds, interval=0.1)
    return time.monotonic() - t0


def run_rest(s, help_png):
    """A show at a one-second interval rests while the session is locked (the frame hears it as
    the system would tell it) and comes back with a fresh picture at the unlock."""
    folders = make_pictures(s, os.path.join(s.work, "pics-rest"), MAIN_LAYOUT[:4])
    app = App(s, "app-rest", ["m_nInterval=1", "m_bMinutes=0", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()
        s.check("v the show changes at a 1-s interval", lambda: f"next slide in {screen_changes(s, 6):.1f} s")

        def session(event):
            s.probe("send", app.frame["hwnd"], WM_WTSSESSION_CHANGE, event, 0)

        def locked():
            session(WTS_SESSION_LOCK)
            time.sleep(1.0)  # a slide already on its way may still arrive, and its fade end
            still = s.screen()
            holds("while locked", lambda: "the picture changed" if s.screen() != still else app.no_extra_windows(), 3.0)
            return "no slide over 3 s at a 1-s interval"
        if s.check("v a lock notice stops the show", locked):
            def unlocked():
                before, t0 = s.screen(), time.monotonic()
                session(WTS_SESSION_UNLOCK)
                wait_for("a fresh slide", lambda: s.screen() != before, 2, interval=0.1)
                return f"a new slide {time.monotonic() - t0:.1f} s after the unlock"
            s.check("v an unlock notice resumes it with a fresh picture", unlocked)
        s.check("g Exit ends the process (rest)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()


FADE_LAYOUT = [("p.bmp", "bmp", SHOW_W, SHOW_H), ("q.bmp", "bmp", SHOW_W, SHOW_H)]


def blend_weight(got, old, new, step=101, tolerance=8):
    """The weight a (0..1) of new for which every sampled pixel of got is near old*(1-a) + new*a;
    None when got is no such blend."""
    samples = range(0, len(got) - 2, 3 * step)
    num = den = 0
    for i in samples:
        for c in range(3):
            d = new[i + c] - old[i + c]
            num, den = num + (got[i + c] - old[i + c]) * d, den + d * d
    if not den:
        return None
    a = num / den
    worst = max(abs(got[i + c] - (old[i + c] * (1 - a) + new[i + c] * a)) for i in samples for c in range(3))
    return a if worst <= tolerance else None


def run_fade(s, help_png):
    """Two patterned pictures: a change fades the new one in over the old, the frames between are
    blends of the two, and the last is the new picture exactly."""
    folders = make_pictures(s, os.path.join(s.work, "pics-fade"), FADE_LAYOUT)
    refs = [render(s, os.path.join(f, layout[0]), f"fade-ref{i}.ppm") for i, (f, layout) in
            enumerate(zip(folders, FADE_LAYOUT))]
    # The option as the settings dialog stores it (a profile from before it leaves it off).
    registry(s, "add", REGISTRY_KEY, "/v", "Fade", "/t", "REG_DWORD", "/d", "1", "/f")
    app = App(s, "app-fade", ["m_nInterval=10", "m_bMinutes=1", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()
        s.check("w first picture on show", lambda: s.wait_screen("fade-first", refs[1], 20))

        def fades():
            # Sequential from counter 0: the pictures take turns.
            old, new, weights = refs[1], refs[0], []
            for attempt in range(3):
                app.tray_press()
                t0 = time.monotonic()
                while time.monotonic() < t0 + 1.0:
                    a = blend_weight(s.screen(), old, new)
                    if a is not None and 0.02 < a < 0.98:
                        weights.append(round(a, 2))
                s.wait_screen("fade-last", new, 5)
                if weights:
                    return f"blends seen at weights {weights}, then the new picture exactly"
                old, new = new, old
            raise Failure("no screen between the two pictures was a blend of them")
        s.check("w a change fades in: a frame between is a blend, the last the new picture", fades)
        s.check("g Exit ends the process (fade)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()
        registry(s, "delete", REGISTRY_KEY, "/v", "Fade", "/f")



# ---------------------------------------------------------------- shapes and own folders

# Flat pictures, named by colour: monitor 1 draws from settings.idx, monitor 2 from its own
# settings-2.idx; the blue one is the only portrait picture.
SHAPE_PICTURES = {"red": ("m1", 640, 400, (200, 30, 30)), "green": ("m1", 600, 400, (30, 200, 30)),
                  "blue": ("m1", 300, 600, (30, 30, 200)), "yellow": ("m2", 640, 480, (220, 220, 40)),
                  "magenta": ("m2", 700, 500, (200, 40, 200))}


def run_shapes(s, help_png):
    """Two monitors with folders of their own and the shape matched: each shows only its own
    pictures, and the portrait picture never reaches a (landscape) monitor."""
    root = os.path.join(s.work, "pics-shapes")
    for name, (folder, w, h, rgb) in SHAPE_PICTURES.items():
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        with open(os.path.join(root, folder, name + ".png"), "wb") as f:
            f.write(png_bytes(w, h, [bytes(rgb) * w] * h))
    # Random order without repeats: a round meets every picture, so the shape is always found in one.
    values = (("Monitors", 3), ("SamePictures", 0), ("MatchShape", 1), ("NoRepeats", 1))
    for name, value in values:
        registry(s, "add", REGISTRY_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
    settings = ["m_nInterval=1", "m_bMinutes=0", "m_bRandom=1", "m_nMonitor=0"]

    def monitor_2_folders(folder):
        """Monitor 2's own folders and list, in files of the same formats."""
        s.cli("settings", "set", winpath(os.path.join(folder, "settings-2.idx")), *settings,
              f"folder+={winpath(os.path.join(root, 'm2'))}")
        s.cli("scan", "--index", winpath(os.path.join(folder, "filelist-2.idx")), winpath(os.path.join(root, "m2")))
    app = App(s, "app-shapes", settings, [os.path.join(root, "m1")], help_png, prepare=monitor_2_folders)
    try:
        app.wait_started()

        def own_pictures():
            seen = {"monitor 1": [], "monitor 2": []}
            points = {"monitor 1": (917, 689), "monitor 2": (400, 300)}

            def colour_at(x, y):
                rgb = tuple(s.screen((x, y, 1, 1)))
                return min(SHAPE_PICTURES, key=lambda n: sum(abs(a - b) for a, b in zip(SHAPE_PICTURES[n][3], rgb)))

            def slides():
                for monitor, (x, y) in points.items():
                    name = colour_at(x, y)
                    if not seen[monitor] or seen[monitor][-1] != name:
                        seen[monitor].append(name)
                return all(len(v) >= 6 for v in seen.values())
            try:
                wait_for("six slides on each monitor", slides, 40, interval=0.1)
            except Failure as e:
                raise Failure(f"{e}: slides {seen}")
            if set(seen["monitor 1"]) != {"red", "green"} or set(seen["monitor 2"]) != {"yellow", "magenta"}:
                raise Failure(f"slides {seen}")
            return f"monitor 1 showed {seen['monitor 1']}, monitor 2 {seen['monitor 2']}"
        s.check("w own folders per monitor, shape matched: only their own landscape pictures, never the "
                "portrait one", own_pictures)

        def dialog_edits_last_clicked():
            app.command(ID_SETTINGS)
            dlg = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
            monitors = dlg.control(C_MONITORS)

            def shows(folder, info):
                return lambda: (dlg.control(C_FOLDERS)["entries"] == [winpath(os.path.join(root, folder))] and
                                dlg.text(C_INDEX_INFO) == info)
            # A click on monitor 1 alone, then Shift+Down: both selected, monitor 2 last clicked.
            steps = (("mousemove", monitors["x"] + 20, monitors["y"] + 6, "click", 1),
                     ("key", "shift+Down"))
            for step, folder, info in zip(steps, ("m1", "m2"), ("MONITOR 1 (Primary): Images in index: 3",
                                                               "MONITOR 2: Images in index: 2")):
                s.xdotool(*step)
                try:
                    wait_for(f"the folders of {info.split(':')[0]}", shows(folder, info), 10)
                except Failure as e:
                    c = dlg.controls()
                    raise Failure(f"{e}: folders {c[C_FOLDERS]['entries']}, {c[C_INDEX_INFO]['text']!r}, "
                                  f"monitors {c[C_MONITORS]}")
            dlg.select(C_FOLDERS, 0)
            dlg.click(C_REMOVE)
            dlg.click(IDOK)
            dlg.wait_gone(30)
            own = s.cli("settings", "show", winpath(os.path.join(app.dir, "settings-2.idx")))
            main = s.cli("settings", "show", winpath(os.path.join(app.dir, "settings.idx")))
            def folders(shown):
                return [line for line in shown.splitlines() if line.startswith("folder ")]
            if folders(own) or os.path.getsize(os.path.join(app.dir, "filelist-2.idx")) != 0:
                raise Failure(f"monitor 2's files after its folder was removed: {own!r}")
            if len(folders(main)) != 1:
                raise Failure(f"settings.idx {main!r}")
            return ("the folder list follows the monitor last clicked; monitor 2's folder removed: settings-2.idx "
                    "without folders, filelist-2.idx empty, settings.idx as it was")
        s.check("w the settings dialog edits the folders of the monitor last clicked", dialog_edits_last_clicked)
        s.check("g Exit ends the process (shapes)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()
        for name, _ in values:
            registry(s, "delete", REGISTRY_KEY, "/v", name, "/f")



# ---------------------------------------------------------------- a program folder it may not write

ID_HOMEPAGE = 32772


def run_data(s, help_png):
    """A copy in a read-only folder (bound read-only over itself): its settings and list, read once,
    go on in %APPDATA%\\Quadrivue; and with the home page a placeholder, Visit Home Page opens the
    user guide beside the program."""
    folders = make_pictures(s, os.path.join(s.work, "pics-data"), MAIN_LAYOUT[1:3])
    refs = [render(s, os.path.join(f, layout[0]), f"data-ref{i}.ppm") for i, (f, layout) in
            enumerate(zip(folders, MAIN_LAYOUT[1:3]))]
    mounted = []

    def read_only(folder):
        with open(os.path.join(folder, "guide.html"), "w") as f:
            f.write("<html><body>guide</body></html>")
        for command in (["mount", "--bind", folder, folder], ["mount", "-o", "remount,bind,ro", folder]):
            rc, out = s.run(command)
            if rc != 0:
                raise Failure(f"{' '.join(command)}: {out.strip()}")
            mounted.append(folder)
    try:
        app = App(s, "app-data", ["m_nInterval=10", "m_bMinutes=1", "m_bRandom=0"], folders, help_png,
                  prepare=read_only)
    except Failure as e:
        s.figure(f"read-only program folder not checked: {e}")
        for folder in mounted[:1]:
            s.run(["umount", folder])
        return
    opened = associate_htm(s, opened_command(os.path.join(s.work, "opened.txt")))
    registry(s, "add", "HKCR\\.html", "/ve", "/d", "qvpage", "/f")
    try:
        app.wait_started()

        def moved():
            wait_for("the first picture of the old list", lambda: s.screen() in refs, 20)
            own = glob.glob(os.path.join(s.prefix, "drive_c", "users", "*", "AppData", "Roaming", "Quadrivue"))
            if len(own) != 1:
                raise Failure(f"no data folder in the profile: {own}")
            for name in ("settings.idx", "filelist.idx"):
                if read_bytes(os.path.join(own[0], name)) != read_bytes(os.path.join(app.dir, name)):
                    raise Failure(f"{name} in {own[0]} is not the one beside the program")
            return f"the old list on show; settings.idx and filelist.idx copied to {own[0]}"
        s.check("x a read-only program folder: the data goes on in %APPDATA%\\Quadrivue", moved)

        def guide_opens():
            app.command(ID_HOMEPAGE)
            want = winpath(os.path.join(app.dir, "guide.html"))
            wait_for("the guide opened", lambda: (read_bytes(opened) or b"").strip().strip(b'"') == want.encode(), 15)
            return f"opened {want}"
        s.check("x Visit Home Page opens the user guide while the home page is a placeholder", guide_opens)
        s.check("g Exit ends the process (data)", app.check_alive(lambda: f"{app.exit():.1f} s"))
    finally:
        app.stop()
        associate_htm(s, None)
        registry(s, "delete", "HKCR\\.html", "/f")
        for folder in mounted[:1]:
            s.run(["umount", folder])


# ---------------------------------------------------------------- hotkeys

HOTKEY_NEXT_KEYS, HOTKEY_PAUSE = "ctrl+alt+shift+Right", 0x0728  # Ctrl+Alt+Shift+Down, as stored
ONLY_MONITOR_1 = (810, 610, 200, 150)  # a part of monitor 1 (1024 x 768) that monitor 2 (800 x 600) lacks


def run_hotkeys(s, help_png):
    """Two shows; another program holds the pause key before Quadrivue starts."""
    folders = make_pictures(s, os.path.join(s.work, "pics-hotkeys"), MAIN_LAYOUT[:4])
    registry(s, "add", REGISTRY_KEY, "/v", "Monitors", "/t", "REG_DWORD", "/d", "3", "/f")
    # Keys typed with xdotool reach Wine through its active window: the cover, in a corner.
    cover = start_cover(s, (1014, 758, 10, 10), HOTKEY_PAUSE)
    app = None
    try:
        app = App(s, "app-hotkeys", ["m_nInterval=60", "m_bMinutes=0", "m_bRandom=0", "m_nMonitor=0"], folders,
                  help_png)
        app.wait_started()
        walk_hotkeys(s, app, cover)
    finally:
        if app:
            app.stop()
        s.probe("post", cover[0], WM_CLOSE, 0, 0)
        registry(s, "delete", REGISTRY_KEY, "/v", "Monitors", "/f")


def walk_hotkeys(s, app, cover):
    def next_key():
        wait_for("two show windows", lambda: len([w for w in s.windows() if w["class"] == "QuadrivueShow" and
                                                  w["visible"]]) == 2, 20)
        mon1, mon2 = settled_grab(s, "monitor 1", ONLY_MONITOR_1), settled_grab(s, "monitor 2", (0, 0, SHOW_W, SHOW_H))
        s.xdotool("mousemove", 900, 700, "key", HOTKEY_NEXT_KEYS)
        wait_for("monitor 1's show to change", lambda: s.screen(ONLY_MONITOR_1) != mon1, 10)
        holds("monitor 2's show unchanged", lambda: "it changed" if s.screen() != mon2 else None, 1.5)
        return "with the pointer at (900,700), only on monitor 1, only monitor 1's show advanced"
    s.check("s a hotkey advances the show of the monitor under the pointer only", next_key)

    def held_key_reported():
        if not cover[2]:
            raise Failure("the probe could not take Ctrl+Alt+Shift+Down first")
        log = (read_bytes(os.path.join(app.dir, "Quadrivue.log")) or b"").decode("utf-8", "replace")
        lines = [line for line in log.splitlines() if "Ctrl+Alt+Shift+Down" in line]
        if len(lines) != 1:
            raise Failure(f"log lines naming the key: {lines}")
        boxes = [w for w in s.windows() if w["visible"] and w["class"] == "#32770"]
        if boxes:
            raise Failure(f"message boxes: {boxes}")
        app.command(ID_SETTINGS)
        d = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
        notes = [t for t in d.texts() if "Ctrl+Alt+Shift+Down" in t]
        d.post(WM_CLOSE)
        d.wait_gone()
        if len(notes) != 1:
            raise Failure(f"settings dialog texts naming the key: {d.texts()}")
        return f"one log line ({lines[0].strip()!r}), no message box, the settings dialog says {notes[0]!r}"
    s.check("s a hotkey another program holds is reported once: the log and the settings dialog", held_key_reported)
    def run_value():
        rc, out = s.run(["wine", "reg", "query", RUN_KEY, "/v", "Quadrivue"])
        return out.split("REG_SZ", 1)[1].strip() if rc == 0 and "REG_SZ" in out else None

    def start_with_windows():
        this = '"' + winpath(os.path.join(app.dir, "Quadrivue.exe")) + '"'
        steps = [  # (the value before, the box then, click it?, the value after OK)
            (None, 0, True, this),
            (this, 1, True, None),
            (r'"C:\Old place\Quadrivue.exe"', 1, False, this),
        ]
        for before, box, click, after in steps:
            registry(s, "delete", RUN_KEY, "/v", "Quadrivue", "/f")
            if before:
                registry(s, "add", RUN_KEY, "/v", "Quadrivue", "/d", before, "/f")
            app.command(ID_SETTINGS)
            d = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
            d.expect({C_START_WITH_WINDOWS: {"check": box}})
            if click:
                d.click(C_START_WITH_WINDOWS)
                wait_for("the box changed", lambda: d.control(C_START_WITH_WINDOWS)["check"] == 1 - box, 10)
            d.click(IDOK)
            d.wait_gone()
            expect_equal(f"the Run value after OK (before: {before})", run_value(), after)
        registry(s, "delete", RUN_KEY, "/v", "Quadrivue", "/f")
        return f"ticked: {this} written; cleared: deleted; another path: shown ticked, rewritten"
    s.check("t Start Quadrivue when I sign in: the Run value follows the box", start_with_windows)
    s.check("g Exit ends the process (hotkeys)", lambda: f"{app.exit():.1f} s")


# ---------------------------------------------------------------- the keyboard

NIN_KEYSELECT, WM_CONTEXTMENU = 0x0401, 0x007B
# Tab from the first control of the settings dialog: every control that takes the focus, in
# the order of reading (the checked radio button stands for its group).
SETTINGS_TAB_ORDER = [C_SUBFOLDERS, C_LINK_HOME, C_ADD, C_REMOVE, C_UPDATE_LIST, C_FOLDERS, C_INTERVAL, C_SECONDS,
                      C_FIT_MODE, C_MONITORS, C_SAME_PICTURES, C_SMART_CROP, C_IGNORE_SMALL, C_MIN_WIDTH, C_RANDOM,
                      C_NO_REPEATS, C_UPDATE_ON_START, C_MATCH_SHAPE, C_PAUSE_ON_BATTERY, C_FADE,
                      C_START_WITH_WINDOWS, C_DONATE_PICTURE, C_LINK_DONATE, IDOK]
# A label's access key and the control it reaches.
SETTINGS_ACCESS_KEYS = [("alt+f", C_FOLDERS), ("alt+c", C_INTERVAL), ("alt+d", C_MONITORS), ("alt+t", C_LINK_HOME),
                        ("alt+s", C_SUBFOLDERS)]


def focus_of(s, hwnd):
    """(control id with the keyboard focus in hwnd's thread, whether a menu is open there)."""
    words = (s.probe("focus", hwnd) or ["focus 0 hwnd 0 class x menu 0"])[0].split()
    return int(words[1]), int(words[-1])


def key_and_focus(s, hwnd, keys, want, what):
    s.xdotool("key", *keys.split())
    try:
        wait_for(f"{what}: the focus on {want}", lambda: focus_of(s, hwnd)[0] == want, 5, interval=0.1)
    except Failure as e:
        raise Failure(f"{e}; the focus is on {focus_of(s, hwnd)[0]}, the foreground {s.probe('foreground')}")


def tab_walk(s, hwnd, count):
    """The control ids the focus visits on count presses of Tab."""
    seen = []
    for _ in range(count):
        before = focus_of(s, hwnd)[0]
        s.xdotool("key", "Tab")
        wait_for("the focus to move", lambda: focus_of(s, hwnd)[0] != before, 5, interval=0.1)
        seen.append(focus_of(s, hwnd)[0])
    return seen


def run_keyboard(s, help_png):
    folders = make_pictures(s, os.path.join(s.work, "pics-keys"), MAIN_LAYOUT[:4])
    app = App(s, "app-keys", ["m_nInterval=60", "m_bMinutes=0", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()
        walk_keyboard(s, app, folders)
    finally:
        app.stop()


def walk_keyboard(s, app, folders):
    """The tray, its menu, the settings dialog, the folder chooser and the about box with the
    keyboard alone. The tray icon's keyboard selection is the shell's (Wine's notification area
    has none): the test sends what the shell sends for Enter and Shift+F10 on the selected icon."""
    opened = associate_htm(s, opened_command(os.path.join(s.work, "opened.txt")))
    tray = app.tray["hwnd"]
    settings_idx = os.path.join(app.dir, "settings.idx")
    st = {}

    def address_opened(what, address, dialog=None):
        wait_for(f"{what}: {address} opened", lambda: (read_bytes(opened) or b"").strip() == address.encode(), 15)
        os.remove(opened)
        if dialog:
            # The program that opened the address took the foreground, as a browser would: back to the
            # dialog with a click on its index count (a static the click passes through), which leaves
            # the dialog's focus where it was.
            info = dialog.control(C_INDEX_INFO)

            front = [0]

            def in_front():
                # In front for three polls in a row: the opener may take the foreground late.
                if [parse_window(w)["hwnd"] for w in s.probe("foreground")] == [dialog.hwnd]:
                    front[0] += 1
                    return front[0] >= 3
                front[0] = 0
                s.xdotool("mousemove", info["x"] + info["w"] // 2, info["y"] + info["h"] // 2, "click", 1)
                return False
            try:
                wait_for("the dialog in front", in_front, 15, interval=0.3)
            except Failure as e:
                raise Failure(f"{e}; in front: {s.probe('foreground')}")

    def enter_on_icon():
        # The home page command opens web addresses through their protocol, which this prefix lacks.
        s.probe("post", tray, TRAY_CALLBACK, TRAY_ICON_ID, NIN_KEYSELECT)
        box = wait_dialog(s, "the home page's message", app.pid, owner=app.frame["hwnd"])
        text = box.text(MSGBOX_TEXT)
        box.click(IDOK)
        box.wait_gone()
        if not text.startswith("There is no application associated"):
            raise Failure(f"message {text!r}")
        return "the default item (Visit Home Page...) ran: it says there is no browser"
    s.check("n tray: Enter on the selected icon runs the default command", enter_on_icon)

    def open_menu():
        s.probe("post", tray, TRAY_CALLBACK, TRAY_ICON_ID, WM_CONTEXTMENU)
        return wait_for("the tray menu", lambda: next((w for w in s.windows() if w["class"] == "#32768" and
                                                       w["visible"] and w["pid"] == app.pid), None), 10)

    def menu_keys():
        s.xdotool("mousemove", 500, 400)
        menu = open_menu()
        left, top = menu["rect"][:2]
        s.xdotool("key", "Escape")
        wait_for("the menu closed", lambda: focus_of(s, tray)[1] == 0, 5)
        before = s.screen()
        open_menu()
        s.xdotool("key", "n")
        wait_for("the next picture", lambda: s.screen() != before, 15)
        return f"menu at ({left},{top}) (the cursor: Wine tells no icon rectangle); Escape closed it; N showed the next"
    s.check("n tray: Shift+F10 opens the menu, Escape closes it, its access keys run commands", menu_keys)

    def open_settings():
        app.command(ID_SETTINGS)
        d = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
        wait_for("the settings dialog's first control focused", lambda: focus_of(s, d.hwnd)[0] == C_SUBFOLDERS, 10)
        return d

    def tab_order():
        st["dlg"] = d = open_settings()
        seen = tab_walk(s, d.hwnd, len(SETTINGS_TAB_ORDER))
        expect_equal("Tab order", seen, SETTINGS_TAB_ORDER[1:] + SETTINGS_TAB_ORDER[:1])
        for key, cid in SETTINGS_ACCESS_KEYS:
            key_and_focus(s, d.hwnd, key, cid, key)
        return f"{len(seen)} controls in order, both links among them; {len(SETTINGS_ACCESS_KEYS)} access keys"
    if not s.check("o settings dialog: Tab walks every control in order; labels' access keys", tab_order):
        return

    def links_by_key():
        d = st["dlg"]
        key_and_focus(s, d.hwnd, "alt+t", C_LINK_HOME, "the home link")
        s.xdotool("key", "space")
        address_opened("Space on the home link", HOME_ADDRESS, d)
        key_and_focus(s, d.hwnd, "shift+Tab shift+Tab shift+Tab", C_LINK_DONATE, "the donation link")
        s.xdotool("key", "Return")
        address_opened("Enter on the donation link", DONATE_ADDRESS, d)
        key_and_focus(s, d.hwnd, "shift+Tab", C_DONATE_PICTURE, "the donation picture")
        s.xdotool("key", "space")
        address_opened("Space on the donation picture", DONATE_ADDRESS, d)
        holds("the dialog open", d.is_open, 1.0)
        return "Space and Enter open the links and the picture; the dialog stays"
    s.check("o settings dialog: Space or Enter on a focused link or the picture opens it", links_by_key)

    def chooser_by_key():
        d = st["dlg"]
        s.xdotool("key", "alt+a")
        c = wait_dialog(s, "the folder chooser", app.pid, title="Add Folder", owner=d.hwnd)
        wait_for("a control of the chooser focused", lambda: focus_of(s, c.hwnd)[0] != 0, 10)
        seen = tab_walk(s, c.hwnd, 4)
        at = seen.index(C_FOLDER_EDIT) if C_FOLDER_EDIT in seen else -1
        walk = (seen + seen)[at:at + 4] if at >= 0 else seen
        expect_equal("the chooser's Tab order from its edit box", walk, [C_FOLDER_EDIT, C_BROWSE_TREE, IDOK, IDCANCEL])
        s.xdotool("key", "Escape")
        c.wait_gone()
        s.xdotool("key", "alt+a")
        c = wait_dialog(s, "the folder chooser", app.pid, title="Add Folder", owner=d.hwnd)
        wait_for("a control of the chooser focused", lambda: focus_of(s, c.hwnd)[0] != 0, 10)
        key_and_focus(s, c.hwnd, "alt+i", C_FOLDER_EDIT, "the prompt's access key")
        s.xdotool("key", "ctrl+a", "BackSpace")
        s.xdotool("type", winpath(folders[2]))
        wait_for("the typed path", lambda: c.text(C_FOLDER_EDIT) == winpath(folders[2]), 10)
        s.xdotool("key", "Return")
        c.wait_gone()
        want = [winpath(f) for f in folders] + [winpath(folders[2])]
        wait_for("the typed folder listed", lambda: d.control(C_FOLDERS)["entries"][-1:] == want[-1:], 10)
        return ("Alt+A opens it; edit box, tree, OK, Cancel in Tab order; Escape cancels; Alt+I, a typed path and "
                "Enter add it")
    s.check("o folder chooser: Tab order, Escape cancels, its access key, a typed folder and Enter add it",
            chooser_by_key)

    def escape_and_enter():
        d = st.pop("dlg")
        before = read_bytes(settings_idx)
        s.xdotool("key", "Escape")
        d.wait_gone()
        expect_equal("settings.idx after Escape", read_bytes(settings_idx), before)
        d = open_settings()
        key_and_focus(s, d.hwnd, "alt+n", C_RANDOM, "Random")
        wait_for("Random ticked", lambda: d.control(C_RANDOM)["check"] == 1, 5)
        s.xdotool("key", "Return")
        d.wait_gone()
        want = expected_settings(s, "want-keys.idx", {"m_nInterval": 60, "m_bMinutes": 0, "m_bRandom": 1,
                                                      "m_nMonitor": 1}, folders + folders[2:3])
        expect_equal("settings.idx after Enter", read_bytes(settings_idx), want)
        return "Escape left settings.idx as it was; Alt+N ticked Random and Enter wrote it (the added folder too)"
    s.check("o settings dialog: Escape cancels, Enter confirms", escape_and_enter)

    def about_by_key():
        open_menu()
        s.xdotool("key", "a")
        about = wait_dialog(s, "the about box", app.pid, title="About Quadrivue")
        wait_for("OK focused", lambda: focus_of(s, about.hwnd)[0] == IDOK, 10)
        seen = tab_walk(s, about.hwnd, 2)
        expect_equal("the about box's Tab order", seen, [C_LINK_HOME, IDOK])
        s.xdotool("key", "Escape")
        about.wait_gone()
        return "A in the tray menu opened it; Tab reaches the link; Escape closed it"
    s.check("o about box from the tray menu's access key; Tab reaches its link", about_by_key)
    s.check("g Exit ends the process (keyboard)", lambda: f"{app.exit():.1f} s")


def opened_command(opened):
    """An open command for .htm that writes the address it is given into the file opened."""
    return rf'C:\windows\system32\cmd.exe /c echo>{winpath(opened)} "%1"'


def associate_htm(s, command):
    """Makes command the way this prefix opens web addresses (None: nothing opens them; no protocol
    handlers either); returns the file that opened_command writes."""
    for key in ("http", "https", ".htm", "qvpage"):
        registry(s, "delete", f"HKCR\\{key}", "/f")
    if command is not None:
        registry(s, "add", "HKCR\\.htm", "/ve", "/d", "qvpage", "/f")
        registry(s, "add", "HKCR\\qvpage\\shell\\open\\command", "/ve", "/d", command, "/f")
    return os.path.join(s.work, "opened.txt")


def check_about(about):
    about.expect({C_LINK_HOME: {"text": HOME_ADDRESS}, IDOK: {"text": "OK"}})
    texts = about.texts()
    if not any(t.startswith("Quadrivue Version ") for t in texts):
        raise Failure(f"no version line among {texts}")


# ---------------------------------------------------------------- DPI and the README's screenshots

SHOT_FOLDERS = ["Holidays", "Mountains"]
DPI_SCALES = (96, 144)
DPI_TOLERANCE = 2  # pixels off the exact scale factor
DIALOG_FACE = "MS Sans Serif"      # our dialogs' font, 8 points
BROWSE_DIALOG_FACE = "MS Shell Dlg"  # the system's browse dialog's


def set_dpi(s, dpi):
    """Wine's display scale for every program started from now on (the server restarts to take it)."""
    registry(s, "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
    for step in (["wineserver", "-k"], ["wineserver", "-w"], ["wineserver", f"-p{SERVER_LINGER}"]):
        subprocess.run(step, env=s.env, timeout=60)


def save_png(path, rect, pixels):
    with open(path, "wb") as f:
        f.write(png_bytes(rect[2], rect[3], (pixels[y * rect[2] * 3:(y + 1) * rect[2] * 3] for y in range(rect[3]))))


def shot(s, out_dir, name, dialog):
    """Activates dialog with a click on its caption and saves its window once it has settled."""
    left, top, right, bottom = dialog.window["rect"]
    s.xdotool("mousemove", left + 40, top + 8, "click", 1, "mousemove", 1020, 760)
    rect = (left, top, right - left, bottom - top)
    save_png(os.path.join(out_dir, name), rect, settled_grab(s, name, rect))
    return f"{name} {rect[2]}x{rect[3]}"


def settled_grab(s, name, rect):
    """The screen's rect once two grabs in a row agree."""
    last = [None]

    def settled():
        grab, last[0] = last[0], s.screen(rect)
        return grab == last[0]
    wait_for(f"{name} to settle", settled, 10, interval=0.3)
    return last[0]


def clipped_texts(s, dialog, face):
    """Every control of dialog whose text does not fit its rectangle, measured in its font (Wine lets no
    other process read a font: the probe makes the dialog font from face at 8 points as the dialog
    manager does)."""
    bad = []
    for line in s.probe("fits", dialog.hwnd, face, 8):
        words = split_fields(line)
        f = {k: int(v) for k, v in zip(words[2:-2:2], words[3:-2:2])}
        if not f["font"]:
            bad.append(f"{words[-1]!r}: no font to measure with")
        elif f["needw"] > f["havew"] or f["needh"] > f["haveh"]:
            bad.append(f"{words[-1]!r} needs {f['needw']}x{f['needh']}, has {f['havew']}x{f['haveh']}")
    return bad


def overlay_ink(s):
    """(top, bottom, right) of the path overlay's text in the show window while the left button is
    held on it; the band's pixels."""
    band = (0, 0, SHOW_W, 80)
    s.xdotool("mousemove", 400, 300, "mousedown", 1)
    try:
        def inked():
            pixels = s.screen(band)
            rows = [y for y in range(band[3]) if bytes(PATH_TEXT_RGB) in
                    (pixels[(y * SHOW_W + x) * 3:(y * SHOW_W + x) * 3 + 3] for x in range(0, SHOW_W // 2))]
            return (rows, pixels) if rows else None
        rows, pixels = wait_for("the path overlay", inked, 10)
        right = max(x for y in rows for x in range(SHOW_W) if pixels[(y * SHOW_W + x) * 3:(y * SHOW_W + x) * 3 + 3]
                    == bytes(PATH_TEXT_RGB))
        return rows[0], rows[-1], right, pixels
    finally:
        s.xdotool("mouseup", 1)


def run_dpi(s, help_png, out_dir=None):
    """Quadrivue at 96 and 144 DPI: the path overlay's text and the chooser's edit box grow by the
    scale, no control's text is clipped; with out_dir, screenshots of the dialogs and the overlay."""
    # Wine paints captions and frames itself: there is no window manager on the Xvfb.
    registry(s, "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/d", "N", "/f")
    pictures, folders = os.path.join(s.prefix, "drive_c", "users", "Public", "Pictures"), []
    for i, name in enumerate(SHOT_FOLDERS):
        os.makedirs(os.path.join(pictures, name), exist_ok=True)
        for j in range(3 + 4 * i):
            write_bmp(os.path.join(pictures, name, f"{j + 1:02d}.bmp"), 640, 400, i * 5 + j)
        folders.append(f"C:\\users\\Public\\Pictures\\{name}")
    if out_dir:
        os.makedirs(out_dir, exist_ok=True)
    sizes = {}
    try:
        for dpi in DPI_SCALES:
            set_dpi(s, dpi)
            # Started in the pictures folder, where the folder chooser then opens.
            app = App(s, f"app-dpi-{dpi}", ["m_bRandom=0", "m_nInterval=60", "m_bMinutes=0"], folders, help_png,
                      cwd=pictures)
            try:
                app.wait_started()
                sizes[dpi] = walk_dpi(s, app, folders, dpi, out_dir)
            finally:
                app.stop()
    finally:
        set_dpi(s, 96)

    def scaled():
        if len(sizes) != 2 or None in sizes.values():
            raise Failure(f"measured {sizes}")
        low, high = sizes[DPI_SCALES[0]], sizes[DPI_SCALES[1]]
        factor = DPI_SCALES[1] / DPI_SCALES[0]
        wrong = [f"{what} {low[what]} -> {high[what]} px, expected {low[what] * factor:.1f}"
                 for what in low if abs(high[what] - low[what] * factor) > DPI_TOLERANCE]
        if wrong:
            raise Failure("; ".join(wrong))
        return "; ".join(f"{what} {low[what]} -> {high[what]} px" for what in low)
    s.check(f"p at {DPI_SCALES[1]} DPI the overlay's text and the chooser's edit box are "
            f"{DPI_SCALES[1] / DPI_SCALES[0]:g} times their size", scaled)


def walk_dpi(s, app, folders, dpi, out_dir):
    suffix = "" if dpi == 96 else f"-{dpi}dpi"
    sizes = {}

    def overlay():
        top, bottom, right, pixels = overlay_ink(s)
        sizes["overlay text height"] = bottom - top + 1
        if out_dir:
            rect = (0, 0, min(SHOW_W, right + 12), bottom + 8)
            save_png(os.path.join(out_dir, f"path-overlay{suffix}.png"), rect,
                     b"".join(pixels[y * SHOW_W * 3:(y * SHOW_W + rect[2]) * 3] for y in range(rect[3])))
        return f"text rows {top}-{bottom}"
    s.check(f"p {dpi} DPI: the path overlay", overlay)

    def dialog_fits(name, dialog, face=DIALOG_FACE):
        bad = clipped_texts(s, dialog, face)
        if bad:
            raise Failure("; ".join(bad))
        return shot(s, out_dir, f"{name}{suffix}.png", dialog) if out_dir else "every text fits"

    app.command(ID_SETTINGS)
    d = wait_dialog(s, "the settings dialog", app.pid, title="Quadrivue", owner=0)
    d.expect({C_FOLDERS: {"entries": folders}})
    s.check(f"p {dpi} DPI: settings dialog, no text clipped", lambda: dialog_fits("settings-dialog", d))

    def chooser():
        d.click(C_ADD)
        c = wait_dialog(s, "the folder chooser", app.pid, title="Add Folder", owner=d.hwnd)
        try:
            wait_for("the chooser on the pictures folder",
                     lambda: c.text(C_FOLDER_EDIT) == "C:\\users\\Public\\Pictures", 10)
            c.set_text(C_FOLDER_EDIT, folders[0] + "\\Summer")
            edit, tree = c.control(C_FOLDER_EDIT), c.control(C_BROWSE_TREE)
            sizes["chooser edit box height"] = edit["h"]
            if edit["y"] + edit["h"] > tree["y"] or edit["w"] != tree["w"]:
                raise Failure(f"edit box {edit}, tree {tree}: not above the tree, as wide")
            return dialog_fits("folder-chooser", c, BROWSE_DIALOG_FACE)
        finally:
            c.click(IDCANCEL)
            c.wait_gone()
            d.post(WM_CLOSE)
            d.wait_gone()
    s.check(f"p {dpi} DPI: folder chooser, edit box above the tree, no text clipped", chooser)

    def about():
        app.command(ID_ABOUT)
        a = wait_dialog(s, "the about box", app.pid, title="About Quadrivue")
        try:
            return dialog_fits("about-box", a)
        finally:
            a.click(IDOK)
            a.wait_gone()
    s.check(f"p {dpi} DPI: about box, no text clipped", about)
    s.check(f"g Exit ends the process ({dpi} DPI)", lambda: f"{app.exit():.1f} s")
    return sizes if len(sizes) == 2 else None


SOAK_LAYOUT = [
    ("g1.bmp", "bmp", 1280, 960), ("n1.bmp", "bmp", 120, 300), ("j1.jpg", "junk", 3000, 0),
    ("g2.png", "png", 900, 1400), ("t1.png", "truncated", 0, 0), ("g3.bmp", "bmp", 333, 777),
    ("n2.png", "png", 299, 400), ("e1.bmp", "junk", 0, 0), ("g4.png", "png", 1024, 300),
    ("j2.tif", "junk", 900, 0), ("g5.bmp", "bmp", 301, 200), ("n3.bmp", "bmp", 16, 16),
    ("b1.jpg", "jpeg", 6000, 4000),
]
SOAK_MEMORY_GROWTH = 64 * 2**20  # a window-sized bitmap leaked per slide (1.4 MB) passes this in a few dozen slides
SOAK_GDI_GROWTH = 4              # a bitmap or context leaked per slide passes this at once


def run_soak(s, help_png, interval, seconds):
    folders = make_pictures(s, os.path.join(s.work, "pics-soak"), SOAK_LAYOUT)
    app = App(s, "app-soak", [f"m_nInterval={interval}", "m_bMinutes=0", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()
        # Flat from the end of the first minute (a third of a shorter soak) on.
        warm = min(60, seconds / 3)
        frames, t0 = set(), time.monotonic()
        start, samples, series = {}, [], []

        def gdi():
            lines = s.probe("gdi", app.frame["hwnd"])
            return int(lines[0].split()[1]) if lines and lines[0].startswith("gdi") else -1

        def soak():
            while time.monotonic() < t0 + seconds:
                if app.proc.poll() is not None:
                    raise Failure(f"Quadrivue.exe ended with {app.proc.returncode}")
                extra = app.no_extra_windows()
                if extra:
                    raise Failure(extra)
                frames.add(hash(s.screen()))
                if not start and time.monotonic() >= t0 + warm:
                    start.update(mem=app.linux_memory(), gdi=gdi(), at=time.monotonic() - t0)
                if time.monotonic() >= t0 + 60 * (len(series) + 1):
                    series.append(f"{app.linux_memory() / 2**20:.1f}/{gdi()}")
                time.sleep(1)
            samples.append((app.linux_memory(), gdi()))
            if len(frames) < 2:
                raise Failure(f"the screen never changed at interval {interval}")
            return f"{seconds} s at interval {interval}, {len(frames)} different screens seen"
        s.check("i soak: alive, no new window, the show advances", soak)
        if not start or not samples:
            return
        mem1, gdi1 = samples[-1]
        # Wine leaves the private-bytes counter at 0; the Linux process's private pages stand in.
        s.figure(f"soak from {start['at']:.0f} s to {seconds} s: private memory {start['mem'] / 2**20:.1f} -> "
                 f"{mem1 / 2**20:.1f} MiB (Linux /proc), GDI objects {start['gdi']} -> {gdi1}; "
                 f"each minute (MiB/objects): {' '.join(series) or 'none'}")

        def flat():
            grew, objects = mem1 - start["mem"], gdi1 - start["gdi"]
            if start["gdi"] < 0 or gdi1 < 0:
                raise Failure("the frame did not tell its GDI objects")
            if grew > SOAK_MEMORY_GROWTH or objects > SOAK_GDI_GROWTH:
                raise Failure(f"memory grew by {grew / 2**20:.1f} MiB, GDI objects by {objects}")
            return f"memory {grew / 2**20:+.1f} MiB, GDI objects {objects:+d}"
        s.check("i soak: private memory and GDI objects stay flat", flat)
        s.check("g Exit ends the process (soak)", lambda: f"{app.exit():.1f} s")
    finally:
        app.stop()


IDLE_SECONDS = 30


def run_idle_cpu(s, help_png):
    folders = make_pictures(s, os.path.join(s.work, "pics-idle"), MAIN_LAYOUT[:4])
    app = App(s, "app-idle", ["m_nInterval=60", "m_bMinutes=0", "m_bRandom=0"], folders, help_png)
    try:
        app.wait_started()
        first = render(s, os.path.join(folders[1], MAIN_LAYOUT[1][0]), "idle-ref.ppm")

        def idle():
            s.wait_screen("idle-first", first, 20)
            c0, t0 = app.cpu_seconds(), time.monotonic()
            holds("idle", lambda: None if app.proc.poll() is None else "Quadrivue.exe ended", IDLE_SECONDS, 1.0)
            used, span = app.cpu_seconds() - c0, time.monotonic() - t0
            return f"CPU time between slides {used:.2f} s over {span:.1f} s ({100 * used / span:.2f} %)"
        s.check("idle CPU measured", idle)
        app.exit()
    finally:
        app.stop()


FADE_CPU_CHANGES = 4


def run_fade_cpu(s, help_png):
    """Processor time of a change on a 1920 x 1080 show, with the fade and without: the tray's next
    picture, FADE_CPU_CHANGES times each, the Wine process's time over the 2 s after each."""
    folders = make_pictures(s, os.path.join(s.work, "pics-fadecpu"), [("a.bmp", "bmp", 1920, 1080),
                                                                      ("b.bmp", "bmp", 1920, 1080)])
    per_change = {}
    for fade in (1, 0):
        registry(s, "add", REGISTRY_KEY, "/v", "Fade", "/t", "REG_DWORD", "/d", str(fade), "/f")
        app = App(s, f"app-fadecpu{fade}", ["m_nInterval=60", "m_bMinutes=1", "m_bRandom=0"], folders, help_png)
        try:
            app.wait_started()
            holds("the first picture settles", app.no_extra_windows, 3.0, 1.0)
            used = []
            for _ in range(FADE_CPU_CHANGES):
                c0 = app.cpu_seconds()
                app.tray_press()
                holds("the change", lambda: None if app.proc.poll() is None else "Quadrivue.exe ended", 2.0, 0.5)
                used.append(app.cpu_seconds() - c0)
            per_change[fade] = sum(used) / len(used)
            app.exit()
        finally:
            app.stop()
            registry(s, "delete", REGISTRY_KEY, "/v", "Fade", "/f")
    s.check("fade CPU measured", lambda: (
        f"a change on 1920 x 1080: {per_change[1]:.2f} s with the fade, {per_change[0]:.2f} s without; "
        f"the fade itself {per_change[1] - per_change[0]:.2f} s"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin-dir", required=True, help="folder with Quadrivue.exe and quadrivue-cli.exe")
    parser.add_argument("--probe", required=True, help="qv_e2e_probe.exe")
    parser.add_argument("--artifacts", help="where screens that did not match are saved")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    parser.add_argument("--idle-cpu", action="store_true", help="only measure the CPU time between slides")
    parser.add_argument("--fade-cpu", action="store_true",
                        help="only measure the CPU time of a change on a 1920 x 1080 show, with and without the fade")
    parser.add_argument("--soak-interval", type=int, default=0, help="slide interval of the soak, seconds")
    parser.add_argument("--soak-seconds", type=int, default=60, help="length of the soak")
    parser.add_argument("--only",
                        help="run only the starts whose name holds this word (main, empty, pause, names, monitors, "
                             "dependable, dialogs, keyboard, dpi, menu, hotkeys, repeats, shapes, data, rest, fade, soak)")
    parser.add_argument("--screenshots", metavar="DIR", help="only save PNGs of the dialogs in DIR (for the README)")
    args = parser.parse_args()
    for exe in (os.path.join(args.bin_dir, "Quadrivue.exe"), os.path.join(args.bin_dir, "quadrivue-cli.exe"),
                args.probe):
        if not os.path.exists(exe):
            print(f"FAIL missing {exe}")
            return 1

    s = Session(args)
    t0 = time.monotonic()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("e2e: terminated"))  # clean up on the way out
    try:
        s.start()
        help_png = help_picture(s)
        if args.idle_cpu:
            runs = [("idle CPU", run_idle_cpu)]
        elif args.fade_cpu:
            runs = [("fade CPU", run_fade_cpu)]
        elif args.screenshots:
            shots = os.path.abspath(args.screenshots)
            runs = [("screenshots", lambda s, h: run_dpi(s, h, shots)),
                    ("picture menu", lambda s, h: run_picture_menu(s, h, shots)),
                    ("two shows", lambda s, h: run_monitors(s, h, shots))]
        else:
            runs = [("main start", run_main), ("empty list start", run_empty), ("pause start", run_pause),
                    ("names start", run_names), ("monitors start", run_monitors),
                    ("dependable start", run_dependable),
                    ("dialogs start", run_dialogs), ("keyboard start", run_keyboard), ("dpi start", run_dpi),
                    ("picture menu start", run_picture_menu), ("hotkeys start", run_hotkeys),
                    ("no repeats start", run_no_repeats),
                    ("shapes start", run_shapes), ("data start", run_data), ("rest start", run_rest),
                    ("fade start", run_fade),
                    ("soak start", lambda s, h: run_soak(s, h, args.soak_interval, args.soak_seconds))]
        for name, run in runs:
            if args.only and args.only not in name:
                continue
            try:
                run(s, help_png)
            except Exception as e:
                s.record(f"{name} could not go on", False, f"{type(e).__name__}: {e}")
    finally:
        s.close()
    passed = sum(s.results)
    print(f"e2e: {passed} passed, {len(s.results) - passed} failed in {time.monotonic() - t0:.0f} s")
    return 0 if s.results and all(s.results) else 1


if __name__ == "__main__":
    sys.exit(main())
