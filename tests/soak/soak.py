"""The soak run: weeks at sea in minutes. The real display, connected to the
simulated pulley, which pays out and hauls in all the time; the relay open
in the EdgeTech format (a line every second); a client asking the count 20
times a second; and the operator's cycles one after another through the
real window. Every 10 s the display's process is sampled from outside, one
table row a sample; at the end, the verdict: after the warm-up no figure
may grow, and no cycle may fail. Run through scripts/soak."""
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from harness import CAPTION, ID, IDOK, SW_MINIMIZE, SW_RESTORE, DisplayTestCase, wait_for  # noqa: E402

SAMPLE_SECONDS = 10
KIB = 1024
# What may not grow after the warm-up: the most it may move (max - min), and
# the most it may rise along its least-squares line over the samples. The
# counts of what the display itself holds must stand still: handles, the
# fonts it creates in each paint, descriptors. The other GDI objects are
# Wine's own (window surfaces, its caches), which may settle by a few once;
# memory breathes with Wine's heap by some hundreds of KiB. A leak of one
# object a repaint or a cycle, or of a MiB an hour, goes beyond these.
BOUNDS = {
    'handles': (2, 1),
    'fonts': (2, 1),
    'gdi_other': (8, 8),
    'user': (2, 1),
    'fds': (2, 1),
    'private_kib': (2048, 1024),
    'working_set_kib': (2048, 1024),
}
# Wine's heap and caches settle in the first minute, or the first quarter of
# a long run.
WARM_UP_SECONDS = 60
FIGURES = list(BOUNDS)


def linux_figures(pid):
    """What Linux sees of the display's process: its private memory (the
    pages only it has) and its open file descriptors."""
    private = 0
    with open('/proc/%d/smaps_rollup' % pid) as f:
        for line in f:
            if line.startswith(('Private_Clean:', 'Private_Dirty:')):
                private += int(line.split()[1])
    return private, len(os.listdir('/proc/%d/fd' % pid))


def rise(times, values):
    """How much the least-squares line through the samples rises from the
    first to the last."""
    n = len(times)
    mean_t, mean_v = sum(times) / n, sum(values) / n
    spread = sum((t - mean_t) ** 2 for t in times)
    if spread == 0:
        return 0.0
    slope = sum((t - mean_t) * (v - mean_v) for t, v in zip(times, values)) / spread
    return slope * (times[-1] - times[0])


class Soak(DisplayTestCase):
    minutes = 10

    def setUp(self):
        super().setUp()
        self.samples = []
        self.failures = []
        self.cycles = 0
        self.asked = (0, 0)

    # The operator's cycles; each raises when the display does not do its part.

    def reading(self, timeout=5):
        return wait_for(lambda: self.count() not in (9999, 2147483647) and self.count(), timeout, 'a reading')

    def reconnect(self):
        self.menu('disconnect')
        wait_for(lambda: self.count() == 9999, 3, 'no reading after Disconnect')
        self.connect()
        self.reading()

    def lost_link(self):
        self.sim.control('silent on')
        self.box_text(CAPTION)
        self.dismiss_box(CAPTION)
        wait_for(lambda: self.count() == 2147483647, 3, 'the lost reading')
        self.sim.control('silent off')
        self.connect()
        self.reading()

    def relay_dialog(self, button):
        self.menu('relaycount')
        self.wait_dialog('Relay Count')
        self.drive('click', 'Relay Count', button)
        self.drive('click', 'Relay Count', IDOK)
        self.wait_dialog_gone('Relay Count')

    def relay_closed_and_opened(self):
        self.relay_dialog(ID['IDC_RELAYDISCONNECT'])
        self.relay_dialog(ID['IDC_RELAYCONNECT'])
        self.tap.clear()
        wait_for(lambda: self.tap.lines(b'\n'), 3, 'a relay line after opening the port again')

    def set_count(self):
        start = len(self.sim.lines)
        self.menu('setcount')
        self.wait_dialog('Set Count')
        self.drive('set-text', 'Set Count', ID['IDC_PRESETVALUE'], '500')
        self.drive('click', 'Set Count', ID['IDC_PRESETPLUS'])
        self.drive('click', 'Set Count', IDOK)
        self.wait_dialog_gone('Set Count')
        self.sim.wait_line('event preset 500', 3, start)

    def units(self):
        self.menu('feet')
        self.menu('metres')

    def resize(self):
        width, height = 200 + self.cycles * 37 % 500, 130 + self.cycles * 23 % 300
        self.drive('move', 'main', 60, 60, width, height)
        left, top, right, bottom = map(int, self.drive('rect', 'main').split())
        if (right - left, bottom - top) != (width, height):
            raise AssertionError('the window is %dx%d, not %dx%d' % (right - left, bottom - top, width, height))

    def minimise_and_restore(self):
        self.drive('show', 'main', SW_MINIMIZE)
        wait_for(lambda: self.title().startswith('Pulley: '), 3, 'the count in the title')
        self.drive('show', 'main', SW_RESTORE)
        wait_for(lambda: self.title() == CAPTION, 3, 'the caption again')

    def about(self):
        self.menu('about')
        self.wait_dialog('About Counting Pulley Display')
        self.drive('click', 'About Counting Pulley Display', IDOK)
        self.wait_dialog_gone('About Counting Pulley Display')

    # Around the cycles

    def start(self):
        self.sim = self.simulator(args=['--count', '500', '--rate', '2'])
        self.tap = self.relay_tap('com2')
        self.start_display()
        self.connect()
        self.reading()
        self.menu('relaycount')
        self.wait_dialog('Relay Count')
        self.drive('select', 'Relay Count', ID['IDC_RELAYPORT'], 'COM2')
        self.drive('select', 'Relay Count', ID['IDC_RELAYBAUD'], '19200 baud')
        self.drive('click', 'Relay Count', ID['IDC_FORMATEDGETECH'])
        self.drive('click', 'Relay Count', ID['IDC_RELAYCONNECT'])
        self.drive('click', 'Relay Count', IDOK)
        self.wait_dialog_gone('Relay Count')
        self.asker = self.launch_windows('pulley-process-probe.exe', 'ask', 20, stdout=subprocess.PIPE, text=True)
        self.closers.append(lambda: (self.asker.kill(), self.asker.wait(10)))
        threading.Thread(target=self.read_asker, daemon=True).start()

    def read_asker(self):
        for line in self.asker.stdout:
            words = line.split()
            if len(words) == 4 and words[0] == 'asked':
                self.asked = (int(words[1]), int(words[3]))

    def sample(self, started):
        output = self.run_windows('pulley-process-probe.exe', 'figures').stdout.split()
        handles, gdi, fonts, user, working_set = (int(output[i]) for i in (0, 1, 2, 3, 5))
        private, fds = linux_figures(self.display.pid)
        row = dict(seconds=time.monotonic() - started, handles=handles, fonts=fonts, gdi_other=gdi - fonts,
                   user=user, private_kib=private, working_set_kib=working_set // KIB, fds=fds, cycles=self.cycles,
                   failed=len(self.failures), asked=self.asked[0], unanswered=self.asked[1])
        self.samples.append(row)
        print('%7.0f %7d %5d %9d %5d %11d %15d %5d %7d %6d %8d %10d' % tuple(row.values()), flush=True)

    def runTest(self):
        cycles = [self.reconnect, self.lost_link, self.relay_closed_and_opened, self.set_count, self.units,
                  self.resize, self.minimise_and_restore, self.about]
        self.start()
        print('%7s %7s %5s %9s %5s %11s %15s %5s %7s %6s %8s %10s' % (
            'seconds', 'handles', 'fonts', 'gdi_other', 'user', 'private_kib', 'working_set_kib', 'fds', 'cycles',
            'failed', 'asked', 'unanswered'), flush=True)
        started = time.monotonic()
        next_sample = started
        rate = 2
        while time.monotonic() - started < self.minutes * 60:
            if time.monotonic() >= next_sample:
                self.sample(started)
                next_sample += SAMPLE_SECONDS
                rate = -rate  # paying out, then hauling in
                self.sim.control('rate %d' % rate)
            cycle = cycles[self.cycles % len(cycles)]
            try:
                cycle()
            except Exception as error:  # noqa: BLE001 - every failure is counted, and the run goes on
                self.failures.append('%s: %s' % (cycle.__name__, error))
                print('cycle %s failed: %s' % (cycle.__name__, error), flush=True)
            self.cycles += 1
            time.sleep(1)
        self.sample(started)
        self.verdict()

    def verdict(self):
        warm = [row for row in self.samples if row['seconds'] >= max(WARM_UP_SECONDS, self.minutes * 60 / 4)]
        problems = list(self.failures)
        if self.asked[1] != 0:
            problems.append('%d of %d count queries went unanswered' % (self.asked[1], self.asked[0]))
        if self.asked[0] < self.minutes * 60 * 10:
            problems.append('only %d count queries were made' % self.asked[0])
        print('\nafter the warm-up, %d samples:' % len(warm))
        for figure in FIGURES:
            values = [row[figure] for row in warm]
            spread, rose = max(values) - min(values), rise([row['seconds'] for row in warm], values)
            most_spread, most_rise = BOUNDS[figure]
            verdict = 'ok' if spread <= most_spread and rose <= most_rise else 'GROWS'
            print('  %-16s max-min %7d (at most %d)  rise along the fit %+9.1f (at most %d)  %s'
                  % (figure, spread, most_spread, rose, most_rise, verdict))
            if verdict != 'ok':
                problems.append('%s grows: max-min %d, rise %+.1f' % (figure, spread, rose))
        print('%d cycles, %d failed; %d count queries, %d unanswered'
              % (self.cycles, len(self.failures), self.asked[0], self.asked[1]))
        print('verdict: %s' % ('PASS' if not problems else 'FAIL\n  ' + '\n  '.join(problems)), flush=True)
        self.assertEqual(problems, [])


if __name__ == '__main__':
    if len(sys.argv) > 1:
        Soak.minutes = float(sys.argv[1])
    soak = Soak()
    soak.setUp()
    try:
        soak.runTest()
    except AssertionError:
        sys.exit(1)
    finally:
        soak.tearDown()
