#!/usr/bin/env python3
"""Chaos soak: quorvel on an 80x24 pseudo-terminal against two simulated
controllers in chaos mode (a terminal and a TCP box whose answers are
checkable stamps, now and then late, cut, repeated or dirty), first at -u0,
then at -u900. From outside it unplugs controllers, fills the disk (a
file-size limit), types commands, leaves help open, resizes the terminal,
types Ctrl-S/Ctrl-Q, stops and continues quorvel, and quits at the end.
The logs are then checked and one table printed; the verdict is the status.

usage: chaos.py QUORVEL QUORVEL_SIM (--seconds S | --readings N) [--seed N] [--sanitized]
"""
import argparse, csv, fcntl, os, pty, random, re, resource, signal, struct, subprocess
import sys, tempfile, termios, threading, time
from collections import Counter

QUERIES = [(1, 22, "MEAS:VOLT?"), (1, 22, "MEAS:CURR?"), (1, 5, "VOLT?"), (1, 5, "CURR?"),
           (1, 5, "OUTP?"), (1, 5, "*OPC?")] * 2 + [(2, 22, "MEAS:VOLT?"), (2, 5, "VOLT?")] * 2
DICT = {"vset": (1, 5, "VOLT "), "vget": (1, 5, "VOLT?"), "dget": (2, 22, "MEAS:VOLT?"),
        "outp": (1, 5, "OUTP?")}
OFF = [(1, 5, "OUTP OFF"), (1, 22, "*RST"), (2, 5, "OUTP OFF")]
TAIL = '\x1b[2J\x07,"\x7f'
STAMP = re.compile(r"([+-]\d+)\.(\d\d)(\d{9})E\+00(.*)", re.S)
INJECTED = ["unplug", "disk", "type", "help", "resize", "xoff", "stop"]


def stamp_count(cell, adr, q):
    """The running count when cell is the sim's answer to q at adr, else None."""
    m = STAMP.fullmatch(cell)
    ok = m and int(m[1]) == adr and int(m[2]) == sum(q.upper().encode()) % 100
    return int(m[3]) if ok and m[4] in ("", TAIL) else None


class Leg:
    def __init__(self, a, interval, budget):
        self.a, self.interval, self.budget = a, interval, budget
        self.work = tempfile.mkdtemp(prefix="quorvel-chaos-")
        self.rng = random.Random(a.seed * 1000 + interval)
        self.faults, self.typed, self.full, self.samples = Counter(), [], [], []
        self.fails = []

    def path(self, name):
        return os.path.join(self.work, name)

    def run(self):
        conf = "addr:1;0;++addr\nread:1;0;++read eoi;200\naddr:2;0;++addr\nread:2;0;++read eoi;200\n"
        conf += "".join(f"cfg:{c};{adr};{n};{q};{int(n == 'vset')};{int(n != 'vset')};x\n"
                        for n, (c, adr, q) in DICT.items())
        conf += "".join(f"dsp:{c};{adr};R{i}: ;{q};{1 + i % 12};0\n"
                        for i, (c, adr, q) in enumerate(QUERIES))
        conf += "".join(f"off:{c};{adr};{q}\n" for c, adr, q in OFF)
        with open(self.path("chaos.conf"), "w") as f:
            f.write(conf)
        self.sims, devs = [], []
        for c, where in ((1, ["--link", self.path("gpib0")]), (2, ["--listen", "0"])):
            p = subprocess.Popen([self.a.sim, *where, "--chaos", str(self.a.seed + c), "--log",
                                  self.path(f"sim{c}.log")], stdout=subprocess.PIPE, text=True)
            devs.append(p.stdout.readline().strip() if c == 2 else self.path("gpib0"))
            threading.Thread(target=p.stdout.read, daemon=True).start()
            self.sims.append(p)
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execv(self.a.quorvel, [self.a.quorvel, "-c" + self.path("chaos.conf"),
                                      f"-u{self.interval}", "-l" + self.path("data.csv"),
                                      "-g" + self.path("cmd.csv"), *devs])
        self.size(24, 80)
        threading.Thread(target=self.drain, daemon=True).start()
        while self.bytes("data.csv") < 100:  # the first row, from quorvel
            time.sleep(0.05)
        self.t0 = time.monotonic()
        while not self.done():
            self.sample()
            self.sleep(0.5, 3)
            self.inject(self.rng.choice(INJECTED))
        self.type("quit\n")
        self.code = self.wait_exit()
        for p in self.sims:
            p.terminate()
            p.wait()
        self.check()

    def done(self):
        if self.a.readings and self.interval == 0:
            return self.bytes("data.csv") / 330 * len(QUERIES) > self.a.readings
        return time.monotonic() - self.t0 > self.budget

    def bytes(self, name):
        return os.path.getsize(self.path(name)) if os.path.exists(self.path(name)) else 0

    def sleep(self, lo, hi):
        time.sleep(self.rng.uniform(lo, hi))

    def type(self, text):
        os.write(self.fd, text.encode())

    def size(self, rows, cols):
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))

    def drain(self):
        try:
            while os.read(self.fd, 65536):
                pass
        except OSError:
            pass

    def sample(self):
        try:
            with open(f"/proc/{self.pid}/status") as f:
                rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
            self.samples.append((time.monotonic() - self.t0, rss,
                                 len(os.listdir(f"/proc/{self.pid}/fd"))))
        except (OSError, StopIteration):
            pass

    def inject(self, kind):
        self.faults[kind] += 1
        if kind == "unplug":
            sim = self.rng.choice(self.sims)
            sim.send_signal(signal.SIGUSR1)
            self.sleep(0.2, 3)
            sim.send_signal(signal.SIGUSR1)
        elif kind == "disk":
            at = self.bytes("data.csv")
            was = resource.prlimit(self.pid, resource.RLIMIT_FSIZE)
            self.full.append((time.time(), time.time() + 99))
            resource.prlimit(self.pid, resource.RLIMIT_FSIZE, (at, was[1]))
            self.sleep(0.5, 3)
            resource.prlimit(self.pid, resource.RLIMIT_FSIZE, was)
            self.full[-1] = (self.full[-1][0], time.time())
        elif kind == "type":
            name = self.rng.choice(list(DICT))
            value = f"{self.rng.uniform(0, 10):.3f}" if name == "vset" else ""
            self.typed.append((name, value))
            self.type(f"{name} {value}\n")
            # Answered before the next fault, so that none is typed into a full disk.
            end = time.monotonic() + 5
            while time.monotonic() < end and self.cmd_rows() < len(self.typed):
                time.sleep(0.05)
        elif kind == "help":
            self.type("help\n")
            self.sleep(0.5, 4)
            self.type("\n")
        elif kind == "resize":
            self.size(self.rng.randint(8, 40), self.rng.randint(20, 132))
            self.sleep(0.1, 1)
            self.size(24, 80)
        elif kind == "xoff":
            self.type("\x13")
            self.sleep(0.1, 1)
            self.type("\x11\n")
        else:
            os.kill(self.pid, signal.SIGSTOP)
            self.sleep(0.1, 2)
            os.kill(self.pid, signal.SIGCONT)

    def cmd_rows(self):
        with open(self.path("cmd.csv"), newline="") as f:
            return len(list(csv.reader(f))) - 1

    def wait_exit(self):
        for _ in range(600):
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            time.sleep(0.1)
        os.kill(self.pid, signal.SIGKILL)
        return "hung"

    def fail(self, what, wire=None, c=1):
        self.fails.append(what)
        if len(self.fails) == 1 and wire:
            lines = open(self.path(f"sim{c}.log"), errors="replace").read().splitlines()
            at = next((i for i, l in enumerate(lines) if wire in l), len(lines))
            self.fails.append("wire of controller %d around it:\n  " % c +
                              "\n  ".join(lines[max(0, at - 12):at + 4]))

    def check(self):
        if self.code != 0:
            self.fail(f"exit code {self.code}")
        with open(self.path("data.csv"), newline="") as f:
            rows = list(csv.reader(f))
        if rows[0] != ["Record", "Date", "Time", "Mark", "Comment"] + [f"R{i}: " for i in range(16)]:
            self.fail(f"data-log header {rows[0]}")
        rows, last, seen, before = rows[1:], {1: 0, 2: 0}, 0, 0
        self.errs, self.rows, self.readings = 0, len(rows), len(rows) * len(QUERIES)
        times = [time.mktime(time.strptime(r[1] + r[2], "%m/%d/%Y%H:%M:%S")) for r in rows]
        self.gap = max((b - a for a, b in zip(times, times[1:])), default=0)
        for r, t in zip(rows, times):
            if len(r) != 5 + len(QUERIES) or not r[0].isdigit():
                self.fail(f"row {r[0]} is not whole: {r}")
                continue
            n = int(r[0])
            # Rows lost to a full disk: the gap spans a time the disk was full.
            if n != seen + 1 and not any(s - 2 <= t and before <= e + 2 for s, e in self.full):
                self.fail(f"rows {seen + 1} to {n - 1} missing with the disk free")
            seen, before = n, t
            for (c, adr, q), cell in zip(QUERIES, r[5:]):
                count = stamp_count(cell, adr, q)
                if cell == "ERR":
                    self.errs += 1
                elif count is None or count <= last[c]:
                    self.fail(f"row {n} cell {cell!r}: not the answer to {q} at {adr} on "
                              f"controller {c} after count {last[c]}", cell[:20], c)
                    return
                else:
                    last[c] = count
        with open(self.path("cmd.csv"), newline="") as f:
            logged = list(csv.reader(f))[1:]
        if len(logged) != len(self.typed):
            self.fail(f"{len(self.typed)} commands typed, {len(logged)} logged")
        for i, (row, (name, value)) in enumerate(zip(logged, self.typed)):
            c, adr, q = DICT[name]
            ok = row[5] == "" if name == "vset" else row[5] == "ERR" or stamp_count(row[5], adr, q)
            if row[0] != str(i + 1) or row[3:5] != [q, value] or not ok:
                self.fail(f"command {name} {value}: logged as {row}", row[5][:20], c)
        for c in (1, 2):
            wire = [l.split(" ", 1)[1] for l in open(self.path(f"sim{c}.log"), errors="replace")
                    if " => " not in l[:24]]
            wire = [l.rstrip("\n") for l in wire]
            off = [q for cc, _, q in OFF if cc == c]
            first = next((i for i, l in enumerate(wire) if l == off[0]), len(wire))
            tail = [l for l in wire[first:] if not l.startswith("++")]
            if tail != off:
                self.fail(f"controller {c} got {tail} from the off sequence on, not {off}")
        n = len(self.samples) // 10 or 1
        self.rss = (max(s[1] for s in self.samples[:n]), max(s[1] for s in self.samples[-n:]))
        self.fds = (max(s[2] for s in self.samples[:n]), max(s[2] for s in self.samples[-n:]))
        if self.fds[1] > self.fds[0] + 2:
            self.fail(f"open descriptors grew from {self.fds[0]} to {self.fds[1]}")
        if self.rss[1] > self.rss[0] + 1024 and not self.a.sanitized:
            self.fail(f"resident memory grew from {self.rss[0]} to {self.rss[1]} KiB")
        for c in (1, 2):
            for l in open(self.path(f"sim{c}.log"), errors="replace"):
                if " => " in l[:24]:
                    self.faults[l.split()[2]] += 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("quorvel")
    p.add_argument("sim")
    p.add_argument("--seconds", type=float)
    p.add_argument("--readings", type=int)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--sanitized", action="store_true")
    a = p.parse_args()
    legs = [Leg(a, 0, a.seconds * 5 / 6 if a.seconds else 0),
            Leg(a, 900, a.seconds / 6 if a.seconds else 60)]
    for leg in legs:
        leg.run()
    print(f"chaos seed {a.seed}, {time.strftime('%Y-%m-%d %H:%M')}, "
          f"{sum(l.readings for l in legs if hasattr(l, 'readings'))} readings")
    table = [("interval", lambda l: f"-u{l.interval}"), ("readings", lambda l: l.readings),
             ("rows", lambda l: l.rows), ("ERR cells", lambda l: l.errs),
             ("longest gap s", lambda l: int(l.gap))]
    kinds = INJECTED + ["late", "pieces", "cut", "burst", "nul", "ctl"]
    table += [(f"fault {k}", lambda l, k=k: l.faults[k]) for k in kinds]
    table += [("RSS KiB start/end", lambda l: "%d/%d" % l.rss),
              ("fds start/end", lambda l: "%d/%d" % l.fds),
              ("verdict", lambda l: "FAIL" if l.fails else "pass")]
    for name, get in table:
        cells = []
        for leg in legs:
            try:
                cells.append(str(get(leg)))
            except AttributeError:
                cells.append("-")
        print(f"| {name:<18} | " + " | ".join(f"{c:>9}" for c in cells) + " |")
    for leg in legs:
        for f in leg.fails:
            print(f"FAIL (seed {a.seed}, -u{leg.interval}): {f}")
        if not leg.fails:
            subprocess.run(["rm", "-rf", leg.work])
    return 1 if any(l.fails for l in legs) else 0


if __name__ == "__main__":
    sys.exit(main())
