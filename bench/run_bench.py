#!/usr/bin/env python3
"""Measures quorvel against the simulated controller and prints one table.

Every figure comes from the real binaries of a release build: quorvel runs on
a 24x80 pseudo-terminal as a user would have it, quorvel-sim logs every line
it receives with its arrival time, and the process figures are read from /proc
while quorvel runs. Beside quorvel, wire_floor does only what every client
must do per reading (query, 1 ms pause, read command, wait for the answer),
which tells quorvel's own cost from that of the terminal, the simulator and
this machine. The display passes are measured again with quorvel-sim on a
loopback TCP port, beside the pseudo-terminal figures. Each figure is the
median of several runs, (min-max) beside it.

  python3 bench/run_bench.py --build build-bench [--runs 5] [--idle-runs 3]
"""

import argparse
import ctypes
import fcntl
import os
import re
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

CLK_TCK = os.sysconf("SC_CLK_TCK")
DMM = 22  # the simulated multimeter: every polled reading asks it
PSU = 5  # the simulated power supply: console commands ask it
IDN_PSU = b"QUORVEL-SIM,PSU,0,1.0"
READ_TIMEOUT_MS = 200
RT_PRIORITY = 10
# Any reading drawn: with more readings than rows, a later one takes R1's row
# before the row is written.
FIRST_DRAWN = rb"R[0-9]+: [+-]"


def readings_conf(n, console=True):
    """n polled readings on the multimeter. Only the first asks MEAS:VOLT?, so
    its commands mark the start of each pass on the wire."""
    lines = ["addr:1;0;++addr", f"read:1;0;++read eoi;{READ_TIMEOUT_MS}"]
    if console:
        lines += [
            f"init:1;{DMM};*IDN?;QUORVEL-SIM,DMM,0,1.0",
            f"cfg:1;{PSU};idn;*IDN?;0;1;Identify the supply",
        ]
    for i in range(n):
        cmd = "MEAS:VOLT?" if i == 0 else "MEAS:CURR?"
        lines.append(f"dsp:1;{DMM};R{i + 1}: ;{cmd};{3 + i % 10};0")
    return "\n".join(lines) + "\n"


# --- processes --------------------------------------------------------------


def tight_timer_slack():
    """Timers of this process and of the programs it starts fire close to
    their deadline, so the simulator's answer times add no slack to the
    figures (quorvel and wire_floor set their own)."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(29, ctypes.c_ulong(1), 0, 0, 0)  # PR_SET_TIMERSLACK
    except (OSError, AttributeError):
        pass


def realtime():
    """Puts this process, and so the programs it starts, under SCHED_FIFO: on
    a shared machine the builds of others would otherwise add their time
    slices to every 1 ms wake-up, and the figures would measure them."""
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(RT_PRIORITY))
        return f"SCHED_FIFO {RT_PRIORITY} (other load kept out of the wake-up times)"
    except OSError as e:
        return f"ordinary (SCHED_FIFO refused: {e.strerror})"


class Sim:
    """quorvel-sim with its wire log, on a pseudo-terminal or, with tcp, on a
    free loopback port."""

    def __init__(self, exe, workdir, latency_ms, name="gpib0", tcp=False):
        self.log = os.path.join(workdir, name + ".log")
        where = ["--listen", "127.0.0.1:0"] if tcp else ["--link", os.path.join(workdir, name)]
        self.proc = subprocess.Popen(
            [exe, *where, "--latency", f"{DMM}={latency_ms}", "--log", self.log],
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
        )
        self.path = self.proc.stdout.readline().decode().strip()
        if not self.path:
            raise RuntimeError("quorvel-sim did not start")

    def lines(self):
        """(microseconds, line) of everything received so far."""
        out = []
        try:
            with open(self.log, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return out
        for raw in data.split(b"\n"):
            us, _, text = raw.partition(b" ")
            if us.isdigit():
                out.append((int(us), text.decode(errors="replace")))
        return out

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()


class Quorvel:
    """quorvel on a 24x80 pseudo-terminal; everything it prints is kept with
    the time it arrived."""

    def __init__(self, exe, conf, args, device, workdir):
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        self.master = master
        self.out = bytearray()
        self.chunks = []  # (arrival time, end offset in out); offset -1 at the end
        self.cond = threading.Condition()
        self.errlog = open(os.path.join(workdir, "quorvel.err"), "wb")
        self.started_at = time.monotonic()
        self.proc = subprocess.Popen(
            [exe, "-c" + conf, *args, device],
            stdin=slave,
            stdout=slave,
            stderr=self.errlog,
            start_new_session=True,
        )
        os.close(slave)
        self.pid = self.proc.pid
        self.reader = threading.Thread(target=self._collect, daemon=True)
        self.reader.start()

    def _collect(self):
        while True:
            try:
                data = os.read(self.master, 65536)
            except OSError:
                data = b""
            now = time.monotonic()
            with self.cond:
                if data:
                    self.out += data
                self.chunks.append((now, len(self.out) if data else -1))
                self.cond.notify_all()
                if not data:
                    return

    def mark(self):
        with self.cond:
            return len(self.out)

    def wait_for(self, pattern, since=0, timeout=30.0):
        """Arrival time of the output that first made pattern match after
        offset since."""
        rx = re.compile(pattern, re.S)
        limit = time.monotonic() + timeout
        seen = 0
        with self.cond:
            while True:
                for at, end in self.chunks[seen:]:
                    if end < 0:
                        raise RuntimeError("quorvel ended: " + self.tail())
                    if rx.search(self.out, since, end):
                        return at
                seen = len(self.chunks)
                left = limit - time.monotonic()
                if left <= 0:
                    raise RuntimeError(f"{pattern!r} not on quorvel's screen: " + self.tail())
                self.cond.wait(left)

    def tail(self):
        return bytes(self.out[-300:]).decode(errors="replace")

    def type(self, text):
        os.write(self.master, text.encode())

    def quit(self):
        try:
            self.type("quit\n")
            self.proc.wait(15)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        self.reader.join(5)
        os.close(self.master)
        self.errlog.close()


# --- /proc ------------------------------------------------------------------


def cpu_seconds(pid):
    """utime + stime of the whole process in seconds (clock-tick resolution)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def run_ns(pid, tid=None):
    """CPU time in nanoseconds from the scheduler's own account: of one thread,
    or of every thread of the process."""
    tids = [tid] if tid is not None else os.listdir(f"/proc/{pid}/task")
    total = 0
    for t in tids:
        try:
            with open(f"/proc/{pid}/task/{t}/schedstat") as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def wakeups(pid):
    """Voluntary context switches of every thread: how often it slept."""
    total = 0
    for t in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{t}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def vm_hwm_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def file_rows(path):
    with open(path, "rb") as f:
        return f.read().count(b"\n")


def pass_periods_ms(lines):
    """Periods between the first readings' queries of consecutive passes."""
    starts = [us for us, text in lines if text == "MEAS:VOLT?"]
    return [(b - a) / 1000.0 for a, b in zip(starts, starts[1:])]


# --- scenarios ----------------------------------------------------------------


class Bench:
    def __init__(self, build, quick):
        self.quorvel = os.path.join(build, "quorvel")
        self.sim = os.path.join(build, "tools", "sim", "quorvel-sim")
        self.micro = os.path.join(build, "bench", "micro_bench")
        self.floor_client = os.path.join(build, "bench", "wire_floor")
        self.window = 1.5 if quick else 3.0
        self.idle_s = 5.0 if quick else 20.0
        self.commands = 3 if quick else 6
        self.min_readings = 100 if quick else 400

    def measure_window(self, n, latency_ms):
        """Seconds to measure: several passes, and enough readings that the
        CPU time of slow ones is more than a few clock ticks."""
        per_reading = (1.0 + latency_ms) / 1000.0
        return max(self.window, 6 * n * per_reading, self.min_readings * per_reading)

    def start(self, workdir, conf_text, args, latency_ms, tcp=False):
        conf = os.path.join(workdir, "bench.conf")
        with open(conf, "w") as f:
            f.write(conf_text)
        sim = Sim(self.sim, workdir, latency_ms, tcp=tcp)
        return sim, Quorvel(self.quorvel, conf, args, sim.path, workdir)

    def passes(self, n, latency_ms, console=False, tcp=False):
        """quorvel at -u0 with n readings and a data log: pass period from the
        wire and the data log, CPU, peak memory; console commands at the end
        when asked. With tcp the controller is on a loopback TCP port."""
        floor_ms = 1.0 + latency_ms
        pass_floor = n * floor_ms / 1000.0
        window = self.measure_window(n, latency_ms)
        with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as wd:
            datalog = os.path.join(wd, "data.csv")
            sim, q = self.start(wd, readings_conf(n), ["-u0", "-l" + datalog], latency_ms, tcp)
            try:
                q.wait_for(FIRST_DRAWN)
                time.sleep(max(0.3, 3 * pass_floor))
                t_a = time.monotonic()
                cpu_a, ns_a, rows_a = cpu_seconds(q.pid), run_ns(q.pid), file_rows(datalog)
                wire_a = len(sim.lines())
                time.sleep(window)
                t_b = time.monotonic()
                cpu_b, ns_b, rows_b = cpu_seconds(q.pid), run_ns(q.pid), file_rows(datalog)
                wire = sim.lines()[wire_a:]
                hwm = vm_hwm_kib(q.pid)
                cmd = self.console(q, 0.05) if console else None
            finally:
                q.quit()
                sim.stop()
        periods = pass_periods_ms(wire)
        starts = len(periods) + 1
        readings = (rows_b - rows_a) * n
        return {
            "period_ms": statistics.median(periods),
            "wire_rate": len(periods) / (sum(periods) / 1000.0),
            "log_rate": (rows_b - rows_a) / (t_b - t_a),
            "starts": starts,
            "overhead_ms": statistics.median(periods) / n - floor_ms,
            "cpu_per_k": (cpu_b - cpu_a) / readings * 1000.0,
            "cpu_per_k_ns": (ns_b - ns_a) / 1e9 / readings * 1000.0,
            "hwm_kib": hwm,
            "console": cmd,
        }

    def floor(self, n, latency_ms, interval_ms=0, seconds=None):
        """wire_floor in quorvel's place: the same queries, nothing else."""
        pass_floor = n * (1.0 + latency_ms) / 1000.0
        warm = max(0.3, 3 * pass_floor)
        if seconds is None:
            seconds = warm + self.measure_window(n, latency_ms)
        with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as wd:
            sim = Sim(self.sim, wd, latency_ms)
            try:
                out = subprocess.run(
                    [self.floor_client, sim.path, str(n), str(interval_ms), str(seconds)],
                    capture_output=True,
                    text=True,
                    check=True,
                ).stdout
                lines = sim.lines()
            finally:
                sim.stop()
        fields = out.split()
        readings, cpu_ns = int(fields[1]), int(fields[5])
        t0 = lines[0][0] if lines else 0
        periods = pass_periods_ms([(us, t) for us, t in lines if us - t0 >= warm * 1e6])
        return {
            "period_ms": statistics.median(periods) if periods else float("nan"),
            "overhead_ms": statistics.median(periods) / n - (1.0 + latency_ms) if periods else float("nan"),
            "cpu_per_k": cpu_ns / 1e9 / readings * 1000.0 if readings else float("nan"),
            "cpu_pct": cpu_ns / 1e9 / seconds * 100.0,
        }

    def console(self, q, gap_s):
        """Types idn a few times; latency from the line written to quorvel's
        terminal to the answer after "=>", and the CPU quorvel used meanwhile
        (all commands together)."""
        lat, wall, main_ns, all_ns = [], 0.0, 0, 0
        for i in range(self.commands):
            # Spread over the phases of the display loop.
            time.sleep(gap_s * (1.0 + (i * 0.37) % 1.0))
            since = q.mark()
            main_a, all_a = run_ns(q.pid, q.pid), run_ns(q.pid)
            t0 = time.monotonic()
            q.type("idn\n")
            t1 = q.wait_for(rb"=>.*" + re.escape(IDN_PSU), since)
            main_b, all_b = run_ns(q.pid, q.pid), run_ns(q.pid)
            lat.append((t1 - t0) * 1000.0)
            wall += t1 - t0
            main_ns += main_b - main_a
            all_ns += all_b - all_a
        return {
            "latency": lat,
            "main_pct": main_ns / 1e9 / wall * 100.0,
            "all_pct": all_ns / 1e9 / wall * 100.0,
        }

    def idle(self):
        """Default interval, 4 readings: idle CPU and its wake-ups, then console
        commands, each after the display has resumed (a real wait for the
        pause)."""
        result = {}
        floor_run = threading.Thread(
            target=lambda: result.update(floor=self.floor(4, 0, 900, self.idle_s + 2.0))
        )
        with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as wd:
            sim, q = self.start(wd, readings_conf(4), [], 0)
            try:
                q.wait_for(FIRST_DRAWN)
                floor_run.start()
                time.sleep(2.0)
                cpu_a, ns_a, wk_a, t_a = cpu_seconds(q.pid), run_ns(q.pid), wakeups(q.pid), time.monotonic()
                time.sleep(self.idle_s)
                cpu_b, ns_b, wk_b, t_b = cpu_seconds(q.pid), run_ns(q.pid), wakeups(q.pid), time.monotonic()
                floor_run.join()
                cmd = self.console(q, 2.0)
            finally:
                q.quit()
                sim.stop()
        return {
            "idle_pct": (cpu_b - cpu_a) / (t_b - t_a) * 100.0,
            "idle_pct_ns": (ns_b - ns_a) / 1e9 / (t_b - t_a) * 100.0,
            "wakeups_s": (wk_b - wk_a) / (t_b - t_a),
            "floor_pct": result["floor"]["cpu_pct"],
            "console": cmd,
        }

    def startup(self):
        """From the start of quorvel to its first reading on the screen."""
        with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as wd:
            sim, q = self.start(wd, readings_conf(4), [], 0)
            try:
                return (q.wait_for(FIRST_DRAWN) - q.started_at) * 1000.0
            finally:
                q.quit()
                sim.stop()

    def records500(self):
        """A full store: 500 display records at -u0 with a data log."""
        with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as wd:
            datalog = os.path.join(wd, "data.csv")
            sim, q = self.start(wd, readings_conf(500, console=False), ["-u0", "-l" + datalog], 0)
            try:
                q.wait_for(rb"R500: [+-]")
                time.sleep(1.0)
                cpu_a, ns_a, rows_a = cpu_seconds(q.pid), run_ns(q.pid), file_rows(datalog)
                time.sleep(max(self.window, 4.0))
                cpu_b, ns_b, rows_b = cpu_seconds(q.pid), run_ns(q.pid), file_rows(datalog)
                hwm = vm_hwm_kib(q.pid)
            finally:
                q.quit()
                sim.stop()
        readings = (rows_b - rows_a) * 500
        return {
            "cpu_per_k": (cpu_b - cpu_a) / readings * 1000.0,
            "cpu_per_k_ns": (ns_b - ns_a) / 1e9 / readings * 1000.0,
            "hwm_kib": hwm,
        }


def wakeup_cost_us(seconds, count):
    """CPU time of this process per sleep of the given length: what one
    wake-up costs on this machine, whoever sleeps."""
    t0 = time.process_time_ns()
    for _ in range(count):
        time.sleep(seconds)
    return (time.process_time_ns() - t0) / count / 1000.0


# --- table --------------------------------------------------------------------


def med(values):
    return statistics.median(values)


def spread(values, fmt):
    return f"{fmt.format(med(values))} ({fmt.format(min(values))}-{fmt.format(max(values))})"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build-bench", help="release build directory")
    ap.add_argument("--runs", type=int, default=5, help="runs per figure")
    ap.add_argument("--idle-runs", type=int, default=3, help="runs of the 20 s idle measurement")
    ap.add_argument("--quick", action="store_true", help="short windows: a trial, not figures")
    ap.add_argument("--skip-micro", action="store_true", help="leave out Google Benchmark")
    ap.add_argument("--no-rt", action="store_true", help="ordinary scheduling instead of SCHED_FIFO")
    opts = ap.parse_args()
    tight_timer_slack()
    sched = "ordinary (SCHED_OTHER)" if opts.no_rt else realtime()
    b = Bench(opts.build, opts.quick)
    for exe in (b.quorvel, b.sim, b.floor_client):
        if not os.access(exe, os.X_OK):
            sys.exit(f"{exe}: not built")
    runs = opts.runs
    targets = []

    def target(name, value, limit, unit, note=""):
        targets.append((name, value, limit, unit, note))

    def load():
        return " ".join(f"{x:.2f}" for x in os.getloadavg())

    print(f"quorvel bench: {os.cpu_count()} cores; median (min-max) of {runs} runs unless said")
    print(f"scheduling of quorvel, quorvel-sim, wire_floor and this script: {sched}")
    print(f"load average at start: {load()}")
    costs = [(wakeup_cost_us(0.001, 300), wakeup_cost_us(0.02, 40)) for _ in range(3)]
    print(
        f"CPU of one wake-up on this machine (a bare sleep): after 1 ms {med([c[0] for c in costs]):.1f} us,"
        f" after 20 ms {med([c[1] for c in costs]):.1f} us; a reading takes two (pause, answer)"
    )
    print()
    print("Display passes at -u0 with a data log; floor per reading = 1 ms pause + instrument latency.")
    print("over/rdg: time per reading above that floor. wire_floor: a bare client doing only the")
    print("query, the pause, the read command and the wait for the answer, against the same simulator.")
    print("The simulator counts an instrument's latency from the query, so the 1 ms pause overlaps it:")
    print("at 20 ms any client comes out below the floor. pass/s from the wire, log/s from data-log rows.")
    print("CPU: utime+stime from /proc/PID/stat (10 ms ticks) and the scheduler's exact account (sched,")
    print("/proc/PID/task/*/schedstat), which the targets are judged on.")
    print(
        f"{'rdgs':>4} {'lat':>3} {'pass ms':>23} {'floor':>5} {'ratio':>5} {'over/rdg ms':>21}"
        f" {'wire_floor':>10} {'pass/s':>6} {'log/s':>6} {'CPU s/1000 utime+stime':>22} {'sched':>6}"
        f" {'wire_floor':>10} {'HWM KiB':>7}"
    )
    console_u0 = None
    by_terminal = {}
    for lat in (0, 20):
        for n in (1, 8, 32):
            qs = [b.passes(n, lat, console=(n == 8 and lat == 0)) for _ in range(runs)]
            by_terminal[(n, lat)] = qs
            fs = [b.floor(n, lat) for _ in range(runs)]
            if n == 8 and lat == 0:
                console_u0 = [r["console"] for r in qs]
            floor = n * (1.0 + lat)
            period = [r["period_ms"] for r in qs]
            over = [r["overhead_ms"] for r in qs]
            cpu = [r["cpu_per_k"] for r in qs]
            cpu_ns = [r["cpu_per_k_ns"] for r in qs]
            print(
                f"{n:>4} {lat:>3} {spread(period, '{:.2f}'):>23} {floor:>5.0f} {med(period) / floor:>5.3f}"
                f" {spread(over, '{:.3f}'):>21} {med([f['overhead_ms'] for f in fs]):>10.3f}"
                f" {med([r['wire_rate'] for r in qs]):>6.1f} {med([r['log_rate'] for r in qs]):>6.1f}"
                f" {spread(cpu, '{:.3f}'):>22} {med(cpu_ns):>6.3f} {med([f['cpu_per_k'] for f in fs]):>10.3f}"
                f" {med([r['hwm_kib'] for r in qs]):>7.0f}"
            )
            if n >= 8:
                note = f"wire_floor {med([f['overhead_ms'] for f in fs]):.3f} ms"
                target(f"overhead per reading, {n} readings, latency {lat} ms", med(over), 0.25, "ms", note)
                note = f"utime+stime {med(cpu):.3f} s; wire_floor {med([f['cpu_per_k'] for f in fs]):.3f} s"
                target(f"CPU per 1000 readings, {n} readings, latency {lat} ms", med(cpu_ns), 0.04 if lat == 0 else 0.08, "s", note)
    print()

    print("The same passes with the controller on TCP (quorvel-sim --listen on 127.0.0.1) beside the")
    print("pseudo-terminal figures above: over/rdg ms and CPU s/1000 readings (scheduler account).")
    print(f"{'rdgs':>4} {'lat':>3} {'over/rdg pty':>21} {'over/rdg tcp':>21} {'CPU pty':>7} {'CPU tcp':>7}")
    for (n, lat), qs in by_terminal.items():
        ts = [b.passes(n, lat, tcp=True) for _ in range(runs)]
        print(
            f"{n:>4} {lat:>3} {spread([r['overhead_ms'] for r in qs], '{:.3f}'):>21}"
            f" {spread([r['overhead_ms'] for r in ts], '{:.3f}'):>21}"
            f" {med([r['cpu_per_k_ns'] for r in qs]):>7.3f} {med([r['cpu_per_k_ns'] for r in ts]):>7.3f}"
        )
    print()

    res = [b.records500() for _ in range(runs)]
    cpu = [r["cpu_per_k"] for r in res]
    hwm = [r["hwm_kib"] for r in res]
    print("500 display records at -u0 with a data log (latency 0)")
    print(
        f"  CPU per 1000 readings: utime+stime {spread(cpu, '{:.3f}')} s, sched {spread([r['cpu_per_k_ns'] for r in res], '{:.3f}')} s;"
        f" peak resident memory VmHWM {spread(hwm, '{:.0f}')} KiB"
    )
    target("peak resident memory, 500 records", med(hwm) / 1024.0, 4.0, "MiB")
    print()

    idle = [b.idle() for _ in range(opts.idle_runs)]
    start = [b.startup() for _ in range(runs)]
    print(f"Default interval (900 ms), 4 readings, latency 0; {opts.idle_runs} runs")
    print(
        f"  idle CPU over {b.idle_s:.0f} s, % of one core: utime+stime {spread([r['idle_pct'] for r in idle], '{:.3f}')},"
        f" scheduler account {spread([r['idle_pct_ns'] for r in idle], '{:.4f}')}"
    )
    print(
        f"  wake-ups per second {spread([r['wakeups_s'] for r in idle], '{:.1f}')};"
        f" wire_floor at the same interval {spread([r['floor_pct'] for r in idle], '{:.4f}')} %"
    )
    print(f"  start-up to the first drawn reading ({runs} runs): {spread(start, '{:.1f}')} ms")
    print(f"  (utime+stime over {b.idle_s:.0f} s are a few 10 ms ticks; the targets use the scheduler account)")
    target(
        "idle CPU, default interval, 4 readings",
        med([r["idle_pct_ns"] for r in idle]),
        0.05,
        "%",
        f"wire_floor {med([r['floor_pct'] for r in idle]):.4f} %",
    )
    print()

    print("Console command idn (address change, *IDN?, read), typed line to answer after =>")
    for name, cmds in (("default interval", [r["console"] for r in idle]), ("-u0, 8 readings", console_u0)):
        lat = [x for c in cmds for x in c["latency"]]
        main_pct = [c["main_pct"] for c in cmds]
        all_pct = [c["all_pct"] for c in cmds]
        print(
            f"  {name:<16} latency ms: median {med(lat):.1f}, min {min(lat):.1f}, max {max(lat):.1f} ({len(lat)} commands);"
            f" CPU meanwhile, % of one core: main thread {spread(main_pct, '{:.3f}')}, process {spread(all_pct, '{:.2f}')}"
        )
        if name == "default interval":
            target("CPU while a command waits, default interval (process)", med(all_pct), 5.0, "%")
    print()

    if not opts.skip_micro and os.access(b.micro, os.X_OK):
        print("Google Benchmark, single functions in-process")
        sys.stdout.flush()
        subprocess.run(
            [
                b.micro,
                f"--benchmark_repetitions={runs}",
                "--benchmark_report_aggregates_only=true",
                "--benchmark_min_time=0.2",
            ],
            check=False,
        )
        print()

    print(f"load average at the end: {load()}")
    print("Targets")
    for name, value, limit, unit, note in targets:
        word = "met" if value <= limit else "MISSED"
        extra = f"  [{note}]" if note else ""
        print(f"  {word:<6} {name}: {value:.3g} {unit} (target <= {limit:g} {unit}){extra}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
