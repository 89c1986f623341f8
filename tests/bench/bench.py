"""The benchmarks, printed as one table: the link to the pulley (round trip,
bytes on the wire), the poll tick's CPU cost, the latency from a count change
at the pulley to the relay line, to the feed's datagram and to the digits of
the feed's page in a browser, the CPU of the idle display and of the feed
with many clients, start-up time and binary sizes. Run through scripts/bench
(under Debian's python3, for selenium); docs/performance.md keeps the
figures."""
import os
import random
import select
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from browser import chromium  # noqa: E402
from harness import BIN, ID, NATIVE_BIN, DisplayTestCase, connect, free_port, wait_for  # noqa: E402

BAUD = 19200
BITS_PER_BYTE = 10  # start, 8 data, stop
TICKS_PER_SECOND = os.sysconf('SC_CLK_TCK')
rows = []


def row(name, value):
    rows.append((name, value))


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS_PER_SECOND  # utime + stime


class Bench(DisplayTestCase):
    reads = 300
    idle_seconds = 60

    def sim_bytes(self, sim):
        with sim.lock:
            start = len(sim.lines)
        sim.process.stdin.write('status\n')
        sim.process.stdin.flush()
        words = sim.wait_line('status', 5, start).split()
        return int(words[words.index('bytes-in') + 1]), int(words[words.index('bytes-out') + 1])

    def link(self):
        sim = self.simulator(args=['--count', '1234'])
        self.probe('COM1', 'read')  # the first open warms the path up
        before = self.sim_bytes(sim)
        times = sorted(ms for _, ms in self.probe('COM1', *['read'] * self.reads)['read'])
        after = self.sim_bytes(sim)
        sim.close()
        bytes_in = (after[0] - before[0]) / self.reads
        bytes_out = (after[1] - before[1]) / self.reads
        wire_ms = (bytes_in + bytes_out) * BITS_PER_BYTE * 1000 / BAUD
        row('ReadPulley round trip on a pty, median / p99 / worst of %d' % self.reads,
            '%.2f / %.2f / %.2f ms' % (statistics.median(times), times[int(0.99 * (len(times) - 1))], times[-1]))
        row('bytes per poll, request + reply', '%.0f + %.0f' % (bytes_in, bytes_out))
        row('wire time per poll at %d baud' % BAUD, '%.1f ms' % wire_ms)

    def poll_tick(self):
        output = subprocess.run([os.path.join(NATIVE_BIN, 'poll_tick_bench')], capture_output=True, text=True,
                                check=True).stdout.split()
        row('poll tick CPU, no serial wait: new count / same count', '%s / %s ns' % (output[1], output[3]))

    def start_up(self):
        times = []
        for _ in range(5):
            started = time.monotonic()
            self.start_display()
            times.append(time.monotonic() - started - 0.3)  # start_display waits 0.3 s after the window appears
            self.exit_display()
        row('start-up to the window shown (Wine, warm), median of 5', '%.2f s' % statistics.median(times))

    def connected_with_relay(self):
        sim = self.simulator(args=['--count', '5'])
        tap = self.relay_tap('com2')
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() == 5, 3, 'count 5')
        self.menu('relaycount')
        self.wait_dialog('Relay Count')
        self.drive('select', 'Relay Count', ID['IDC_RELAYPORT'], 'COM2')
        self.drive('click', 'Relay Count', ID['IDC_FORMATKVARN'])
        self.drive('click', 'Relay Count', ID['IDC_RELAYCONNECT'])
        self.drive('click', 'Relay Count', 1)
        self.wait_dialog_gone('Relay Count')
        return sim, tap

    def relay_latency_and_idle_cpu(self, sim, tap):
        latencies = []
        for count in range(10, 20):
            tap.clear()
            sim.control('count %d' % count)
            changed = time.monotonic()
            wait_for(lambda: tap.chunks, 3, 'the relay line', interval=0.002)
            latencies.append(tap.chunks[0][0] - changed)
            time.sleep(random.uniform(0, 1))  # changes fall anywhere in the poll period
        row('count change at the pulley to relay line (poll period 1 s), median / worst of 10',
            '%.0f / %.0f ms' % (statistics.median(latencies) * 1000, max(latencies) * 1000))
        before = cpu_seconds(self.display.pid)
        time.sleep(self.idle_seconds)
        used = cpu_seconds(self.display.pid) - before
        row('CPU of the connected display, steady count, over %d s' % self.idle_seconds,
            '%.2f%% of one core' % (100 * used / self.idle_seconds))

    def feed_latency(self, sim, tap):
        """From a count change at the pulley to the feed's datagram: the
        display's share ends with its relay line, written in the same tick
        in which its count changes; the rest is the feed's."""
        udp = self.udp_receiver()
        self.start_feed('--udp', '127.0.0.1:%d' % udp.port)
        time.sleep(2)
        display, feed = [], []
        for count in range(30, 45):
            tap.clear()
            changed = time.monotonic()
            sim.control('count %d' % count)
            wait_for(lambda: tap.chunks, 3, 'the relay line', interval=0.002)
            polled = tap.chunks[0][0]
            sent = wait_for(lambda: [when for when, data in udp.since(changed) if b',%d,' % count in data], 3,
                            'the datagram', interval=0.002)[0]
            display.append(polled - changed)
            feed.append(sent - polled)
            time.sleep(random.uniform(0, 1))
        total = [a + b for a, b in zip(display, feed)]
        row('count change at the pulley to the feed\'s UDP datagram, median / worst of %d' % len(total),
            '%.0f / %.0f ms' % (statistics.median(total) * 1000, max(total) * 1000))
        row('  of which the display\'s poll / the feed\'s share (poll every 250 ms), median',
            '%.0f / %.0f ms' % (statistics.median(display) * 1000, statistics.median(feed) * 1000))

    def feed_cpu(self, server, clients, request=b''):
        """The feed's CPU over the watch, with so many clients of its TCP
        line server (tcp) or event streams from its web server (http),
        each read as it comes."""
        port = free_port()
        feed = self.start_feed('--' + server, '127.0.0.1:%d' % port, '--max-clients', 200)
        sockets = [wait_for(lambda: connect(port), 10, 'the feed listening')]
        sockets += [connect(port) for _ in range(clients - 1)]
        for client in sockets:
            client.sendall(request)
        received = [0]

        def read():
            while sockets:
                ready, _, _ = select.select(sockets, [], [], 0.5)
                for client in ready:
                    received[0] += len(client.recv(4096))
        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        time.sleep(2)
        before = cpu_seconds(feed.pid)
        time.sleep(self.idle_seconds)
        used = cpu_seconds(feed.pid) - before
        feed.kill()
        sockets_open = list(sockets)
        sockets.clear()
        reader.join(5)
        for client in sockets_open:
            client.close()
        what = ('%d TCP client%s' % (clients, 's' if clients > 1 else '')) if server == 'tcp' else \
            '%d /events streams' % clients
        row('CPU of pulley-feed, count changing every second, %s, over %d s' % (what, self.idle_seconds),
            '%.2f%% of one core (%d bytes to the clients)' % (100 * used / self.idle_seconds, received[0]))

    def page_latency(self, sim, tap):
        """From a count change at the pulley to the page's digits, timed by
        the browser itself when it changes them (one clock: this machine's);
        the display's share ends with its relay line, as above."""
        port = free_port()
        self.start_feed('--http', '127.0.0.1:%d' % port)
        wait_for(lambda: connect(port), 10, 'the page served')
        browser = chromium(1280, 720)
        try:
            browser.get('http://127.0.0.1:%d/' % port)
            browser.execute_script(
                'window.changes = []; new MutationObserver(() => window.changes.push([performance.timeOrigin +'
                ' performance.now(), document.getElementById("digits").textContent]))'
                '.observe(document.getElementById("digits"), {childList: true, characterData: true, subtree: true})')
            latencies, display = [], []
            for count in range(50, 65):
                tap.clear()
                changed, changed_monotonic = time.time(), time.monotonic()
                sim.control('count %d' % count)
                shown = wait_for(lambda: [at for at, text in browser.execute_script('return window.changes')
                                          if text == '%+05d' % count], 5, 'the page showing %d' % count)[0]
                latencies.append(shown / 1000 - changed)
                display.append(tap.chunks[0][0] - changed_monotonic)
                time.sleep(random.uniform(0, 1))
        finally:
            browser.quit()
        row('count change at the pulley to the page\'s digits in Chromium, median / worst of %d' % len(latencies),
            '%.0f / %.0f ms' % (statistics.median(latencies) * 1000, max(latencies) * 1000))
        rest = [a - b for a, b in zip(latencies, display)]
        row('  of which the display\'s poll / the feed\'s and the browser\'s share, median',
            '%.0f / %.0f ms' % (statistics.median(display) * 1000, statistics.median(rest) * 1000))

    def runTest(self):
        self.link()
        self.poll_tick()
        self.start_up()
        sim, tap = self.connected_with_relay()
        self.relay_latency_and_idle_cpu(sim, tap)
        self.feed_latency(sim, tap)
        self.page_latency(sim, tap)
        sim.control('rate 1')
        for clients in (1, 100):
            self.feed_cpu('tcp', clients)
        self.feed_cpu('http', 100, b'GET /events HTTP/1.1\r\nAccept: text/event-stream\r\n\r\n')
        self.exit_display()


def binary_sizes():
    for preset in ('win32', 'win64'):
        folder = os.path.join(os.path.dirname(BIN), '..', preset, 'bin')
        sizes = ['%s %d KiB' % (name, os.path.getsize(os.path.join(folder, name)) // 1024)
                 for name in ('PulleyDisplay.exe', 'kvarncpi.dll', 'enumcomm.dll', 'pulley-feed.exe')
                 if os.path.exists(os.path.join(folder, name))]
        if sizes:
            row('binary sizes, %s (static)' % preset, ', '.join(sizes))


def main():
    bench = Bench()
    if len(sys.argv) > 1:
        Bench.idle_seconds = int(sys.argv[1])
    bench.setUp()
    try:
        bench.runTest()
    finally:
        bench.tearDown()
    binary_sizes()
    width = max(len(name) for name, _ in rows)
    print('| %s | %s |' % ('measure'.ljust(width), 'result'))
    print('|%s|%s|' % ('-' * (width + 2), '-' * 24))
    for name, value in rows:
        print('| %s | %s |' % (name.ljust(width), value))


if __name__ == '__main__':
    main()
