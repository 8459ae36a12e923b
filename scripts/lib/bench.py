#!/usr/bin/env python3
"""Times markwell-cli's whole job for classes of several sizes; run through scripts/bench.

Each run is `markwell-cli create --setup FILE --out X.xls --picture X.png --force --timings` as a
process of its own, in a scratch folder with its own settings, cache and work folder. For each size
it prints the whole process's time (median and min-max over the runs), the medians of the job's
own phases (the --timings line), the time outside the job (start-up, reading the setup, writing
the results) and the largest peak memory of the process (max RSS).
"""

import argparse
import json
import os
import platform
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_setup  # noqa: E402

# The largest class twice: with points spread over each test's range, and with small points
# (0 to 3) repeated over and over.
TABLE_SIZES = ["sample", (15, 40), (60, 500), (250, 32767), (250, 32767, "small")]
LARGEST = (250, 32767)
PHASES = ["template", "fill", "save", "reopen", "picture", "total"]


def parse_size(text):
    if text == "sample":
        return "sample"
    tests, sep, students = text.lower().replace("×", "x").partition("x")
    small = students.endswith("s")
    students = students[:-1] if small else students
    if not sep or not tests.isdigit() or not students.isdigit():
        raise argparse.ArgumentTypeError(
            f'"{text}" is no size: write sample or TESTSxSTUDENTS, such as 60x500 (60x500s: points of 0 to 3)')
    size = (int(tests), int(students)) + (("small",) if small else ())
    if size[0] > bench_setup.MAX_TESTS or size[1] > bench_setup.MAX_STUDENTS:
        raise argparse.ArgumentTypeError(
            f'"{text}": a class has at most {bench_setup.MAX_TESTS} tests and {bench_setup.MAX_STUDENTS} students')
    return size


def parse_sizes(text):
    return [parse_size(part.strip()) for part in text.split(",") if part.strip()]


def positive(text):
    if not text.isdigit() or int(text) < 1:
        raise argparse.ArgumentTypeError(f'"{text}" is no number of runs (1 or more)')
    return int(text)


def cells(size):
    return 2 * 1 if size == "sample" else size[0] * size[1]


def label(size):
    if size == "sample":
        return "sample (2 × 1)"
    return f"{size[0]:,} × {size[1]:,}" + (", points 0–3" if len(size) > 2 else "")


def default_runs(size, sweep, quick):
    if quick:
        return 3 if cells(size) <= 1_000_000 else 1
    if sweep:
        return 3 if cells(size) <= 1_000_000 else 1
    if cells(size) <= 10_000:
        return 9
    return 5 if cells(size) <= 100_000 else 3


def sweep_sizes(steps=8):
    """A geometric series of classes from 2 × 1 to the largest: tests and students each grow by
    the same factor at every step."""
    sizes = []
    for k in range(steps + 1):
        f = k / steps
        sizes.append((round(2 * (LARGEST[0] / 2) ** f), round(LARGEST[1] ** f)))
    return sizes


def ms(value):
    if abs(value) < 10:
        return f"{value:.2f}"
    if abs(value) < 100:
        return f"{value:.1f}"
    return f"{value:,.0f}"


class Runner:
    def __init__(self, cli, scratch):
        self.cli = cli
        self.scratch = scratch
        self.runs_folder = os.path.join(scratch, "run")
        os.makedirs(self.runs_folder, exist_ok=True)
        folders = {}
        for key, name in [("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache"), ("TEMP", "temp"),
                          ("XDG_RUNTIME_DIR", "runtime")]:
            folders[key] = os.path.join(scratch, name)
            os.makedirs(folders[key], mode=0o700, exist_ok=True)
        # The runs never see the user's own settings, work folder or caches.
        self.env = dict(os.environ, **folders, TMPDIR=os.path.join(scratch, "temp"))
        self.env.pop("QT_QPA_PLATFORM", None)

    def setup_file(self, size):
        name = "sample.txt" if size == "sample" else "class_" + "_".join(map(str, size)) + ".txt"
        path = os.path.join(self.scratch, name)
        if not os.path.exists(path):
            bench_setup.write_setup(path, size)
        return path

    def run_once(self, setup):
        """One process: (wall seconds, the --timings phases, max RSS in KiB)."""
        err_path = os.path.join(self.scratch, "stderr.txt")
        command = [self.cli, "create", "--setup", setup, "--out", "X.xls", "--picture", "X.png", "--force",
                   "--timings"]
        with open(err_path, "wb") as err:
            start = time.perf_counter()
            child = subprocess.Popen(command, cwd=self.runs_folder, env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=err)
            try:
                # wait4 gives this child's own resource use, its peak memory among it.
                _, status, usage = os.wait4(child.pid, 0)
            except BaseException:
                # Interrupted: the run ends (and deletes its work files) before the scratch folder goes.
                child.terminate()
                child.wait()
                raise
            wall = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        with open(err_path, encoding="utf-8", errors="replace") as f:
            messages = f.read()
        if child.returncode in (-signal.SIGINT, -signal.SIGTERM, -signal.SIGHUP):
            # Stopped with the rest of the bench (Ctrl-C reaches every process of the terminal).
            raise KeyboardInterrupt
        if child.returncode != 0:
            sys.stderr.write(f"bench: markwell-cli ended with {child.returncode} for {setup}:\n{messages}")
            sys.exit(1)
        timings = None
        for line in messages.splitlines():
            if line.startswith("{") and '"total"' in line:
                timings = json.loads(line)
        if timings is None:
            sys.stderr.write(f"bench: markwell-cli printed no timings for {setup}:\n{messages}")
            sys.exit(1)
        return wall, timings, usage.ru_maxrss

    def measure(self, size, runs):
        setup = self.setup_file(size)
        walls, phases, rss = [], {p: [] for p in PHASES}, []
        for _ in range(runs):
            wall, timings, maxrss = self.run_once(setup)
            walls.append(wall * 1000)
            for p in PHASES:
                phases[p].append(float(timings[p]))
            rss.append(maxrss)
        return {
            "runs": runs,
            "wall": statistics.median(walls),
            "min": min(walls),
            "max": max(walls),
            "phases": {p: statistics.median(v) for p, v in phases.items()},
            "outside": statistics.median(w - t for w, t in zip(walls, phases["total"])),
            "rss": max(rss) / 1024,
        }


def machine():
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    load = os.getloadavg()[0] if hasattr(os, "getloadavg") else float("nan")
    return f"{model}, {os.cpu_count()} cores, load {load:.1f} at the start"


def print_table(runner, sizes, runs_for):
    print(f"markwell-cli create --out X.xls --picture X.png --force --timings (release build); {machine()}.")
    print("Times in ms: the whole process (median, min–max over the runs), the job's phases from")
    print("--timings (medians), the time outside the job (start-up, reading the setup, writing the")
    print("results; median); peak memory is the largest max RSS of the process over the runs.")
    print()
    print("| class (tests × students) | runs | whole process | min–max | template | fill | save | reopen "
          "| picture | job total | outside the job | peak memory |")
    print("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|")
    for size in sizes:
        r = runner.measure(size, runs_for(size))
        p = r["phases"]
        print(f"| {label(size)} | {r['runs']} | {ms(r['wall'])} | {ms(r['min'])}–{ms(r['max'])} | "
              + " | ".join(ms(p[name]) for name in PHASES)
              + f" | {ms(r['outside'])} | {r['rss']:,.0f} MiB |", flush=True)


def print_sweep(runner, sizes, runs_for):
    print(f"Size sweep: markwell-cli create --out X.xls --picture X.png --force --timings (release build); "
          f"{machine()}.")
    print("Cells = tests × students; medians over the runs; µs per cell = time / cells; µs per added cell =")
    print("the job's extra time over the line above / the extra cells (steady where the cost is linear).")
    print()
    print("| tests × students | cells | runs | whole process ms | µs per cell | job total ms | job µs per cell "
          "| job µs per added cell | peak memory |")
    print("|--:|--:|--:|--:|--:|--:|--:|--:|--:|")
    previous = None
    for size in sizes:
        r = runner.measure(size, runs_for(size))
        n = cells(size)
        total = r["phases"]["total"]
        added = "–"
        if previous is not None and n > previous[0]:
            added = ms((total - previous[1]) * 1000 / (n - previous[0]))
        previous = (n, total)
        print(f"| {label(size)} | {n:,} | {r['runs']} | {ms(r['wall'])} | {ms(r['wall'] * 1000 / n)} | "
              f"{ms(total)} | {ms(total * 1000 / n)} | {added} | {r['rss']:,.0f} MiB |", flush=True)


def main(argv):
    parser = argparse.ArgumentParser(prog="scripts/bench", description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", type=parse_sizes, metavar="LIST",
                        help="the classes to time, such as sample,15x40,60x500,250x32767,250x32767s (the "
                             "default; a trailing s: points of 0 to 3)")
    parser.add_argument("--runs", type=positive, metavar="N",
                        help="runs per class (default: 9 for small classes, 5 for 60x500, 3 for the largest; "
                             "also MARKWELL_BENCH_RUNS)")
    parser.add_argument("--quick", action="store_true",
                        help="leave out 250x32767 and run each class 3 times")
    parser.add_argument("--sweep", action="store_true",
                        help="time a geometric series of classes from 2x1 to 250x32767 instead, to show the "
                             "cost per cell")
    parser.add_argument("--cli", help=argparse.SUPPRESS)
    parser.add_argument("--scratch", help=argparse.SUPPRESS)
    parser.add_argument("--check-only", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.runs is None and os.environ.get("MARKWELL_BENCH_RUNS"):
        try:
            args.runs = positive(os.environ["MARKWELL_BENCH_RUNS"])
        except argparse.ArgumentTypeError as e:
            parser.error(f"MARKWELL_BENCH_RUNS: {e}")
    if args.check_only:
        return 0

    if args.sweep:
        sizes = args.sizes or sweep_sizes()
    else:
        sizes = args.sizes or TABLE_SIZES
    if args.quick and not args.sizes:
        sizes = [s for s in sizes if cells(s) <= 1_000_000]

    def runs_for(size):
        return args.runs or default_runs(size, args.sweep, args.quick)

    runner = Runner(args.cli, args.scratch)
    # One run first, not counted: the fonts' cache is made in the scratch cache folder.
    runner.run_once(runner.setup_file("sample"))
    (print_sweep if args.sweep else print_table)(runner, sizes, runs_for)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
