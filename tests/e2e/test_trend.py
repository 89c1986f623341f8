"""The trend on pulley-feed's page, in Debian's Chromium: the history there
the moment the page opens, drawn on its canvas as /history.json has it, a
lost link drawn as a gap, an alarm limit as a line, the night palette, and
the same history served again by a feed restarted on its log. Runs under
/usr/bin/python3, which has Debian's selenium."""
import json
import os
import threading
import time
import unittest

from browser import chromium, viewport
from harness import CAPTION, DisplayTestCase, PtyPair, connect, free_port, wait_for
from test_web_page import http

# For each point [t, metres], whether a pixel of the colour (CSS, as the
# canvas's own variable names it) is drawn within 3 px of where the canvas
# says that point goes, or for [t, null] anywhere in that time's column of
# the wire's plot; the plot's geometry is in the canvas's dataset.
DRAWN_AT = """
const [points, variable] = arguments;
const canvas = document.getElementById('trend'), d = canvas.dataset;
const scale = canvas.width / canvas.getBoundingClientRect().width;
const probe = document.createElement('canvas').getContext('2d');
probe.fillStyle = getComputedStyle(canvas).getPropertyValue(variable).trim();
probe.fillRect(0, 0, 1, 1);
const want = probe.getImageData(0, 0, 1, 1).data;
const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
const near = (x, y, reach = 3) => {
  for (let dy = -reach; dy <= reach; dy++)
    for (let dx = -reach; dx <= reach; dx++) {
      const px = Math.round(x * scale) + dx, py = Math.round(y * scale) + dy;
      if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
      const i = (py * image.width + px) * 4, p = image.data;
      if (Math.abs(p[i] - want[0]) + Math.abs(p[i + 1] - want[1]) + Math.abs(p[i + 2] - want[2]) < 90) return true;
    }
  return false;
};
const x = t => +d.left + (t - d.t0) / (d.t1 - d.t0) * (d.right - d.left);
const y = m => +d.split - (m - d.lo) / (d.hi - d.lo) * (d.split - d.top);
const column = x => {
  for (let y = +d.top; y <= +d.split; y += 2)
    if (near(x, y, 1)) return true;
  return false;
};
return points.map(([t, m]) => m === null ? column(x(t)) : near(x(t), y(m)));
"""
BACKGROUND = """
const canvas = document.getElementById('trend'), context = canvas.getContext('2d');
return Array.from(context.getImageData(2, 2, 1, 1).data.slice(0, 3));
"""


def log_earlier_cast(folder, ended):
    """A cast to 600 m that ended at `ended` (Unix seconds), logged as the
    feed logs one: the screenshots for the operator's guide show the trend
    and profile of a cast as crews see them."""
    rows, metres, speed, t, phase = [], 0.0, 0.0, ended - 1560, 'out'
    while t < ended:
        if phase == 'out' and metres >= 600:
            phase, bottom_until = 'bottom', t + 60
        elif phase == 'bottom' and t >= bottom_until:
            phase = 'in'
        wanted = {'out': min(60, 10 + (600 - metres) * 0.8), 'bottom': 0, 'in': -min(60, 10 + metres * 0.8)}[phase]
        speed += max(-3, min(3, wanted - speed))  # a winch eases into a speed
        metres = max(0.0, metres + speed / 60)
        rows.append((t, round(metres), speed))
        t += 1
    day = time.strftime('%Y-%m-%d', time.gmtime(ended))
    stamp = lambda t: time.strftime('%Y-%m-%dT%H:%M:%S.000Z', time.gmtime(t))
    with open(os.path.join(folder, 'pulley-%s.csv' % day), 'w', newline='') as log:
        log.write('utc,metres,status,rate_m_per_min,wire_left_m,note\r\n')
        log.writelines('%s,%d,valid,%.1f,,\r\n' % (stamp(t), m, r) for t, m, r in rows)
    deepest = max(rows, key=lambda row: row[1])
    with open(os.path.join(folder, 'casts.csv'), 'w', newline='') as casts:
        casts.write('cast,start_utc,end_utc,duration_s,max_wire_out_m,max_utc,max_rate_out_m_per_min,'
                    'max_rate_in_m_per_min,notes\r\n1,%s,%s,%.1f,%d,%s,60.0,60.0,CTD station 14\r\n' % (
                        stamp(rows[0][0]), stamp(ended), ended - rows[0][0], deepest[1], stamp(deepest[0])))


class Trend(DisplayTestCase):
    def setUp(self):
        super().setUp()
        self.port = free_port()
        self.folder = os.path.join(self.dir, 'log')
        os.mkdir(self.folder)
        if os.environ.get('PULLEY_SCREENSHOTS'):
            log_earlier_cast(self.folder, int(time.time()) - 240)
        self.browser = None

    def feed(self):
        feed = self.start_feed('--wait', '--http', '127.0.0.1:%d' % self.port, '--log', self.folder, '--casts',
                               '--alarm-above', '140')
        wait_for(lambda: connect(self.port), 10, 'the page served').close()
        return feed

    def history(self, seconds):
        return json.loads(http(self.port, b'GET /history.json?seconds=%d HTTP/1.0\r\n\r\n' % seconds)[2])['points']

    def open_page(self, query=''):
        if self.browser is None:
            self.browser = chromium(1280, 720)
            self.closers.append(self.browser.quit)
            viewport(self.browser, 1280, 720)
        self.browser.get('http://127.0.0.1:%d/%s' % (self.port, query))

    def points_drawn(self):
        return int(self.browser.find_element('id', 'trend').get_attribute('data-points') or 0)

    def drawn(self, points, variable='--chart-line'):
        return self.browser.execute_script(DRAWN_AT, points, variable)

    def test_the_history_drawn_with_its_gap_and_limit_and_kept_across_a_restart(self):
        sim = self.simulator(args=['--count', '100', '--rate', '1'])
        self.start_display()
        self.connect()
        feed = self.feed()
        time.sleep(25)  # paying out 60 m/min
        sim.control('rate -1')
        time.sleep(10)  # hauling in, then the link lost for a while
        sim.control('silent on')
        self.wait_dialog(CAPTION)
        time.sleep(8)
        sim.control('silent off')
        self.dismiss_box(CAPTION)
        self.connect()
        time.sleep(15)
        # A page opened after a minute shows the whole minute at once.
        served = sum(point[1] is not None for point in self.history(600))
        self.open_page()
        wait_for(lambda: self.points_drawn() >= served, 2, 'the trend drawn')
        points = self.history(600)
        t0 = float(self.browser.find_element('id', 'trend').get_attribute('data-t0'))
        valid = [point[:2] for point in points if point[1] is not None and point[0] >= t0]
        self.assertGreater(len(valid), 40)
        self.assertEqual(max(point[1] for point in valid), max(point[1] for point in points if point[1] is not None))
        found = self.drawn(valid)
        self.assertGreaterEqual(sum(found) / len(found), 0.97, 'every point of the history drawn where it was')
        # The lost link: a run of null points, drawn as nothing.
        gap = [point[0] for point in points if point[1] is None and point[0] >= t0]
        inside = [t for t in gap if all(t + k * 1000 in gap for k in range(-5, 6))]  # 5 s from either end
        self.assertTrue(inside, 'a gap of several seconds')
        self.assertFalse(any(self.drawn([[t, None] for t in inside])), 'no line across the gap')
        # The alarm's limit, dashed across the plot.
        limit = self.drawn([[t, 140] for t in range(int(t0), int(points[-1][0]), 5000)], '--chart-limit')
        self.assertGreater(sum(limit) / len(limit), 0.5)
        # The night palette on the chart.
        self.open_page('?night=1')
        wait_for(lambda: self.points_drawn() >= served, 2, 'the trend drawn at night')
        self.assertEqual(self.browser.execute_script(BACKGROUND), [0, 0, 0])
        self.assertEqual(self.browser.execute_script(
            "return getComputedStyle(document.getElementById('trend')).getPropertyValue('--chart-line').trim()"),
            '#b00000')
        self.assertGreaterEqual(sum(self.drawn(valid)) / len(valid), 0.9)
        if os.environ.get('PULLEY_SCREENSHOTS'):  # for the operator's guide: the last hour, and the casts
            for night in (0, 1):
                self.open_page('?night=%d' % night)
                self.browser.find_element('css selector', '#chart-bar [data-range="3600"]').click()
                time.sleep(2)
                self.shot('page-chart-%s.png' % ('night' if night else 'day'))
            self.open_page('?night=0')
            self.browser.find_element('id', 'casts-button').click()
            wait_for(lambda: self.browser.find_elements('css selector', '#casts-rows tr'), 3, 'the casts listed')
            self.browser.find_elements('css selector', '#casts-rows tr')[-1].click()
            time.sleep(2)
            self.shot('page-casts.png')
        # Restarted on its log, the feed serves the same counts for the same seconds.
        before = {point[0]: point[1] for point in self.history(600)[:-3]}  # rows of the last seconds go with a kill
        feed.kill()
        feed.communicate(timeout=10)
        self.port = free_port()  # Wine may hold a killed program's listener a while
        feed = self.feed()
        after = {point[0]: point[1] for point in self.history(600)}
        self.assertIsNone(feed.poll(), 'the restarted feed serves the history')
        both = [t for t in before if t in after and before[t] is not None]
        self.assertGreater(len(both), 40)
        self.assertEqual([after[t] for t in both], [before[t] for t in both])

    def shot(self, name):
        self.browser.save_screenshot(os.path.join(os.environ['PULLEY_SCREENSHOTS'], name))

    def test_a_day_of_history_arrives_whole_while_the_lines_keep_time(self):
        now = int(time.time())
        rows = {}
        for t in range(now - 86400, now):  # a cast an hour, a row a second
            rows.setdefault(time.strftime('%Y-%m-%d', time.gmtime(t)), []).append(
                '%s.000Z,%d,valid,0.0,,\r\n' % (time.strftime('%Y-%m-%dT%H:%M:%S', time.gmtime(t)), 1000 - abs(t % 3600 - 1800) * 5 // 9))
        for day, lines in rows.items():
            with open(os.path.join(self.folder, 'pulley-%s.csv' % day), 'w', newline='') as log:
                log.write('utc,metres,status,rate_m_per_min,wire_left_m,note\r\n' + ''.join(lines))
        pair = PtyPair('com12')
        self.closers.append(pair.close)
        self.relay_lines(pair)
        udp = self.udp_receiver()
        feed = self.start_feed('--serial', 'COM12', '--udp', '127.0.0.1:%d' % udp.port, '--http',
                               '127.0.0.1:%d' % self.port, '--log', self.folder)
        wait_for(lambda: connect(self.port), 10, 'the page served').close()

        def whole(query, source='127.0.0.1'):
            status, headers, body = http(self.port, b'GET /history.json?%s HTTP/1.0\r\n\r\n' % query, 30, source)
            self.assertEqual((status, len(body)), (200, int(headers['content-length'])), query)
            return body
        for query, points in ((b'seconds=86400&step=1', 86000), (b'seconds=7200&step=2', 3600),
                              (b'seconds=86400&step=30', 2880)):
            self.assertGreater(len(json.loads(whole(query))['points']), points)
        # Eight addresses asking for the whole day without end: every answer
        # whole, the lines on time, and the feed's work bounded.
        answers, failures, stop = [], [], threading.Event()

        def ask(source):
            while not stop.is_set():
                try:
                    answers.append(len(whole(b'seconds=86400&step=1', source)))
                except Exception as failure:  # noqa: BLE001 -- said by the test's thread
                    failures.append(failure)

        def cpu():  # the feed's user and system time, in clock ticks
            with open('/proc/%d/stat' % feed.pid) as stat:
                return sum(int(field) for field in stat.read().rsplit(')', 1)[1].split()[11:13])
        started, used = time.monotonic(), cpu()
        askers = [threading.Thread(target=ask, args=('127.0.0.%d' % n,)) for n in range(2, 10)]
        for asker in askers:
            asker.start()
        time.sleep(15)
        stop.set()
        for asker in askers:
            asker.join()
        share = (cpu() - used) / os.sysconf('SC_CLK_TCK') / (time.monotonic() - started)
        times = [when for when, _ in udp.since(started)][:-1]
        gap = max(b - a for a, b in zip(times, times[1:]))
        print('%d whole days in 15 s, the feed at %.0f %% of a core, the longest gap between lines %.2f s' % (
            len(answers), share * 100, gap))
        self.assertEqual(failures, [])
        self.assertGreater(len(answers), 8)
        self.assertLess(gap, 1.1)
        self.assertLess(share, 0.2)


if __name__ == '__main__':
    unittest.main()
