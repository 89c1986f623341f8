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

    def trend_costs(self):
        """The trend: a day of rows read back at start, /history.json for
        24 h at a step of a minute, and what 20 pages showing the chart
        cost the feed and one of them its browser."""
        folder = os.path.join(self.dir, 'trend-log')
        os.mkdir(folder)
        now = int(time.time())
        rows_by_day = {}
        for second in range(now - 86400, now):
            day = time.strftime('%Y-%m-%d', time.gmtime(second))
            rows_by_day.setdefault(day, []).append('%s.000Z,%d,valid,%.1f,,\r\n' % (
                time.strftime('%Y-%m-%dT%H:%M:%S', time.gmtime(second)), 1000 + second % 600, 60.0))
        for day, day_rows in rows_by_day.items():
            with open(os.path.join(folder, 'pulley-%s.csv' % day), 'w', newline='') as f:
                f.write('utc,metres,status,rate_m_per_min,wire_left_m,note\r\n' + ''.join(day_rows))
        port = free_port()
        # On every address, so that each page below can have one of its own:
        # a browser keeps at most six connections to one host, and each page
        # holds its event stream open.
        feed = self.start_feed('--wait', '--http', port, '--max-clients', 200, '--log', folder)
        wait_for(lambda: connect(port), 20, 'the page served')
        times = []
        for _ in range(21):
            started = time.monotonic()
            client = connect(port)
            client.sendall(b'GET /history.json?seconds=86400&step=60 HTTP/1.0\r\n\r\n')
            answer = b''
            while chunk := client.recv(65536):
                answer += chunk
            client.close()
            times.append(time.monotonic() - started)
        first, times = times[0], times[1:]
        row('/history.json, 24 h at a step of 60 s (%d KB): the first (behind the read-back at start) / median / '
            'worst of 20 more' % (len(answer) // 1024),
            '%.1f / %.1f / %.1f ms' % (first * 1000, statistics.median(times) * 1000, max(times) * 1000))
        browser = chromium(1280, 720)

        def watch():
            """The shares of a core the page's tasks (as Chromium counts
            them) and the feed took over the watch."""
            tasks = lambda: next(m['value'] for m in browser.execute_cdp_cmd('Performance.getMetrics', {})['metrics']
                                 if m['name'] == 'TaskDuration')
            time.sleep(5)
            page_before, feed_before, started = tasks(), cpu_seconds(feed.pid), time.monotonic()
            time.sleep(self.idle_seconds)
            seconds = time.monotonic() - started
            return (100 * (tasks() - page_before) / seconds, 100 * (cpu_seconds(feed.pid) - feed_before) / seconds)
        try:
            browser.get('http://127.0.0.1:%d/' % port)
            browser.execute_cdp_cmd('Performance.enable', {})
            page_alone, _ = watch()
            for page in range(2, 21):
                browser.switch_to.new_window('tab')
                browser.get('http://127.0.0.%d:%d/' % (page, port))
            browser.switch_to.window(browser.window_handles[0])
            page_among, feed_share = watch()
        finally:
            browser.quit()
        row('CPU of pulley-feed with 20 pages showing the chart, count changing, over %d s' % self.idle_seconds,
            '%.2f%% of one core' % feed_share)
        row('CPU of a page with the chart live in Chromium (its tasks), alone / among 20 tabs, over %d s' %
            self.idle_seconds, '%.2f%% / %.2f%% of one core' % (page_alone, page_among))
        feed.kill()
        said = feed.communicate(timeout=10)[1]
        read_back = [line for line in said.split('\n') if 'read back' in line]
        row('the day files of 24 h read back at start (%d rows)' % 86400, read_back[0].split('in ')[-1] if read_back else '?')

    def manifest_costs(self, days=30):
        """A cruise folder's manifest: made at start over a month of closed
        days of one-second rows, and made again as a full day closes."""
        pulley = os.path.join(self.dir, 'cruise-log', 'BENCH1', 'pulley')
        os.makedirs(os.path.join(pulley, 'raw'))
        midnight = (int(time.time()) // 86400 + 1) * 86400
        day_file = lambda start: os.path.join(pulley, 'raw', 'winch_kvarn_deck-%s.csv' % time.strftime(
            '%Y%m%dT%H%M%SZ', time.gmtime(start)))
        for day in range(days + 1):  # the last the open one, a second short of whole
            start = midnight - (days + 1 - day) * 86400
            with open(day_file(start), 'w', newline='') as f:
                f.write('utc,metres,status,rate_m_per_min,wire_left_m,note\r\n' + ''.join(
                    '%s.000Z,%d,valid,60.0,,\r\n' % (time.strftime('%Y-%m-%dT%H:%M:%S', time.gmtime(second)),
                                                     1000 + second % 600) for second in range(start, start + 86399)))
        summed = os.path.join(pulley, 'MD5SUMS')
        changed = lambda: os.stat(summed).st_mtime_ns if os.path.exists(summed) else 0
        feed = self.start_feed('--wait', '--log', os.path.dirname(os.path.dirname(pulley)), '--layout', 'cruise',
                               '--cruise', 'BENCH1', '--clock', time.strftime('%Y-%m-%dT23:59:56', time.gmtime(midnight - 1)))
        started = time.monotonic()
        first = wait_for(changed, 60, 'the manifest made', interval=0.001)
        at_start = time.monotonic() - started
        wait_for(lambda: os.path.exists(day_file(midnight)), 30, 'the next day opened', interval=0.0002)
        closed = time.monotonic()
        wait_for(lambda: changed() != first, 60, 'the manifest made again', interval=0.0002)
        row('MD5SUMS over %d closed days of one-second rows (%.1f MB a day): made at start / again as a day closes'
            % (days, os.path.getsize(day_file(midnight - 86400)) / 2**20),
            '%.0f / %.0f ms' % (at_start * 1000, (time.monotonic() - closed) * 1000))
        feed.kill()
        feed.communicate(timeout=10)

    def tension_cost(self, sim):
        """The load cell's path: the feed's CPU with the simulator's 20 lines
        a second taken, logged, and counted for the casts, then with none."""
        port, folder = free_port(), os.path.join(self.dir, 'tension-log')
        feed = self.start_feed('--wait', '--udp', '127.0.0.1:9', '--log', folder, '--casts', '--tension',
                               'udp:%d' % port)
        used = []
        for control in ('tension-out udp:%d' % port, 'tension-out off'):
            sim.control(control)
            time.sleep(2)
            before = cpu_seconds(feed.pid)
            time.sleep(self.idle_seconds)
            used.append(100 * (cpu_seconds(feed.pid) - before) / self.idle_seconds)
        feed.kill()
        with open(os.path.join(folder, 'tension-%s.csv' % time.strftime('%Y-%m-%d', time.gmtime()))) as f:
            lines = sum(1 for _ in f) - 1
        row('CPU of pulley-feed with a load cell at 20 lines a second / without, count changing, over %d s'
            % self.idle_seconds, '%.2f%% / %.2f%% of one core (%d lines logged)' % (used[0], used[1], lines))

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
        self.tension_cost(sim)
        self.trend_costs()
        self.manifest_costs()
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
