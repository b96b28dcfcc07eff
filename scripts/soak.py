#!/usr/bin/env python3
"""Soak run: quorvel at -u0 against the simulated controller with 16
readings, a data log and a console command every second. Checks that the
resident memory does not grow, that the data-log rows are numbered without
gaps and whole, and that every command was answered; prints the figures.

usage: soak.py QUORVEL QUORVEL_SIM [SECONDS] [--sanitized]

With --sanitized (a sanitizer build, whose own allocator keeps growing its
shadow and quarantine) the resident memory is reported but not checked.
"""
import csv
import fcntl
import os
import pty
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

READINGS = 16


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    args = [a for a in sys.argv[1:] if a != "--sanitized"]
    sanitized = len(args) < len(sys.argv) - 1
    quorvel, sim = args[0], args[1]
    seconds = float(args[2]) if len(args) > 2 else 300
    work = tempfile.mkdtemp(prefix="quorvel-soak-")
    link, conf = os.path.join(work, "gpib0"), os.path.join(work, "soak.conf")
    data, cmds = os.path.join(work, "data.csv"), os.path.join(work, "cmd.csv")
    with open(conf, "w") as f:
        f.write("addr:1;0;++addr\nread:1;0;++read eoi;200\n")
        f.write("cfg:1;5;vget;VOLT?;0;1;supply volts\n")
        queries = [(22, "MEAS:VOLT?"), (22, "MEAS:CURR?"), (5, "VOLT?"), (5, "CURR?")]
        for i in range(READINGS):
            adr, q = queries[i % len(queries)]
            f.write(f"dsp:1;{adr};R{i}: ;{q};{1 + i % 12};0\n")
        f.write("off:1;5;OUTP OFF\n")

    simp = subprocess.Popen([sim, "--link", link], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    for _ in range(200):
        if os.path.exists(link):
            break
        time.sleep(0.05)

    pid, fd = pty.fork()
    if pid == 0:
        os.execv(quorvel, [quorvel, "-c" + conf, "-u0", "-l" + data, "-g" + cmds, link])
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    out = bytearray()

    def drain():
        while True:
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                return
            if not chunk:
                return
            out.extend(chunk[-4096:])

    threading.Thread(target=drain, daemon=True).start()

    samples, sent = [], 0
    start = time.monotonic()
    next_cmd = start + 1
    while time.monotonic() - start < seconds:
        now = time.monotonic()
        if now >= next_cmd:
            os.write(fd, b"vget\n")
            sent += 1
            next_cmd += 1
        if now - start >= 1:
            samples.append((now - start, rss_kib(pid)))
        time.sleep(0.5)
    os.write(fd, b"quit\n")
    _, status = os.waitpid(pid, 0)
    elapsed = time.monotonic() - start
    simp.terminate()
    simp.wait()

    failures = []
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        failures.append(f"exit code {code}")
    with open(data, newline="") as f:
        rows = list(csv.reader(f))[1:]
    numbers = [int(r[0]) for r in rows]
    if numbers != list(range(1, len(rows) + 1)):
        failures.append("data-log rows are not numbered without gaps")
    if any(len(r) != 5 + READINGS for r in rows):
        failures.append("a data-log row is not whole")
    errs = sum(r[5:].count("ERR") for r in rows)
    with open(cmds, newline="") as f:
        logged = list(csv.reader(f))[1:]
    answered = sum(1 for r in logged if r[5] and r[5] != "ERR")
    if len(logged) != sent or answered != sent:
        failures.append(f"{sent} commands sent, {len(logged)} logged, {answered} answered")
    # Growth after the first fifth of the run, when every buffer is in use.
    settled = [kib for t, kib in samples if t >= seconds / 5]
    growth = (settled[-1] - settled[0]) if settled else 0
    if growth > 64 and not sanitized:
        failures.append(f"resident memory grew by {growth} KiB")

    print(f"soak: {elapsed:.0f} s, {len(rows)} passes ({len(rows) / elapsed:.1f}/s), "
          f"{len(rows) * READINGS} readings, {errs} ERR cells")
    print(f"soak: {sent} commands, {answered} answered and logged")
    print(f"soak: resident {samples[0][1]} KiB at start, {samples[-1][1]} KiB at end, "
          f"max {max(k for _, k in samples)} KiB, growth after settling {growth} KiB")
    subprocess.run(["rm", "-rf", work])
    if failures:
        print("soak FAILED: " + "; ".join(failures))
        return 1
    print("soak passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
