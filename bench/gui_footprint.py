#!/usr/bin/env python3
"""What the window host costs while it sits in the notification area, beside the toolkit's floor.

Runs, one after the other on a private Xvfb display with a notification area (trayer) and a
private session bus:
  - velmond on boards/w83782d.json at the 5 s update interval, hidden in the tray;
  - velmo_gui_floor, a minimal Qt 6 program with one tray icon and a hidden tab widget.
For each it reports the time from start until its icon is embedded in the notification area,
then, after a short settling time, over 60 s: CPU time (all threads, from schedstat), wake-ups
(voluntary context switches of all threads), and at the end RSS and PSS (smaps_rollup).

  bench/gui_footprint.py [--seconds 60] [--build build/release]
"""

import argparse
import ctypes
import ctypes.util
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

TARGETS = {  # what each program must stay within, against the floor
    "cpu_ms": 5.0,  # absolute, per 60 s
    "wakeups_over_floor": 12,
    "rss_over_floor_kb": 5 * 1024,
    "start_to_tray_ms": 100.0,
}


# ---- X11 through ctypes: is a program's icon embedded in the notification area? ----------------

class XClassHint(ctypes.Structure):
    # Plain pointers: Xlib owns the strings and they go back to XFree as they came.
    _fields_ = [("res_name", ctypes.c_void_p), ("res_class", ctypes.c_void_p)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class X11:
    IS_VIEWABLE = 2

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                      ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                      ctypes.POINTER(ctypes.c_uint)]
        self.x.XGetClassHint.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                         ctypes.POINTER(XClassHint)]
        self.x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                ctypes.POINTER(XWindowAttributes)]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def children(self, window):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        kids, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(kids), ctypes.byref(n)):
            return []
        out = [kids[i] for i in range(n.value)]
        if kids:
            self.x.XFree(kids)
        return out

    def class_name(self, window):
        hint = XClassHint()
        if not self.x.XGetClassHint(self.dpy, window, ctypes.byref(hint)):
            return None
        name = ctypes.string_at(hint.res_name).decode() if hint.res_name else ""
        for pointer in (hint.res_name, hint.res_class):
            if pointer:
                self.x.XFree(pointer)
        return name

    def viewable(self, window):
        attrs = XWindowAttributes()
        return (self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attrs))
                and attrs.map_state == self.IS_VIEWABLE)

    def embedded_icon(self, name):
        """A viewable window of that class below some other client's window (not a top level)."""
        for top in self.children(self.root):
            stack = list(self.children(top))
            while stack:
                w = stack.pop()
                if self.class_name(w) == name and self.viewable(w):
                    return True
                stack.extend(self.children(w))
        return False


# ---- /proc --------------------------------------------------------------------------------------

def tasks(pid):
    return [os.path.join("/proc", str(pid), "task", t)
            for t in os.listdir("/proc/%d/task" % pid)]


def cpu_ns(pid):
    total = 0
    for t in tasks(pid):
        try:
            total += int(open(os.path.join(t, "schedstat")).read().split()[0])
        except OSError:
            pass  # a thread that ended meanwhile
    return total


def wakeups(pid):
    total = 0
    for t in tasks(pid):
        try:
            for line in open(os.path.join(t, "status")):
                if line.startswith("voluntary_ctxt_switches:"):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total


def memory_kb(pid):
    values = {}
    for line in open("/proc/%d/smaps_rollup" % pid):
        parts = line.split()
        if parts[0] in ("Rss:", "Pss:"):
            values[parts[0][:-1]] = int(parts[1])
    return values["Rss"], values["Pss"]


# ---- one program --------------------------------------------------------------------------------

def measure(label, argv, class_name, x11, env, seconds, settle):
    started = time.monotonic()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    while not x11.embedded_icon(class_name):
        if proc.poll() is not None:
            raise RuntimeError("%s ended before its icon showed: %s"
                               % (label, proc.stderr.read().decode(errors="replace")))
        if time.monotonic() - started > 20:
            proc.kill()
            raise RuntimeError("%s: no icon in the notification area after 20 s" % label)
        time.sleep(0.001)
    to_tray_ms = (time.monotonic() - started) * 1000
    time.sleep(settle)
    cpu0, wake0 = cpu_ns(proc.pid), wakeups(proc.pid)
    time.sleep(seconds)
    cpu1, wake1 = cpu_ns(proc.pid), wakeups(proc.pid)
    rss, pss = memory_kb(proc.pid)
    threads = len(tasks(proc.pid))
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    scale = 60.0 / seconds
    return {"label": label, "start_to_tray_ms": to_tray_ms,
            "cpu_ms": (cpu1 - cpu0) / 1e6 * scale, "wakeups": (wake1 - wake0) * scale,
            "rss_kb": rss, "pss_kb": pss, "threads": threads}


def start(argv, env, ready):
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if ready():
            return proc
        time.sleep(0.05)
    proc.kill()
    raise RuntimeError("%s did not come up" % argv[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--settle", type=float, default=3.0)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    args = parser.parse_args()

    velmond = os.path.join(args.build, "monitor", "app", "velmond")
    floor = os.path.join(args.build, "bench", "velmo_gui_floor")
    for program in (velmond, floor, velmond + "-gui"):
        if not os.access(program, os.X_OK):
            sys.exit("missing %s: cmake --build %s --target velmond velmond-gui velmo_gui_floor"
                     % (program, args.build))

    work = tempfile.mkdtemp(prefix="velmo-gui-bench-")
    helpers = []
    bus_pid = None
    try:
        display = ":%d" % (100 + os.getpid() % 800)
        helpers.append(start(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                             os.environ,
                             lambda: os.path.exists("/tmp/.X11-unix/X" + display[1:])))
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=work,
                   XDG_CONFIG_HOME=os.path.join(work, "config"), HOME=work)
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("WAYLAND_DISPLAY", None)
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], capture_output=True, text=True, check=True)
        address, bus_pid = bus.stdout.split()
        bus_pid = int(bus_pid)
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        x11 = X11(display)
        tray_up = lambda: any(x11.class_name(w) == "trayer" for w in x11.children(x11.root))
        helpers.append(start(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "24", "--transparent", "false"], env,
                             tray_up))
        time.sleep(0.5)

        results = [
            measure("velmond", [velmond, "--board", os.path.join(ROOT, "boards", "w83782d.json"),
                                "--registry", os.path.join(work, "registry.reg"),
                                "--dry-run-power"], "velmond", x11, env, args.seconds,
                    args.settle),
            measure("Qt floor", [floor], "velmo_gui_floor", x11, env, args.seconds, args.settle),
        ]
    finally:
        if bus_pid:
            os.kill(bus_pid, signal.SIGTERM)
        for proc in reversed(helpers):
            proc.terminate()
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
        shutil.rmtree(work, ignore_errors=True)

    gui, base = results
    print("%-10s %12s %12s %10s %10s %16s %8s" % ("program", "CPU ms/60s", "wakeups/60s",
                                                  "RSS KiB", "PSS KiB", "start-to-tray ms",
                                                  "threads"))
    for r in results:
        print("%-10s %12.2f %12.0f %10d %10d %16.1f %8d" % (
            r["label"], r["cpu_ms"], r["wakeups"], r["rss_kb"], r["pss_kb"],
            r["start_to_tray_ms"], r["threads"]))
    checks = [
        ("CPU per 60 s", "%.2f ms" % gui["cpu_ms"], gui["cpu_ms"] <= TARGETS["cpu_ms"],
         "<= %.0f ms" % TARGETS["cpu_ms"]),
        ("wake-ups over the floor", "%+.0f" % (gui["wakeups"] - base["wakeups"]),
         gui["wakeups"] - base["wakeups"] <= TARGETS["wakeups_over_floor"],
         "<= %d" % TARGETS["wakeups_over_floor"]),
        ("RSS over the floor", "%+d KiB" % (gui["rss_kb"] - base["rss_kb"]),
         gui["rss_kb"] - base["rss_kb"] <= TARGETS["rss_over_floor_kb"],
         "<= %d KiB" % TARGETS["rss_over_floor_kb"]),
        ("start to tray", "%.1f ms" % gui["start_to_tray_ms"],
         gui["start_to_tray_ms"] <= TARGETS["start_to_tray_ms"],
         "<= %.0f ms" % TARGETS["start_to_tray_ms"]),
    ]
    print()
    for name, value, ok, target in checks:
        print("%-24s %12s  target %-12s %s" % (name, value, target, "ok" if ok else "MISSED"))


if __name__ == "__main__":
    main()
