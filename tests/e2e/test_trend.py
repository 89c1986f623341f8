"""The trend on pulley-feed's page, in Debian's Chromium: the history there
the moment the page opens, drawn on its canvas as /history.json has it, a
lost link drawn as a gap, an alarm limit as a line, the night palette, and
the same history served again by a feed restarted on its log. Runs under
/usr/bin/python3, which has Debian's selenium."""
import json
import os
import time
import unittest

from browser import chromium, viewport
from harness import CAPTION, DisplayTestCase, connect, free_port, wait_for
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


class Trend(DisplayTestCase):
    def setUp(self):
        super().setUp()
        self.port = free_port()
        self.folder = os.path.join(self.dir, 'log')
        os.mkdir(self.folder)
        self.browser = None

    def feed(self):
        feed = self.start_feed('--wait', '--http', '127.0.0.1:%d' % self.port, '--log', self.folder, '--casts',
                               '--alarm-above', '140')
        wait_for(lambda: connect(self.port), 10, 'the page served')
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
        self.shot('page-chart-day.png')
        # The night palette on the chart.
        self.open_page('?night=1')
        wait_for(lambda: self.points_drawn() >= served, 2, 'the trend drawn at night')
        self.assertEqual(self.browser.execute_script(BACKGROUND), [0, 0, 0])
        self.assertEqual(self.browser.execute_script(
            "return getComputedStyle(document.getElementById('trend')).getPropertyValue('--chart-line').trim()"),
            '#b00000')
        self.assertGreaterEqual(sum(self.drawn(valid)) / len(valid), 0.9)
        self.shot('page-chart-night.png')
        if os.environ.get('PULLEY_SCREENSHOTS'):  # the casts view, for the operator's guide
            self.open_page('?night=0')
            self.browser.find_element('id', 'casts-button').click()
            wait_for(lambda: self.browser.find_elements('css selector', '#casts-rows tr'), 3, 'the casts listed')
            self.browser.find_elements('css selector', '#casts-rows tr')[0].click()
            time.sleep(1.5)
            self.shot('page-casts.png')
        # Restarted on its log, the feed serves the same counts for the same seconds.
        before = {point[0]: point[1] for point in self.history(600)[:-3]}  # rows of the last seconds go with a kill
        feed.kill()
        feed.communicate(timeout=10)
        self.feed()
        after = {point[0]: point[1] for point in self.history(600)}
        both = [t for t in before if t in after and before[t] is not None]
        self.assertGreater(len(both), 40)
        self.assertEqual([after[t] for t in both], [before[t] for t in both])

    def shot(self, name):
        shots = os.environ.get('PULLEY_SCREENSHOTS', '')
        if shots:
            self.browser.save_screenshot(os.path.join(shots, name))


if __name__ == '__main__':
    unittest.main()
