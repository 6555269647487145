"""The launcher's benchmark: every figure beside a baseline measured in the same run.

- key latency under Wine: physical presses through XTEST, timed from the moment
  the event is flushed to the X server to the stand-in client's key message
  (its QueryPerformanceCounter stamp, which under Wine is a Linux clock);
  configurations alternate in rounds so machine noise hits all of them alike;
  also keys typed into another window while the client is slow to start;
- idle CPU, threads and peak working set of the launcher under Wine, beside an
  empty program started at the same moment;
- the keyboard hook's cost per event natively (tests/bench/native);
- the size and imports of the executable.

Run through scripts/bench, which builds everything and passes the paths.
"""

from __future__ import annotations

import argparse
import contextlib
import json
import math
import os
import random
import re
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent

# Filled in by main() once the harness is imported with the build's paths.
harness = None
XTestKeyboard = EventLog = None


def step(message: str) -> None:
    print(f"bench: {message}", file=sys.stderr, flush=True)


# --- statistics ----------------------------------------------------------------------------

def percentile(values: list[float], fraction: float) -> float:
    """Nearest-rank percentile."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(fraction * len(ordered)) - 1)]


def median(values: list[float]) -> float:
    return statistics.median(values)


# --- physical keys through XTEST -------------------------------------------------------------

# --- the clock both ends share ----------------------------------------------------------

def calibrate_clock(wine, probe_exe: str) -> dict:
    """Asks a Wine program for QueryPerformanceCounter between two readings of each
    Linux monotonic clock; the clock whose brackets always hold the counter is the one."""
    process = subprocess.Popen(["wine", harness.windows_path(probe_exe)], env=wine.env(),
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    clocks = {"CLOCK_MONOTONIC_RAW": time.CLOCK_MONOTONIC_RAW, "CLOCK_MONOTONIC": time.CLOCK_MONOTONIC}
    brackets = {name: [] for name in clocks}
    try:
        for _ in range(40):
            before = {n: time.clock_gettime_ns(c) for n, c in clocks.items()}
            process.stdin.write(b"x")
            process.stdin.flush()
            counter, frequency = map(int, process.stdout.readline().split())
            after = {n: time.clock_gettime_ns(c) for n, c in clocks.items()}
            counter_ns = counter * 10**9 // frequency
            for n in clocks:
                brackets[n].append((counter_ns - before[n], after[n] - counter_ns))
    finally:
        process.stdin.close()
        process.wait(15)
    # The first answer includes the program's start.
    result = {"frequency": frequency}
    for n, pairs in brackets.items():
        pairs = pairs[1:]
        result[n] = {"inside": all(lo >= 0 and hi >= 0 for lo, hi in pairs),
                     "offset_us": median([(lo - hi) / 2 for lo, hi in pairs]) / 1000,
                     "bracket_us": min(lo + hi for lo, hi in pairs) / 1000}
    chosen = [n for n in clocks if result[n]["inside"]]
    if not chosen:
        raise RuntimeError(f"QueryPerformanceCounter follows neither Linux clock: {result}")
    result["clock"] = chosen[0]
    return result


# --- key latency ------------------------------------------------------------------------

THREAD_PRIORITY_HIGHEST = 2

# What each setup runs and which kinds of press it times.
SETUPS = {
    "no_hook": {"walking": 0, "hook": None, "presses": ["no_hook_w"]},
    "empty_hook": {"walking": 0, "hook": ("empty_hook.exe",), "presses": ["empty_hook_w"]},
    "remap_floor": {"walking": 0, "hook": ("remap_hook.exe", "diagonal"),
                    "presses": ["remap_w", "remap_w_held_a", "remap_w_held_d"]},
    "remap_floor_asking": {"walking": 0, "hook": ("remap_hook.exe", "queries"), "presses": ["remap_asking_w"]},
    "launcher": {"walking": 1, "hook": None, "presses": ["launcher_w", "launcher_w_held_a"]},
    # The same launcher built without its hook watchdog.
    "launcher_unwatched": {"walking": 1, "hook": None, "launcher": "launcher_unwatched.exe",
                           "presses": ["unwatched_w", "unwatched_w_held_a"]},
    # A game keeping every processor busy at normal priority; then the launcher's threads raised.
    "launcher_busy_game": {"walking": 1, "hook": None, "load": True, "presses": ["busy_game_w"]},
    "launcher_busy_game_raised": {"walking": 1, "hook": None, "load": True, "raise": THREAD_PRIORITY_HIGHEST,
                                  "presses": ["busy_game_raised_w"]},
    # The same launcher with no pause key configured (the others have Scroll Lock, the default).
    "launcher_no_pause_key": {"walking": 1, "hook": None, "presses": ["no_pause_key_w", "no_pause_key_w_held_a"],
                              "ini": b"[SmartWalking]\r\nPauseKey=0\r\n"},
    # The same launcher sending each key with its scan code.
    "launcher_scan_codes": {"walking": 1, "hook": None, "presses": ["scan_codes_w", "scan_codes_w_held_a"],
                            "ini": b"[SmartWalking]\r\nScanCodes=1\r\n"},
    # The same launcher with the chat mode on.
    "launcher_chat_mode": {"walking": 1, "hook": None, "presses": ["chat_mode_w", "chat_mode_w_held_a"],
                           "ini": b"[SmartWalking]\r\nChatMode=1\r\n"},
}

LABELS = {
    "no_hook_w": "no hook, W",
    "empty_hook_w": "empty hook, W",
    "remap_w": "remap floor, W",
    "remap_w_held_a": "remap floor, W held + A (2 SendInput calls)",
    "remap_w_held_d": "remap floor, W held + D (1 SendInput call)",
    "remap_asking_w": "remap floor + the launcher's queries, W",
    "launcher_w": "launcher, W",
    "launcher_w_held_a": "launcher, W held + A",
    "unwatched_w": "launcher without the hook watchdog, W",
    "unwatched_w_held_a": "launcher without the hook watchdog, W held + A",
    "busy_game_w": "launcher beside a busy game, W",
    "busy_game_raised_w": "launcher beside a busy game, its threads raised, W",
    "no_pause_key_w": "launcher with no pause key, W",
    "no_pause_key_w_held_a": "launcher with no pause key, W held + A",
    "before_w": "the launcher given by --before, W",
    "before_w_held_a": "the launcher given by --before, W held + A",
    "scan_codes_w": "launcher with ScanCodes=1, W",
    "scan_codes_w_held_a": "launcher with ScanCodes=1, W held + A",
    "chat_mode_w": "launcher with the chat mode, W",
    "chat_mode_w_held_a": "launcher with the chat mode, W held + A",
}

# With --before: an earlier build of the launcher, to measure a change against.
BEFORE_SETUP = {"walking": 1, "hook": None, "presses": ["before_w", "before_w_held_a"]}


# Presses per kind before the timed ones, not counted: the first calls of a
# fresh process pay for its first use of each path.
WARM_UP = 3


def start_hook(wine, bench_dir: Path, exe: str, *args: str):
    process = wine.start(bench_dir / exe, *args)
    harness.wait_until(lambda: "hooked=" in process.text(), 15, f"{exe} to install its hook", detail=process.text)
    if "hooked=1" not in process.text():
        raise RuntimeError(f"{exe} could not install its hook: {process.text()}")
    return process


def gap() -> None:
    time.sleep(random.uniform(0.015, 0.03))


def tap_w(keys: XTestKeyboard, log: EventLog) -> tuple[int, float]:
    """W pressed and let go; returns when it was sent and microseconds until the key message."""
    at = log.mark()
    sent = keys.send("W", True)
    got, at = log.next_key(at, "down", "W")
    keys.send("W", False)
    log.next_key(at, "up", "W")
    gap()
    return sent, got.int("qpc_us") - sent


def press(kind: str, keys: XTestKeyboard, log: EventLog) -> float:
    """One timed press; returns microseconds from the X event to the client's key message."""
    if not kind.endswith(("_held_a", "_held_d")):
        return tap_w(keys, log)[1]
    # W held, then A (or D): the client sees W go up and the diagonal go down.
    side, diagonal = ("D", "E") if kind.endswith("_held_d") else ("A", "Q")
    at = log.mark()
    keys.send("W", True)
    _, at = log.next_key(at, "down", "W")
    time.sleep(random.uniform(0.005, 0.015))
    sent = keys.send(side, True)
    got, at = log.next_key(at, "down", diagonal)
    keys.send(side, False)
    _, at = log.next_key(at, "down", "W")
    keys.send("W", False)
    log.next_key(at, "up", "W")
    gap()
    return got.int("qpc_us") - sent


def run_setup(wine, name: str, presses: int, keys: XTestKeyboard, launcher: str,
              bench_dir: Path) -> tuple[dict[str, list[float]], list[tuple[float, ...]]]:
    """Times the setup's presses; also returns what a hook program said it spent asking."""
    setup = SETUPS[name]
    try:
        hook = start_hook(wine, bench_dir, *setup["hook"]) if setup["hook"] else None
        if setup.get("load"):
            wine.start(bench_dir / "busy_program.exe")
        exe = bench_dir / setup["launcher"] if "launcher" in setup else launcher
        game = wine.install(launcher=exe,
                            ini=setup.get("ini", b"[SmartWalking]\r\nEnabled=%d\r\n" % setup["walking"]))
        game.start()
        game.client.wait_ready()
        if "raise" in setup:
            raised = wine.probe("priority", str(game.client.parent_pid), str(setup["raise"]))
            if raised.code != 0:
                raise RuntimeError(f"could not raise the launcher's threads: {raised.output}")
        wine.focus(game.client)
        kinds = setup["presses"]
        for kind in kinds:
            for _ in range(WARM_UP):
                press(kind, keys, game.client)
        found: dict[str, list[float]] = {kind: [] for kind in kinds}
        for _ in range(presses):
            for kind in kinds:
                found[kind].append(press(kind, keys, game.client))
        # A hook program reports after its injection; give the last report a moment.
        time.sleep(0.1)
        asked = re.findall(r"queries foreground_us=([0-9.]+) process_us=([0-9.]+) keys_us=([0-9.]+)",
                           hook.text())[WARM_UP * 2:] if hook else []
        return found, [tuple(float(x) for x in a) for a in asked]
    finally:
        wine.stop_programs()


def measure_latency(wine, presses: int, rounds: int, launcher: str, bench_dir: Path) -> dict:
    # The session's own display: auto-repeat off, and each event only flushed.
    keys = XTestKeyboard(wine.display, repeat=False, sync=False)
    per_round = math.ceil(presses / rounds)
    samples: dict[str, list[float]] = {kind: [] for kind in LABELS}
    round_medians: dict[str, list[float]] = {kind: [] for kind in LABELS}
    asked: list[tuple[float, ...]] = []
    order = list(SETUPS)
    try:
        for r in range(rounds):
            rotated = order[r % len(order):] + order[:r % len(order)]
            step(f"latency round {r + 1}/{rounds}: {' '.join(rotated)}, {per_round} presses each")
            for name in rotated:
                found, spent = run_setup(wine, name, per_round, keys, launcher, bench_dir)
                asked += spent
                for kind, values in found.items():
                    samples[kind] += values
                    round_medians[kind].append(median(values))
    finally:
        keys.close()
    return {"samples": samples, "round_medians": round_medians, "queries_us": asked}


# --- key latency during a slow client start ----------------------------------------------

SLOW_START_MS = 6000
# Taps this close to the client's first window are left out: it may take the foreground.
SLOW_START_MARGIN_US = 300_000
# What the stand-in client logs before its slow start.
SLOW_START_RECORDS = ("start", "exe", "cwd", "cmdline")


def measure_slow_start(wine, launcher: str, rounds: int) -> dict:
    """W tapped into another application's window while the launcher waits for a client slow
    to become input-idle, and as many taps once the client is up: the same hook, served by the
    start-up wait and then by the launcher's message pump."""
    keys = XTestKeyboard(wine.display, repeat=False, sync=False)
    found: dict[str, list[float]] = {"during": [], "after": []}

    def tap(log: EventLog) -> tuple[int, float]:
        try:
            return tap_w(keys, log)
        except AssertionError:
            # A tap whose W the other window never got must not leave W down for the next.
            keys.send("W", False)
            raise

    def warm_up_in(other) -> None:
        # A client window that takes the foreground later still would get the taps; send
        # the focus back (the unmeasured warm-up taps are what notice).
        for _ in range(3):
            wine.focus(other)
            try:
                for _ in range(WARM_UP):
                    tap(other.log)
                return
            except AssertionError:
                step(f"a warm-up tap missed the other window (the client's says {game_foreground()!r}); "
                     "focusing it again")
        raise RuntimeError("the other window kept losing the foreground")

    game = None

    def game_foreground():
        return game.client.foreground() if game else None

    try:
        for r in range(rounds):
            step(f"slow client start, round {r + 1}/{rounds}: the client takes {SLOW_START_MS} ms to settle")
            try:
                other = wine.open_window("Other application")
                wine.focus(other)
                game = wine.install(launcher=launcher)
                game.start(env={"CLIENT_START_DELAY_MS": str(SLOW_START_MS)})
                game.client.wait_started()
                time.sleep(0.3)   # the launcher hooks as soon as the client's process exists
                during = []
                with contextlib.suppress(AssertionError):   # a last tap may go to the client's new window
                    while len(game.client.records()) <= len(SLOW_START_RECORDS):
                        during.append(tap(other.log))
                game.client.wait_ready()
                # The client's first window may take the foreground a moment after it is ready;
                # let it, or the other window could look in front while the client is.
                with contextlib.suppress(AssertionError):
                    harness.wait_until(lambda: game.client.foreground() == "main", 2, "the client in front")
                settled = next(rec.int("qpc_us") for rec in game.client.records()
                               if rec.event not in SLOW_START_RECORDS)
                during = [latency for sent, latency in during if sent < settled - SLOW_START_MARGIN_US]
                warm_up_in(other)
                found["after"] += [tap(other.log)[1] for _ in during]
                found["during"] += during
            finally:
                wine.stop_programs()
    finally:
        keys.close()
    return {**found, "rounds": rounds}


def slow_start_rows(rows: list, result: dict) -> None:
    ours, base = result["during"], result["after"]
    label = "launcher, W into another window during a slow client start vs once the client is up"
    for name, pick in (("median", median), ("p95", lambda values: percentile(values, 0.95))):
        o, b = pick(ours), pick(base)
        rows.append((f"key→window µs, {name}: {label}", fmt(o), fmt(b), f"{o / b:.3f}", "",
                     f"max {fmt(max(ours))} vs {fmt(max(base))}; n={len(ours)} vs {len(base)} in "
                     f"{result['rounds']} rounds; the client takes {SLOW_START_MS} ms to become input-idle"))


# --- idle cost ------------------------------------------------------------------------------

class CpuMeter:
    """CPU time of a Linux process from its tasks' schedstat (ns). A task that ends
    keeps the time of its last sample; sampling often keeps what is lost small."""

    def __init__(self, pid: int):
        self.pid = pid
        self.seen: dict[str, int] = {}
        self.most_tasks = 0

    def tasks(self) -> list[str]:
        try:
            return os.listdir(f"/proc/{self.pid}/task")
        except OSError:
            return []

    def sample(self) -> None:
        tasks = self.tasks()
        self.most_tasks = max(self.most_tasks, len(tasks))
        for tid in tasks:
            try:
                ns = int(Path(f"/proc/{self.pid}/task/{tid}/schedstat").read_text().split()[0])
            except (OSError, ValueError, IndexError):
                continue
            self.seen[tid] = max(self.seen.get(tid, 0), ns)

    def total_ns(self) -> int:
        return sum(self.seen.values())

    def other_threads_ns(self) -> int:
        """Every task but the main thread."""
        return sum(ns for tid, ns in self.seen.items() if tid != str(self.pid))

    def status(self, field: str) -> int:
        """A /proc/<pid>/status size, in KiB."""
        text = Path(f"/proc/{self.pid}/status").read_text()
        return int(re.search(rf"^{field}:\s+(\d+) kB", text, re.M).group(1))


def linux_pid(windows_exe: str) -> int | None:
    """The Linux process running a Windows exe: Wine puts the exe's path first in its cmdline."""
    wanted = windows_exe.lower().encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            first = Path(f"/proc/{entry}/cmdline").read_bytes().split(b"\0")[0]
        except OSError:
            continue
        if first.lower() == wanted:
            return int(entry)
    return None


def windows_threads(wine, exe_name: str) -> int:
    processes = wine.probe("processes").items_of("process")
    found = [p for p in processes if p["exe"].lower() == exe_name.lower()]
    if len(found) != 1:
        raise RuntimeError(f"expected one {exe_name} in the session, found {len(found)}")
    return int(found[0]["threads"])


def measure_idle(wine, seconds: float, launcher: str, empty: Path, settle_s: float = 5.0) -> dict:
    game = wine.install(launcher=launcher)  # no settings file: walking on, the default
    started = time.monotonic()
    run = game.start()
    baseline = wine.start(empty)
    # `wine` execs its way into the Windows process: the Popen pid is the program's.
    meters = {"launcher": CpuMeter(run.popen.pid), "baseline": CpuMeter(baseline.popen.pid)}
    try:
        ready = None
        while True:
            for m in meters.values():
                m.sample()
            now = time.monotonic()
            if ready is None and game.client.find("ready"):
                ready = now
            if ready is not None and now >= ready + settle_s:
                break
            if now - started > 60:
                raise RuntimeError("the client did not get ready within 60 s")
            time.sleep(0.01)
        first = {k: m.total_ns() for k, m in meters.items()}
        first_s = time.monotonic() - started
        # A check that the method sees small costs: the client wakes every 50 ms.
        client_pid = linux_pid(harness.windows_path(game.client_exe))
        if client_pid:
            meters["client"] = CpuMeter(client_pid)
            meters["client"].sample()
            first["client"] = meters["client"].total_ns()
        step(f"idle: start-up done after {first_s:.1f} s; now {seconds:.0f} s of nobody typing")
        rest_started = time.monotonic()
        while time.monotonic() - rest_started < seconds:
            for m in meters.values():
                m.sample()
            time.sleep(0.5)
        for m in meters.values():
            m.sample()
        rest_s = time.monotonic() - rest_started
        result = {"first_s": first_s, "rest_s": rest_s}
        for k, m in meters.items():
            result[k] = {
                "first_ms": first[k] / 1e6,
                "other_threads_ms": m.other_threads_ns() / 1e6,
                "rest_ms_per_min": (m.total_ns() - first[k]) / 1e6 / rest_s * 60,
                "tasks_end": len(m.tasks()),
                "tasks_most": m.most_tasks,
                "hwm_kib": m.status("VmHWM"),
            }
        result["launcher"]["threads_end"] = wine.threads(game.client.parent_pid)
        result["baseline"]["threads_end"] = windows_threads(wine, empty.name)
        return result
    finally:
        wine.stop_programs()


# --- the hook natively --------------------------------------------------------------------

def measure_hook(exe: str, quick: bool) -> dict:
    repetitions = 5 if quick else 15
    out = subprocess.run([exe, f"--benchmark_repetitions={repetitions}", "--benchmark_enable_random_interleaving=true",
                          "--benchmark_min_time=0.1", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    runs: dict[str, list[dict]] = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            runs.setdefault(b["run_name"], []).append(b)
    result = {}
    for name, found in runs.items():
        per_event = [b["real_time"] / b["events_per_play"] for b in found]
        result[name] = {"ns": median(per_event), "ns_min": min(per_event), "ns_max": max(per_event),
                        "events": sum(b["iterations"] * b["events_per_play"] for b in found),
                        **{k: found[0][k] for k in found[0] if k.endswith(("_per_event", "_max"))},
                        "allocations": sum(b["launcher_allocations"] for b in found)}
    return result


# --- footprint ------------------------------------------------------------------------------

def imports(exe: str) -> list[str]:
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], check=True, capture_output=True, text=True).stdout
    return sorted({m.upper() for m in re.findall(r"DLL Name: (\S+)", out)})


# --- the table ------------------------------------------------------------------------------

def fmt(value: float, digits: int = 0) -> str:
    return f"{value:,.{digits}f}"


def pause_key_rows(rows: list, latency_rows, hook: dict) -> None:
    """The pause key's cost: the launcher with its default pause key beside the same launcher with none."""
    latency_rows("launcher_w", "no_pause_key_w", "≤ 1.05", "≤ 1.10")
    latency_rows("launcher_w_held_a", "no_pause_key_w_held_a", "≤ 1.05", "≤ 1.10")
    ours, base = hook["BM_LauncherHook"], hook["BM_LauncherHookNoPauseKey"]
    rows.append((
        "hook ns per key event, pause key Scroll Lock vs none (native, median of runs)", fmt(ours["ns"], 1),
        fmt(base["ns"], 1), f"{ours['ns'] / base['ns']:.3f}", "",
        f"runs {fmt(ours['ns_min'], 1)}–{fmt(ours['ns_max'], 1)} vs {fmt(base['ns_min'], 1)}–{fmt(base['ns_max'], 1)}; "
        f"platform calls per event {sum(ours[k] for k in ours if k.endswith('_per_event')):.2f} vs "
        f"{sum(base[k] for k in base if k.endswith('_per_event')):.2f}"))


def build_table(lat: dict, clock: dict, idle: dict, hook: dict, sizes: dict, loads: tuple, presses_note: str,
                slow_start: dict | None = None) -> str:
    rows = [("what", "ours", "baseline", "ours / baseline", "goal", "noise and notes")]
    s, rm = lat["samples"], lat["round_medians"]

    def spread(kind: str) -> str:
        return f"{fmt(min(rm[kind]))}–{fmt(max(rm[kind]))}"

    def latency_rows(ours: str, base: str, goal_median: str = "", goal_p95: str = "") -> None:
        om, bm = median(s[ours]), median(s[base])
        op, bp = percentile(s[ours], 0.95), percentile(s[base], 0.95)
        label = f"{LABELS[ours]} vs {LABELS[base]}"
        ratios = [o / b for o, b in zip(rm[ours], rm[base])]
        rows.append((f"key→client µs, median: {label}", fmt(om), fmt(bm), f"{om / bm:.3f}", goal_median,
                     f"per-round medians {spread(ours)} vs {spread(base)}; per-round ratio {median(ratios):.3f} "
                     f"({min(ratios):.2f}–{max(ratios):.2f})"))
        rows.append((f"key→client µs, p95: {label}", fmt(op), fmt(bp), f"{op / bp:.3f}", goal_p95,
                     f"n={len(s[ours])} vs {len(s[base])}"))

    if s["before_w"]:
        latency_rows("launcher_w", "before_w", "≤ 1.03")
        latency_rows("launcher_w_held_a", "before_w_held_a", "≤ 1.03")
    latency_rows("launcher_w", "unwatched_w", "≤ 1.03")
    latency_rows("launcher_w_held_a", "unwatched_w_held_a", "≤ 1.03")
    latency_rows("scan_codes_w", "launcher_w", "≤ 1.03")
    latency_rows("scan_codes_w_held_a", "launcher_w_held_a", "≤ 1.03")
    latency_rows("chat_mode_w", "launcher_w", "≤ 1.03")
    latency_rows("chat_mode_w_held_a", "launcher_w_held_a", "≤ 1.03")
    latency_rows("unwatched_w", "remap_w")
    latency_rows("busy_game_raised_w", "busy_game_w")
    latency_rows("launcher_w", "remap_w", "≤ 1.05", "≤ 1.10")
    latency_rows("launcher_w_held_a", "remap_w", "≤ 1.05", "≤ 1.10")
    if slow_start:
        slow_start_rows(rows, slow_start)
    latency_rows("remap_w_held_a", "remap_w")
    latency_rows("launcher_w_held_a", "remap_w_held_a")
    latency_rows("launcher_w", "remap_asking_w")
    latency_rows("remap_asking_w", "remap_w")
    asked = lat["queries_us"]
    for i, label in enumerate(("GetForegroundWindow", "GetWindowThreadProcessId", "3 × GetAsyncKeyState")):
        q = [a[i] for a in asked]
        rows.append((f"µs inside the hook asking as the launcher does: {label}",
                     f"{fmt(median(q), 1)} median / {fmt(percentile(q, 0.95), 1)} p95", "0 (remap floor asks nothing)",
                     "", "", f"timed in the remap hook's queries mode, n={len(q)} (W down and up)"))
    latency_rows("remap_w_held_d", "remap_w_held_a")
    pause_key_rows(rows, latency_rows, hook)
    latency_rows("remap_w", "empty_hook_w")
    latency_rows("empty_hook_w", "no_hook_w")

    L, B = idle["launcher"], idle["baseline"]
    rows.append((f"idle CPU ms, start-up + title thread (first {idle['first_s']:.1f} s)", fmt(L["first_ms"], 1),
                 fmt(B["first_ms"], 1), f"+{fmt(L['first_ms'] - B['first_ms'], 1)} ms", "",
                 f"of which threads other than the main one {fmt(L['other_threads_ms'], 1)} vs "
                 f"{fmt(B['other_threads_ms'], 1)}; Linux tasks at most {L['tasks_most']} vs {B['tasks_most']}"))
    C = idle.get("client")
    check = f"; method check: the client (50 ms timer) {fmt(C['rest_ms_per_min'], 1)} ms/min" if C else ""
    rows.append((f"idle CPU ms per minute, afterwards ({idle['rest_s']:.0f} s)", fmt(L["rest_ms_per_min"], 3),
                 fmt(B["rest_ms_per_min"], 3), f"+{fmt(L['rest_ms_per_min'] - B['rest_ms_per_min'], 3)} ms",
                 "< 1 ms", "schedstat of every task" + check))
    rows.append(("threads at the end: Windows / Linux tasks", f"{L['threads_end']} / {L['tasks_end']}",
                 f"{B['threads_end']} / {B['tasks_end']}", "", "title thread gone", ""))
    rows.append(("peak working set under Wine (VmHWM), MiB", fmt(L["hwm_kib"] / 1024, 1), fmt(B["hwm_kib"] / 1024, 1),
                 f"+{fmt((L['hwm_kib'] - B['hwm_kib']) / 1024, 1)} MiB", "", "launcher with its client running"))

    ours, base = hook["BM_LauncherHook"], hook["BM_PassOnHook"]
    rows.append(("hook ns per key event, native stand-in desktop (median of runs)", fmt(ours["ns"], 1),
                 fmt(base["ns"], 1), f"+{fmt(ours['ns'] - base['ns'], 1)} ns", "",
                 f"runs {fmt(ours['ns_min'], 1)}–{fmt(ours['ns_max'], 1)} vs {fmt(base['ns_min'], 1)}–"
                 f"{fmt(base['ns_max'], 1)}; baseline only passes on; includes the stand-in's delivery"))
    for label, key, limit in (("foreground queries (GetForegroundWindow)", "foreground", "≤ 1"),
                              ("window→process lookups (GetWindowThreadProcessId)", "window_process", ""),
                              ("key-state queries (GetAsyncKeyState)", "key_state", "≤ 3"),
                              ("injected events (SendInput)", "injections", "≤ 2"),
                              ("pass-ons (CallNextHookEx)", "pass_ons", "")):
        rows.append((f"{label} per event: most / mean", f"{fmt(ours[key + '_max'])} / {ours[key + '_per_event']:.2f}",
                     f"{fmt(base[key + '_max'])} / {base[key + '_per_event']:.2f}", "", limit,
                     "incl. the hook's re-entry for its own injected keys" if key == "pass_ons" else ""))
    rows.append(("heap allocations in the launcher's code", fmt(ours["allocations"]), fmt(base["allocations"]), "",
                 "0", f"over {fmt(ours['events'])} events; the stand-in's own calls left out"))

    rows.append(("exe size, KiB", fmt(sizes["launcher_bytes"] / 1024, 1), fmt(sizes["empty_bytes"] / 1024, 1),
                 f"+{fmt((sizes['launcher_bytes'] - sizes['empty_bytes']) / 1024, 1)} KiB", "",
                 "both Release (-O3), -static -s, mingw-w64"))
    rows.append(("imported DLLs", " ".join(sizes["launcher_dlls"]), " ".join(sizes["empty_dlls"]), "", "system only",
                 ""))
    raw, other = clock["CLOCK_MONOTONIC_RAW"], clock["CLOCK_MONOTONIC"]
    rows.append(("clock shared by both ends", "QPC = CLOCK_MONOTONIC_RAW", "", "", "",
                 f"{clock['frequency'] // 10**6} MHz (100 ns), no offset: inside every [before, after] bracket "
                 f"(tightest {raw['bracket_us']:.0f} µs); CLOCK_MONOTONIC is {fmt(abs(other['offset_us']))} µs off"))
    rows.append(("machine load (1-min average) at start / end", f"{loads[0]:.2f} / {loads[1]:.2f}", "", "", "",
                 f"{os.cpu_count()} cores; {presses_note}"))

    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    lines = ["| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |" for r in rows]
    lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows-build", required=True, type=Path)
    parser.add_argument("--hook-benchmark", required=True)
    parser.add_argument("--presses", type=int, default=450, help="timed presses per configuration")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--idle-seconds", type=float, default=60)
    parser.add_argument("--quick", action="store_true", help="60 presses in 3 rounds, 20 s idle, short native runs")
    parser.add_argument("--before", type=Path, help="an earlier build of the launcher, timed beside this one")
    args = parser.parse_args()
    if args.before:
        SETUPS["before"] = {**BEFORE_SETUP, "launcher": args.before.absolute()}
    if args.quick:
        args.presses, args.rounds, args.idle_seconds = 60, 3, 20

    build = args.windows_build.absolute()
    bench_dir = build / "tests" / "bench"
    launcher = str(build / "Varnel Official Client.exe")
    os.environ["E2E_CLIENT"] = str(build / "tests" / "client" / "client.exe")
    os.environ["E2E_WINPROBE"] = str(build / "tests" / "tools" / "winprobe.exe")
    os.environ["E2E_LAUNCHER"] = launcher
    os.environ.setdefault("E2E_CACHE_DIR", str(build.parent / "e2e-cache"))
    global harness, XTestKeyboard, EventLog
    sys.path.insert(0, str(HERE.parent / "e2e"))
    import harness as loaded
    harness, XTestKeyboard, EventLog = loaded, loaded.XTestKeyboard, loaded.EventLog

    loads = [os.getloadavg()[0]]
    step("hook cost per event, native")
    hook = measure_hook(args.hook_benchmark, args.quick)
    step("footprint: sizes and imports")
    empty = bench_dir / "empty_program.exe"
    sizes = {"launcher_bytes": Path(launcher).stat().st_size, "empty_bytes": empty.stat().st_size,
             "launcher_dlls": imports(launcher), "empty_dlls": imports(str(empty))}
    step("Wine session")
    wine = harness.shared_session()
    step("clock: which Linux clock QueryPerformanceCounter follows")
    clock = calibrate_clock(wine, str(bench_dir / "clock_probe.exe"))
    if clock["clock"] != "CLOCK_MONOTONIC_RAW":
        raise RuntimeError(f"the key timing assumes QPC = CLOCK_MONOTONIC_RAW with no offset: {clock}")
    step(f"idle: launcher and empty program side by side, {args.idle_seconds:.0f} s after start-up")
    idle = measure_idle(wine, args.idle_seconds, launcher, empty)
    step(f"latency: {args.presses} presses per configuration in {args.rounds} rounds")
    latency = measure_latency(wine, args.presses, args.rounds, launcher, bench_dir)
    step("latency during a slow client start")
    slow_start = measure_slow_start(wine, launcher, 1 if args.quick else 3)
    loads.append(os.getloadavg()[0])
    note = f"{args.presses} presses per configuration in {args.rounds} rounds"
    print(build_table(latency, clock, idle, hook, sizes, tuple(loads), note, slow_start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
