#!/usr/bin/env python3
"""How light velmond --headless is: a one-shot run beside `sensors -j`, and a running monitor.

In one run, alternating so that both meet the same machine state:
  - `velmond --headless --board boards/w83782d.json --ticks 0` (creation and the exit path with
    its save) and `sensors -j` (lm-sensors), each --runs times: median and best wall time, and
    the peak RSS of each;
  - a velmond --headless that keeps running: its RSS and PSS after its first second, and whether
    any Qt library is mapped into it.
Targets: the one-shot's median under 2x that of sensors -j; RSS under 8 MiB; no Qt.

  bench/headless_footprint.py [--runs 20] [--build build/release]
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RSS_LIMIT_KB = 8 * 1024


def wall_ms(argv, env):
    started = time.perf_counter()
    subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.perf_counter() - started) * 1000


def peak_rss_kb(argv, env, work):
    """Peak RSS of one run, measured by GNU time: a child forked from this Python would carry
    the interpreter's own peak into its count."""
    out = os.path.join(work, "time.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out] + argv, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return int(open(out).read().split()[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    args = parser.parse_args()
    velmond = os.path.join(args.build, "monitor", "app", "velmond")
    if not os.access(velmond, os.X_OK):
        sys.exit("missing %s: cmake --build %s --target velmond" % (velmond, args.build))
    sensors = shutil.which("sensors")
    if not sensors or not os.access("/usr/bin/time", os.X_OK):
        sys.exit("sensors (lm-sensors) and /usr/bin/time (time) are needed")

    work = tempfile.mkdtemp(prefix="velmo-headless-bench-")
    try:
        env = dict(os.environ, XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   HOME=work)
        board = os.path.join(ROOT, "boards", "w83782d.json")
        one_shot = [velmond, "--headless", "--board", board, "--registry",
                    os.path.join(work, "registry.reg"), "--ticks", "0"]
        wall_ms(one_shot, env)  # the first run writes the settings file; later ones find it
        runs = {"velmond": [], "sensors": []}
        for _ in range(args.runs):
            runs["velmond"].append((wall_ms(one_shot, env), peak_rss_kb(one_shot, env, work)))
            runs["sensors"].append((wall_ms([sensors, "-j"], env),
                                    peak_rss_kb([sensors, "-j"], env, work)))

        running = subprocess.Popen([velmond, "--headless", "--board", board, "--registry",
                                    os.path.join(work, "running.reg")], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        rss = pss = 0
        for line in open("/proc/%d/smaps_rollup" % running.pid):
            parts = line.split()
            if parts[0] == "Rss:":
                rss = int(parts[1])
            elif parts[0] == "Pss:":
                pss = int(parts[1])
        maps = open("/proc/%d/maps" % running.pid).read()
        qt = sorted({line.split()[-1] for line in maps.splitlines() if "libQt" in line})
        running.send_signal(signal.SIGTERM)
        running.wait(10)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("%-34s %10s %10s %12s" % ("one-shot", "median ms", "best ms", "peak RSS KiB"))
    for name, label in (("velmond", "velmond --headless --ticks 0"), ("sensors", "sensors -j")):
        times = [t for t, _ in runs[name]]
        print("%-34s %10.2f %10.2f %12d" % (label, statistics.median(times), min(times),
                                           max(r for _, r in runs[name])))
    ratio = (statistics.median(t for t, _ in runs["velmond"]) /
             statistics.median(t for t, _ in runs["sensors"]))
    print()
    print("running velmond --headless: RSS %d KiB, PSS %d KiB, Qt libraries mapped: %s"
          % (rss, pss, ", ".join(qt) if qt else "none"))
    print("one-shot wall time vs sensors -j: %.2fx (target < 2x) %s"
          % (ratio, "ok" if ratio < 2 else "MISSED"))
    peak = max(r for _, r in runs["velmond"])
    print("RSS: running %d KiB, one-shot peak %d KiB (target < %d KiB) %s"
          % (rss, peak, RSS_LIMIT_KB, "ok" if max(rss, peak) < RSS_LIMIT_KB else "MISSED"))
    print("Qt in the headless program: %s" % ("none, ok" if not qt else "MISSED"))


if __name__ == "__main__":
    main()
