"""Benchmarks of the link to the pulley, printed as one table: the
ReadPulley round trip against pulley-sim on a pty mapped as COM1, and the
bytes a poll puts on the wire. Run through scripts/bench."""
import os
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from harness import BIN, WINE, Simulator, wine_env  # noqa: E402

BAUD = 19200
BITS_PER_BYTE = 10  # start, 8 data, stop


def probe(*operations):
    output = subprocess.run([WINE, os.path.join(BIN, 'pulley-probe.exe'), 'COM1'] + list(operations),
                            env=wine_env(), stdin=subprocess.DEVNULL, capture_output=True, text=True,
                            check=True).stdout
    return [line.split() for line in output.splitlines()[1:]]


def sim_bytes(sim):
    with sim.lock:
        start = len(sim.lines)
    sim.process.stdin.write('status\n')
    sim.process.stdin.flush()
    words = sim.wait_line('status', 5, start).split()
    return int(words[words.index('bytes-in') + 1]), int(words[words.index('bytes-out') + 1])


def main():
    reads = int(sys.argv[1]) if len(sys.argv) > 1 else 300
    sim = Simulator('com1', ['--count', '1234'])
    try:
        probe('read')  # the first open and read warm the path up
        before = sim_bytes(sim)
        times = sorted(float(ms) for _, _, ms in probe(*['read'] * reads))
        after = sim_bytes(sim)
    finally:
        sim.close()
    bytes_in = (after[0] - before[0]) / reads
    bytes_out = (after[1] - before[1]) / reads
    wire_ms = (bytes_in + bytes_out) * BITS_PER_BYTE * 1000 / BAUD
    median = statistics.median(times)
    p99 = times[int(0.99 * (len(times) - 1))]
    rows = [
        ('ReadPulley round trip, median (pty, no wire delay)', '%.2f ms' % median),
        ('ReadPulley round trip, p99', '%.2f ms' % p99),
        ('ReadPulley round trip, worst of %d' % reads, '%.2f ms' % times[-1]),
        ('bytes per poll: request / reply', '%.0f / %.0f' % (bytes_in, bytes_out)),
        ('wire time per poll at %d baud' % BAUD, '%.1f ms' % wire_ms),
        ('expected round trip on a real line (wire + median)', '%.1f ms' % (wire_ms + median)),
    ]
    width = max(len(name) for name, _ in rows)
    print('| %s | %s |' % ('measure'.ljust(width), 'result'))
    print('|%s|%s|' % ('-' * (width + 2), '-' * 10))
    for name, value in rows:
        print('| %s | %s |' % (name.ljust(width), value))


if __name__ == '__main__':
    main()
