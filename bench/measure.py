#!/usr/bin/env python3
"""Measures the program against its floor on the current X display; scripts/bench runs each
figure under an Xvfb of its own and prints the table.

  measure.py BUILD_DIR RESULTS startup|memory|bridge|soak|native|size [--quick]
  measure.py BUILD_DIR RESULTS table

Each figure appends one JSON object per line to RESULTS; `table` reads them back. Runs of the
program and of the floor alternate, so that the machine's noise falls on both.
"""
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

IDLE_SECONDS = 20
SETTLE_SECONDS = 5
ROUND_TRIPS = 1000
BURST = 10000



class Build:
    def __init__(self, root):
        self.program = os.path.join(root, "orvanta-tool")
        self.floor = os.path.join(root, "bench", "orvanta-floor")
        self.bridge = os.path.join(root, "bench", "bridge-bench")
        self.probe = os.path.join(root, "bench", "paint-probe")
        # The program as it would be without each of its two choices, for the figures behind
        # them: WebKit's own hardware-acceleration policy instead of NEVER, and glibc's mmap
        # threshold left to glibc instead of fixed at 1 MiB.
        self.default_acceleration = os.path.join(root, "bench", "libwebkit-default-acceleration.so")
        self.glibc_threshold = os.path.join(root, "bench", "libglibc-mmap-threshold.so")
        self.ipc_bench = os.path.join(root, "bench", "ipc_bench")


# ---- processes ----------------------------------------------------------------------------

def children_of():
    """Parent pid -> child pids, for every process on the machine."""
    tree = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        ppid = int(stat.rsplit(")", 1)[1].split()[1])
        tree.setdefault(ppid, []).append(int(entry))
    return tree


def descendants(pid):
    tree, found, todo = children_of(), [], [pid]
    while todo:
        for child in tree.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def pss_kb(pid):
    for line in read(f"/proc/{pid}/smaps_rollup").splitlines():
        if line.startswith("Pss:"):
            return int(line.split()[1])
    return 0


def context_switches(pid):
    """Voluntary and involuntary context switches of the process's main (UI) thread."""
    fields = dict(line.split(":", 1) for line in read(f"/proc/{pid}/task/{pid}/status").splitlines() if ":" in line)
    return int(fields["voluntary_ctxt_switches"]), int(fields["nonvoluntary_ctxt_switches"])


def alive(pid):
    state = read(f"/proc/{pid}/stat")
    return bool(state) and state.rsplit(")", 1)[1].split()[0] != "Z"


class Started:
    """One start of the program or of the floor, with a cache folder kept per variant so that
    every measured start finds the profile a previous start left (as a user's does)."""

    def __init__(self, argv, cache, extra_env=None, stdout=subprocess.DEVNULL):
        env = dict(os.environ, XDG_CACHE_HOME=cache, **(extra_env or {}))
        self.started_ns = time.monotonic_ns()
        self.process = subprocess.Popen(argv, env=env, stdout=stdout, stderr=subprocess.DEVNULL)
        self.pid = self.process.pid

    def stop(self):
        helpers = descendants(self.pid)
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        # Let the engine's helpers end too, so that nothing of this run is left for the next.
        deadline = time.monotonic() + 5
        while any(alive(p) for p in helpers) and time.monotonic() < deadline:
            time.sleep(0.02)
        for p in helpers:
            if alive(p):
                os.kill(p, signal.SIGKILL)


def wait_painted(build, started):
    """Milliseconds from the start to the window on screen and to the page painted in it."""
    out = subprocess.run([build.probe, str(started.pid), "30"], capture_output=True, text=True, check=True).stdout
    seen = json.loads(out)
    return ((seen["window_ns"] - started.started_ns) / 1e6, (seen["paint_ns"] - started.started_ns) / 1e6)


class Variants:
    """The programs compared, each with a cache folder of its own for the whole figure."""

    def __init__(self, build, names):
        self.build = build
        self.folder = tempfile.TemporaryDirectory(prefix="ov-bench-")
        known = {
            "program": ([build.program], None),
            "floor": ([build.floor], None),
            "program-default-acceleration": ([build.program], {"LD_PRELOAD": build.default_acceleration}),
            "program-glibc-threshold": ([build.program], {"LD_PRELOAD": build.glibc_threshold}),
        }
        self.variants = {name: known[name] for name in names}
        for name in names:
            os.makedirs(os.path.join(self.folder.name, name))

    def start(self, name, extra=()):
        argv, env = self.variants[name]
        return Started([*argv, *extra], os.path.join(self.folder.name, name), env)

    def rounds(self, count):
        """(round, name) pairs, the order rotated every round."""
        names = list(self.variants)
        for r in range(count):
            for i in range(len(names)):
                yield r, names[(r + i) % len(names)]


# ---- figures ------------------------------------------------------------------------------

def figure_startup(build, quick):
    runs = 5 if quick else 16
    variants = Variants(build, ["program", "floor", "program-default-acceleration", "program-glibc-threshold"])
    times = {name: {"window_ms": [], "paint_ms": []} for name in variants.variants}
    for r, name in variants.rounds(runs + 1):
        started = variants.start(name)
        try:
            window_ms, paint_ms = wait_painted(build, started)
        finally:
            started.stop()
        if r == 0:
            continue  # the first start of each fills caches and the profile: not counted
        times[name]["window_ms"].append(window_ms)
        times[name]["paint_ms"].append(paint_ms)
    return {"figure": "startup", "runs": runs, "times": times}


def process_kind(pid, ui):
    if pid == ui:
        return "ui"
    name = read(f"/proc/{pid}/comm").strip()
    if name.startswith("WebKitWebProces"):
        return "web"
    if name.startswith("WebKitNetworkPr"):
        return "network"
    return "other"


def footprint(pid):
    kinds = {"ui": 0, "web": 0, "network": 0, "other": 0}
    for p in [pid, *descendants(pid)]:
        kinds[process_kind(p, pid)] += pss_kb(p)
    kinds["total"] = sum(kinds.values())
    return kinds


def figure_memory(build, quick):
    """PSS of every process 5 s after the page painted; then the UI thread's context switches
    over 20 idle seconds (the program and the floor only)."""
    rounds = 1 if quick else 3
    idle = 5 if quick else IDLE_SECONDS
    variants = Variants(build, ["program", "floor", "program-default-acceleration"])
    results = {name: {"pss_kb": [], "idle_switches": []} for name in variants.variants}
    # A first start of each fills caches and the profile: not measured.
    for name in variants.variants:
        started = variants.start(name)
        try:
            wait_painted(build, started)
        finally:
            started.stop()
    for _, name in variants.rounds(rounds):
        started = variants.start(name)
        try:
            wait_painted(build, started)
            time.sleep(SETTLE_SECONDS)
            results[name]["pss_kb"].append(footprint(started.pid))
            if name in ("program", "floor"):
                before = context_switches(started.pid)
                time.sleep(idle)
                after = context_switches(started.pid)
                results[name]["idle_switches"].append([a - b for a, b in zip(after, before)])
        finally:
            started.stop()
    return {"figure": "memory", "runs": rounds, "idle_seconds": idle, "results": results}


def bridge_run(argv, cache, extra_env=None):
    started = Started(argv, cache, extra_env, stdout=subprocess.PIPE)
    try:
        out, _ = started.process.communicate(timeout=900)
    finally:
        started.stop()
    result = json.loads(out.strip().splitlines()[-1]) if out.strip() else {"failure": "no output"}
    if "failure" in result:
        raise SystemExit(f"{argv[0]}: {result['failure']}")
    return result


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[round(fraction * (len(ordered) - 1))]


def figure_bridge(build, quick):
    """The program's bridge (the real handler, a worker per message), the same with the worker's
    job done on the UI thread (no thread), and the floor's direct answer."""
    rounds = 1 if quick else 3
    folder = tempfile.TemporaryDirectory(prefix="ov-bench-")
    sides = {"program": ([build.bridge], []), "program-on-ui-thread": ([build.bridge], ["--on-ui-thread"]),
             "floor": ([build.floor], [])}
    names = list(sides)
    results = {side: {"median_ms": [], "p99_ms": [], "burst_ms": [], "burst_answered": []} for side in sides}
    for r in range(rounds):
        for i in range(len(names)):
            side = names[(r + i) % len(names)]
            binary, extra = sides[side]
            cache = os.path.join(folder.name, side)
            trips = bridge_run([*binary, "round-trips", str(ROUND_TRIPS), *extra], cache)
            assert trips["report"] == {"done": True}, trips["report"]
            times = trips["round_trip_ms"]
            results[side]["median_ms"].append(statistics.median(times))
            results[side]["p99_ms"].append(percentile(times, 0.99))
            burst = bridge_run([*binary, "burst", str(BURST), *extra], cache)
            results[side]["burst_ms"].append(burst["report"]["elapsed"])
            results[side]["burst_answered"].append(
                burst["report"]["answered"] if burst["report"]["pending"] == 0 else -1)
    return {"figure": "bridge", "runs": rounds, "round_trips": ROUND_TRIPS, "burst": BURST, "results": results}


def figure_soak(build, quick):
    folder = tempfile.TemporaryDirectory(prefix="ov-bench-")
    results = {}
    for side, binary, env in (("program", build.bridge, None), ("floor", build.floor, None),
                              ("program-glibc-threshold", build.bridge, {"LD_PRELOAD": build.glibc_threshold})):
        out = bridge_run([binary, "soak"], os.path.join(folder.name, side), env)
        results[side] = {k: out[k] for k in ("report", "pss_start_kb", "pss_end_kb", "soak_seconds", "pss_series")}
    return {"figure": "soak", "results": results}


def figure_native(build, quick):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([build.ipc_bench, "--benchmark_repetitions=" + ("3" if quick else "10"),
                        "--benchmark_out=" + out.name, "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL)
        report = json.load(open(out.name))
    medians = {b["run_name"]: b["real_time"] for b in report["benchmarks"] if b.get("aggregate_name") == "median"}
    units = {b["run_name"]: b["time_unit"] for b in report["benchmarks"]}
    assert set(units.values()) == {"ns"}, units
    runs = sum(1 for b in report["benchmarks"] if b.get("run_type") == "iteration") // max(len(medians), 1)
    return {"figure": "native", "runs": runs, "median_ns": medians}


def figure_size(build, quick):
    sizes = {}
    with tempfile.TemporaryDirectory() as folder:
        for name, path in (("program", build.program), ("floor", build.floor)):
            stripped = os.path.join(folder, name)
            subprocess.run(["strip", "--strip-all", "-o", stripped, path], check=True)
            sizes[name] = os.path.getsize(stripped)
    return {"figure": "size", "bytes": sizes}


# ---- table --------------------------------------------------------------------------------

def spread(values):
    return f"{statistics.median(values):.0f} ms ({min(values):.0f}–{max(values):.0f})"


def table(records):
    rows = []

    def row(figure, program, baseline, ratio, runs, goal=""):
        rows.append((figure, program, baseline, ratio, runs, goal))

    def mb(kb):
        return f"{kb / 1024:.1f} MB"

    def median_of(dicts, key):
        return statistics.median(d[key] for d in dicts)

    for record in records:
        kind = record["figure"]
        if kind == "startup":
            t = record["times"]
            runs = f"{record['runs']} + {record['runs']}"
            for key, label in (("window_ms", "start-up: exec → window on screen"),
                               ("paint_ms", "start-up: exec → page painted")):
                p, f = t["program"][key], t["floor"][key]
                ratio = statistics.median(p) / statistics.median(f)
                row(label, spread(p), spread(f), f"{ratio:.2f}×", runs,
                    ("≤ 1.05×: " + ("met" if ratio <= 1.05 else "missed")) if key == "paint_ms" else "")
            p = t["program"]["paint_ms"]
            for name, label in (("program-default-acceleration", "WebKit's default policy ALWAYS"),
                                ("program-glibc-threshold", "mmap threshold left to glibc")):
                b = t[name]["paint_ms"]
                row(f"start-up: page painted (baseline: program with {label})", spread(p), spread(b),
                    f"{statistics.median(p) / statistics.median(b):.2f}×", runs)
        elif kind == "memory":
            r = record["results"]
            runs = f"{record['runs']} + {record['runs']}"
            for key, label in (("ui", "PSS, UI process"), ("web", "PSS, web process"),
                               ("network", "PSS, network process"), ("other", "PSS, sandbox (bwrap)"),
                               ("total", "PSS, all processes")):
                p, f = median_of(r["program"]["pss_kb"], key), median_of(r["floor"]["pss_kb"], key)
                goal = ""
                if key in ("ui", "total"):
                    goal = "≤ floor + 5 MB: " + ("met" if p - f <= 5 * 1024 else "missed")
                row(label + f" ({SETTLE_SECONDS} s after paint)", mb(p), mb(f), f"{p / f:.2f}×" if f else "–",
                    runs, goal)
            for key, label in (("ui", "PSS, UI process"), ("web", "PSS, web process"), ("total", "PSS, all processes")):
                p, b = median_of(r["program"]["pss_kb"], key), median_of(r["program-default-acceleration"]["pss_kb"], key)
                row(label + " (baseline: program with WebKit's default policy ALWAYS)", mb(p), mb(b), f"{p / b:.2f}×",
                    runs)
            p = statistics.median(sum(s) for s in r["program"]["idle_switches"])
            f = statistics.median(sum(s) for s in r["floor"]["idle_switches"])
            row(f"idle: UI thread context switches in {record['idle_seconds']} s",
                f"{p:.0f}", f"{f:.0f}", f"{p / f:.2f}×" if f else "–", runs,
                "none of ours: " + ("met" if p <= f else "see README"))
        elif kind == "bridge":
            r = record["results"]
            runs = f"{record['runs']} × {record['round_trips']}"
            f = statistics.median(r["floor"]["median_ms"])
            for side, label in (("program", "round trip, median"),
                                ("program-on-ui-thread", "round trip, median, worker's job on the UI thread")):
                p = statistics.median(r[side]["median_ms"])
                row(label, f"{p:.3f} ms", f"{f:.3f} ms", f"{p / f:.2f}×", runs,
                    ("< 0.25 ms: " + ("met" if p < 0.25 else "missed")) if side == "program" else "")
            p, f = statistics.median(r["program"]["p99_ms"]), statistics.median(r["floor"]["p99_ms"])
            row("round trip, 99th percentile", f"{p:.3f} ms", f"{f:.3f} ms", f"{p / f:.2f}×", runs)
            f = statistics.median(r["floor"]["burst_ms"])
            for side, label in (("program", ""), ("program-on-ui-thread", ", worker's job on the UI thread")):
                p = statistics.median(r[side]["burst_ms"])
                answered = all(a == record["burst"] for a in r[side]["burst_answered"])
                row(f"burst of {record['burst']:,} at once, all answered{label}", f"{p:.0f} ms", f"{f:.0f} ms",
                    f"{p / f:.2f}×", f"{record['runs']} + {record['runs']}",
                    ("< 1 s: " + ("met" if p < 1000 and answered else "missed") if side == "program" else "")
                    + ("" if answered else " (replies lost)"))
        elif kind == "native":
            m = record["median_ns"]
            p, f = m["NativeMessage"], m["NlohmannParseDump"]
            row("native cost per message (parse, reply, script) vs json parse + dump", f"{p / 1000:.2f} µs",
                f"{f / 1000:.2f} µs", f"{p / f:.2f}×", f"{record['runs']} reps")
        elif kind == "size":
            p, f = record["bytes"]["program"], record["bytes"]["floor"]
            row("stripped executable (baseline: stripped floor)", f"{p / 1024:.0f} KiB", f"{f / 1024:.0f} KiB",
                f"{p / f:.2f}×", "1")
        elif kind == "soak":
            r = record["results"]
            growth = {side: {key: r[side]["pss_end_kb"][key] - r[side]["pss_start_kb"][key] for key in ("total", "anon")}
                      for side in r}
            program = r["program"]
            answered = program["report"]["answered"]
            row(f"soak: UI process PSS growth, {answered:,} replies in {program['soak_seconds']:.0f} s "
                f"({mb(program['pss_start_kb']['total'])} → {mb(program['pss_end_kb']['total'])})",
                mb(growth["program"]["total"]), mb(growth["floor"]["total"]), "–", "1 + 1",
                "< 5 MB: " + ("met" if growth["program"]["total"] < 5 * 1024 else "missed"))
            row("soak: of it private (anon) PSS", mb(growth["program"]["anon"]), mb(growth["floor"]["anon"]), "–",
                "1 + 1")
            left = r["program-glibc-threshold"]
            row(f"soak: UI process PSS growth (baseline: program with mmap threshold left to glibc, "
                f"{mb(left['pss_start_kb']['total'])} → {mb(left['pss_end_kb']['total'])})",
                mb(growth["program"]["total"]), mb(growth["program-glibc-threshold"]["total"]), "–", "1 + 1")

    header = ("figure", "program", "baseline (floor unless named)", "ratio", "runs", "goal")
    widths = [max(len(str(line[i])) for line in [header, *rows]) for i in range(len(header))]
    lines = ["| " + " | ".join(str(cell).ljust(w) for cell, w in zip(line, widths)) + " |" for line in [header, *rows]]
    lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


FIGURES = {"startup": figure_startup, "memory": figure_memory, "bridge": figure_bridge, "soak": figure_soak,
           "native": figure_native, "size": figure_size}


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    build, results, what = Build(sys.argv[1]), sys.argv[2], sys.argv[3]
    quick = "--quick" in sys.argv[4:]
    if what == "table":
        with open(results) as f:
            print(table([json.loads(line) for line in f if line.strip()]))
        return
    began = time.monotonic()
    record = FIGURES[what](build, quick)
    record["seconds"] = round(time.monotonic() - began, 1)
    with open(results, "a") as f:
        f.write(json.dumps(record) + "\n")
    print(f"{what}: {record['seconds']} s", file=sys.stderr)


if __name__ == "__main__":
    main()
