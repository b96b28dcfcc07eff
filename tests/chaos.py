#!/usr/bin/env python3
"""Chaos soak: quorvel on an 80x24 terminal against two simulated controllers
in chaos mode (a terminal and a TCP box), at -u0 and then at -u900, while
controllers are unplugged, the disk fills (a file-size limit), commands are
typed, help is left open, the terminal resized, Ctrl-S/Ctrl-Q typed and quorvel
stopped and continued. Then it quits; the logs are checked, one table printed.

usage: chaos.py QUORVEL QUORVEL_SIM seconds|readings N SEED [--sanitized]"""
import contextlib, csv, fcntl, os, pty, random, re, resource, signal, struct, subprocess, sys
import tempfile, termios, threading, time
from collections import Counter

QUERIES = [(1, 22, "MEAS:VOLT?"), (1, 22, "MEAS:CURR?"), (1, 5, "VOLT?"), (1, 5, "CURR?"),
           (1, 5, "OUTP?"), (1, 5, "*OPC?")] * 2 + [(2, 22, "MEAS:VOLT?"), (2, 5, "VOLT?")] * 2
DICT = {"vset": (1, 5, "VOLT "), "vget": (1, 5, "VOLT?"), "dget": (2, 22, "MEAS:VOLT?"),
        "outp": (1, 5, "OUTP?")}
OFF = [(1, 5, "OUTP OFF"), (1, 22, "*RST"), (2, 5, "OUTP OFF")]
STAMP = re.compile(r"([+-]\d+)\.(\d\d)(\d{9})E\+00(\x1b\[2J\x07,\"\x7f)?", re.S)
INJECTED = ["unplug", "disk", "type", "type", "help", "resize", "xoff", "stop"]
SIM_FAULTS = ["late", "pieces", "cut", "burst", "nul", "ctl"]


def stamp_count(cell, adr, q):
    """The running count when cell is the answer to q at adr, else None."""
    m = STAMP.fullmatch(cell)
    ok = m and int(m[1]) == adr and int(m[2]) == sum(q.upper().encode()) % 100
    return int(m[3]) if ok else None


class Leg:
    def __init__(self, interval, budget):
        self.interval, self.budget, self.rng = interval, budget, random.Random(SEED + interval)
        self.rng2 = random.Random(-SEED - interval)
        self.work = tempfile.mkdtemp(prefix="quorvel-chaos-")
        self.t, self.faults, self.typed, self.full, self.samples = {}, Counter(), [], [], []
        self.fails = []

    def path(self, name):
        return os.path.join(self.work, name)

    def bytes(self, name):
        return os.path.getsize(self.path(name)) if os.path.exists(self.path(name)) else 0

    def run(self):
        conf = "".join(f"addr:{c};0;++addr\nread:{c};0;++read eoi;200\ninit:{c};5;++auto 0\n"
                       for c in (1, 2))
        conf += "".join(f"cfg:{c};{adr};{n};{q};{int(n == 'vset')};{int(n != 'vset')};x\n"
                        for n, (c, adr, q) in DICT.items())
        conf += "".join(f"dsp:{c};{adr};R{i}: ;{q};{1 + i % 12};0\n"
                        for i, (c, adr, q) in enumerate(QUERIES))
        with open(self.path("chaos.conf"), "w") as f:
            f.write(conf + "".join(f"off:{c};{adr};{q}\n" for c, adr, q in OFF))
        self.sims, devs = [], [self.path("gpib0")]
        for c, where in ((1, ["--link", devs[0]]), (2, ["--listen", "0"])):
            self.sims.append(subprocess.Popen([SIM, *where, "--reset-on-replug", "--chaos", str(SEED + c), "--log",
                                               self.path(f"sim{c}.log")], stdout=subprocess.PIPE))
            # The first line comes once the link or the port is there.
            tcp = self.sims[-1].stdout.readline().decode().strip()
            devs += [tcp] if c == 2 else []
            threading.Thread(target=self.sims[-1].stdout.read, daemon=True).start()
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execv(QUORVEL, [QUORVEL, "-c" + self.path("chaos.conf"), f"-u{self.interval}",
                               "-l" + self.path("data.csv"), "-g" + self.path("cmd.csv"), *devs])
        try:
            self.size(24, 80)
            threading.Thread(target=self.drain, daemon=True).start()
            self.t0 = time.monotonic()
            while self.bytes("data.csv") < 100 and time.monotonic() < self.t0 + 30:
                time.sleep(0.05)  # the first row
            while (self.bytes("data.csv") / 380 * len(QUERIES) < READINGS if READINGS and
                   not self.interval else time.monotonic() - self.t0 < self.budget):
                self.sample()
                time.sleep(self.rng.uniform(0.5, 3))
                # Now and then an unplug or a resize comes at the same time.
                both = threading.Thread(target=self.inject, args=(self.rng2.choice(
                    ["unplug", "resize"]), self.rng2)) if self.rng2.random() < 0.4 else None
                both and both.start()
                self.inject(self.rng.choice(INJECTED), self.rng)
                both and both.join()
            before = self.bytes("data.csv")
            time.sleep(4)  # quiet, so that every reading is answered again
            if self.bytes("data.csv") == before:
                self.fail("no row written in the last 4 s")
            self.type("quit\n")
            self.code = self.wait_exit()
        finally:
            for p in self.sims:
                p.terminate()
            if not hasattr(self, "code"):
                os.kill(self.pid, signal.SIGKILL)
        self.check()

    def type(self, text):
        os.write(self.fd, text.encode())

    def size(self, rows, cols):
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))

    def drain(self):
        with contextlib.suppress(OSError):  # EIO once quorvel has ended
            while os.read(self.fd, 65536):
                pass

    def sample(self):
        try:
            with open(f"/proc/{self.pid}/status") as f:
                rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
            self.samples.append((rss, len(os.listdir(f"/proc/{self.pid}/fd"))))
        except (OSError, StopIteration):  # ended: its exit code tells
            pass

    def command(self, full=False):
        name = self.rng.choice(list(DICT))
        value = f"{self.rng.uniform(0, 10):.3f}" if name == "vset" else ""
        self.typed.append((name, value, full))
        self.type(f"{name} {value}\n")
        # Logged before the next fault, so that none is typed into a full disk unknowingly.
        end = time.monotonic() + (1 if full else 10)
        while time.monotonic() < end and self.cmd_rows() < len(self.typed):
            time.sleep(0.05)

    def inject(self, kind, rng):
        self.faults[kind] += 1
        hold = rng.uniform(0.1, 3)
        if kind == "unplug":
            sim = self.sims[rng is self.rng]  # TCP alone, the terminal alongside
            sim.send_signal(signal.SIGUSR1)
            time.sleep(hold)
            sim.send_signal(signal.SIGUSR1)
        elif kind == "disk":
            was = resource.prlimit(self.pid, resource.RLIMIT_FSIZE)
            at = min(self.bytes("data.csv"), self.bytes("cmd.csv"))
            self.full.append((time.time(), time.time() + 99))
            resource.prlimit(self.pid, resource.RLIMIT_FSIZE, (at, was[1]))
            time.sleep(hold)
            if rng.random() < 0.5:
                self.command(True)
            resource.prlimit(self.pid, resource.RLIMIT_FSIZE, was)
            self.full[-1] = (self.full[-1][0], time.time())
        elif kind == "type":
            self.command()
        elif kind == "help":
            before = self.bytes("data.csv")
            self.type("help\n")
            time.sleep(hold + 3)
            if self.bytes("data.csv") == before:
                self.fail("no row written while help was open")
            self.type("\n")
        else:  # resize, xoff or stop, and back
            do, undo = {"resize": (lambda: self.size(rng.randint(8, 40), rng.randint(20, 132)),
                                   lambda: self.size(24, 80)),
                        "xoff": (lambda: self.type("\x13"), lambda: self.type("\x11\n")),
                        "stop": (lambda: os.kill(self.pid, signal.SIGSTOP),
                                 lambda: os.kill(self.pid, signal.SIGCONT))}[kind]
            do(), time.sleep(hold), undo()

    def csv(self, name):
        with contextlib.suppress(OSError), open(self.path(name), newline="") as f:
            return list(csv.reader(f))
        return []

    def cmd_rows(self):
        return max([0] + [int(r[0]) for r in self.csv("cmd.csv")[1:] if r and r[0].isdigit()])

    def wait_exit(self):
        signal.signal(signal.SIGALRM, lambda *_: os.kill(self.pid, signal.SIGKILL))
        signal.alarm(60)  # a quit that hangs is killed: exit code -9
        code = os.waitstatus_to_exitcode(os.waitpid(self.pid, 0)[1])
        signal.alarm(0)
        return code

    def fail(self, what, wire=None, c=1):
        self.fails.append(what)
        if len(self.fails) == 1 and wire:
            lines = open(self.path(f"sim{c}.log"), errors="replace").read().splitlines()
            at = next((i for i, l in enumerate(lines) if wire in l), len(lines))
            self.fails.append(f"controller {c}'s wire (sim{c}.log) around it:\n  " +
                              "\n  ".join(lines[max(0, at - 12):at + 4]))

    def check(self):
        if self.code != 0:
            self.fail(f"exit code {self.code}")
        rows = self.csv("data.csv") or [[]]
        if rows[0] != ["Record", "Date", "Time", "Mark", "Comment"] + [f"R{i}: " for i in range(16)]:
            self.fail(f"data-log header {rows[0]}")
        rows, last, seen, before = rows[1:], {1: 0, 2: 0}, 0, 0
        self.t.update({"interval": f"-u{self.interval}", "readings": len(rows) * len(QUERIES),
                       "rows": len(rows), "ERR cells": sum(r.count("ERR") for r in rows)})
        times = [time.mktime(time.strptime(r[1] + r[2], "%m/%d/%Y%H:%M:%S")) for r in rows]
        self.t["longest gap s"] = int(max((b - a for a, b in zip(times, times[1:])), default=0))
        # Each reading takes its 1 ms at least, answered or not.
        if max(Counter(times).values(), default=0) > 1000 // len(QUERIES) + 1:
            self.fail(f"{max(Counter(times).values())} rows in one second: the display spins")
        for r, t in zip(rows, times):
            if len(r) != 5 + len(QUERIES) or not r[0].isdigit():
                return self.fail(f"row {r[0]} is not whole: {r}")
            n = int(r[0])
            # Rows lost to a full disk: the gap spans a time the disk was full.
            if n != seen + 1 and not any(s - 2 <= t and before <= e + 2 for s, e in self.full):
                self.fail(f"rows {seen + 1} to {n - 1} missing with the disk free")
            seen, before = n, t
            for (c, adr, q), cell in zip(QUERIES, r[5:]):
                count = stamp_count(cell, adr, q)
                if cell != "ERR" and (count is None or count <= last[c]):
                    return self.fail(f"row {n} cell {cell!r}: not the answer to {q} at {adr} "
                                     f"on controller {c} after count {last[c]}", cell[:18], c)
                last[c] = count or last[c]
        for i, (c, adr, q) in enumerate(QUERIES):
            if rows and all(r[5 + i] == "ERR" for r, t in zip(rows, times) if t >= times[-1] - 3):
                self.fail(f"R{i}: ({q} at {adr} on controller {c}) not answered at the end")
        logged = {int(r[0]): r for r in self.csv("cmd.csv")[1:]}
        for k, (name, value, full) in enumerate(self.typed, 1):
            c, adr, q = DICT[name]
            r = logged.pop(k, None)
            if r is None and not full:
                self.fail(f"command {k}, {name} {value}, not logged")
            elif r and (r[3:5] != [q, value] or r[5] != "ERR" and
                        (r[5] != "" if name == "vset" else not stamp_count(r[5], adr, q))):
                self.fail(f"command {k}, {name} {value}, logged as {r}", r[5][:18], c)
        if logged:
            self.fail(f"commands logged that were not typed: {logged}")
        for c in (1, 2):
            off, tail = [q for cc, _, q in OFF if cc == c], None
            for line in open(self.path(f"sim{c}.log"), errors="replace"):
                text = line.rstrip("\n").split(" ", 1)[1]
                if text.startswith("=> "):
                    self.faults[text.split(" ")[1]] += 1
                elif text == off[0] or tail is not None:  # the off sequence on
                    tail = (tail or []) + ([] if text[:2] == "++" else [text])
            if tail != off:
                self.fail(f"controller {c} got {(tail or [])[:5]} from the off sequence on, not {off}")
        self.t.update({f"fault {k}": self.faults[k] for k in dict.fromkeys(INJECTED + SIM_FAULTS)})
        n, self.samples = len(self.samples) // 10 or 1, self.samples or [(0, 0)]
        (r0, f0), (r1, f1) = [max(s) for s in zip(*self.samples[:n])], \
                             [max(s) for s in zip(*self.samples[-n:])]
        self.t.update({"RSS KiB start/end": f"{r0}/{r1}", "fds start/end": f"{f0}/{f1}"})
        if f1 > f0 + 2 or (r1 > r0 + 1024 and "--sanitized" not in sys.argv):
            self.fail(f"grew: RSS from {r0} to {r1} KiB, descriptors from {f0} to {f1}")


QUORVEL, SIM, MODE, N, SEED = sys.argv[1:6]
N, SEED = float(N), int(SEED)
READINGS = N if MODE == "readings" else 0
legs = [Leg(0, N * 5 / 6), Leg(900, N / 6 if not READINGS else 60)]
for leg in legs:
    leg.run()
    leg.t["verdict"] = "FAIL" if leg.fails else "pass"
print(f"chaos seed {SEED}, {time.strftime('%Y-%m-%d %H:%M')}, "
      f"{sum(l.t.get('readings', 0) for l in legs)} readings")
for k in legs[0].t:
    print(f"| {k:<17} | " + " | ".join(f"{l.t.get(k, '-'):>10}" for l in legs) + " |")
for leg in legs:
    for f in leg.fails:
        print(f"FAIL (seed {SEED}, -u{leg.interval}, {leg.work}): {f}")
    if not leg.fails:
        subprocess.run(["rm", "-rf", leg.work])
sys.exit(1 if any(l.fails for l in legs) else 0)
