"""The cruise's record kept by pulley-feed: marks from pulley-remote and
from the LAN carrying the count of their moment (and none during a lost
link), every refusal of a write with its code and no row, an idempotency
key that makes one row, the wire book and the wire log a technician hands
in, and cruise, station and cast numbering carried across a kill -9."""
import csv
import io
import json
import os
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, HTTPServer

from browser import chromium, guide_pictures
from harness import DisplayTestCase, connect, free_port, wait_for, windows_path
from test_web_page import http

SHOTS = os.environ.get('PULLEY_SCREENSHOTS', '')

TOKEN = 'winch-deck-7f3a9c21'
WIRE_LOG_COLUMNS = ['Event Type', 'Cruise #', 'Date', 'Cast #', 'Cable Length (m)', 'Maximum Tension (lbf)',
                    'MT Wire Out (m)', 'MT Wire In (m)', 'Max Wire Out (m)', 'Notes']


class CruiseRecord(DisplayTestCase):
    def setUp(self):
        super().setUp()
        self.far = self.relay_port()
        self.folder = os.path.join(self.dir, 'log')
        self.port = free_port()

    def count(self, metres):
        os.write(self.far, b'%+05dm\r' % metres if metres is not None else b'-----m\r')

    def feed(self, *lines):
        """The feed from its settings file beside it (the token is kept
        there, never on the command line), reading the relay line."""
        with open(os.path.join(self.dir, 'pulley-feed.ini'), 'w', newline='') as f:
            f.write('\r\n'.join(('serial = COM12', 'http = 127.0.0.1:%d' % self.port,
                                 'log = %s' % windows_path(self.folder), 'casts', 'cruise = AT50-12') + lines) + '\r\n')
        feed = self.start_feed()
        wait_for(lambda: connect(self.port), 10, 'the page served').close()
        return feed

    def events(self):
        with open(os.path.join(self.folder, 'events.csv'), newline='') as f:
            return list(csv.DictReader(f))

    def post(self, path, body, token=TOKEN, key=None, source='127.0.0.1'):
        head = 'POST %s HTTP/1.1\r\nHost: winch\r\nContent-Type: application/json\r\nContent-Length: %d\r\n' % (
            path, len(body))
        if token:
            head += 'Authorization: Bearer %s\r\n' % token
        if key:
            head += 'Idempotency-Key: %s\r\n' % key
        return http(self.port, head.encode() + b'\r\n' + body, source=source)

    def test_marks_carry_the_count_of_their_moment_and_the_lan_writes_only_as_asked(self):
        feed = self.feed('write-token = ' + TOKEN, 'station = CTD 1')
        for metres in range(0, 251, 25):  # a cast paying out to 250 m
            self.count(metres)
            time.sleep(0.3)
        time.sleep(0.5)
        marked = self.remote('mark', 'at bottom')
        self.assertEqual(marked.returncode, 0, marked.stderr)
        row = json.loads(marked.stdout)
        self.assertEqual((row['kind'], row['metres'], row['cast'], row['cruise'], row['station'], row['source']),
                         ('mark', 250, 1, 'AT50-12', 'CTD 1', 'pulley-remote'))
        self.count(None)  # the link lost: no count to stamp a mark with
        time.sleep(0.5)
        lost = json.loads(self.remote('mark', 'lost it').stdout)
        self.assertEqual((lost['metres'], lost['status']), (None, 'not-connected'))
        self.count(240)
        time.sleep(0.5)
        # From the LAN: every refusal with its code, and no row.
        rows = len(self.events())
        for (status, _, body), why in (
                (self.post('/marks', b'{"text": "x"}', token=None), 'no token'),
                (self.post('/marks', b'{"text": "x"}', token='wrong-token-0000'), 'a wrong token'),
                (self.post('/marks', b'{"text": "%s"}' % (b'x' * 1100)), 'a body over 1 KiB'),
                (self.post('/marks', b'{"text": "%s"}' % (b'x' * 201)), 'a text over 200 bytes'),
                (self.post('/marks', b'{"text": "\xff\xfe"}'), 'no UTF-8'),
                (self.post('/acks', b'{"id": 3}'), 'an alarm not standing')):
            self.assertIn(status, {'no token': [401], 'a wrong token': [401], 'a body over 1 KiB': [413],
                                   'a text over 200 bytes': [400], 'no UTF-8': [400],
                                   'an alarm not standing': [409]}[why], (why, body))
        self.assertEqual(len(self.events()), rows, 'no row for a refused write')
        # One row for a key sent twice; the eleventh write of a minute refused.
        first = self.post('/marks', b'{"text": "In water"}', key='k-1')
        again = self.post('/marks', b'{"text": "In water"}', key='k-1')
        self.assertEqual((first[0], again[0], first[2]), (201, 201, again[2]))
        self.assertEqual(json.loads(first[2])['metres'], 240)
        self.assertEqual(sum(event['text'] == 'In water' for event in self.events()), 1)
        codes = [self.post('/marks', b'{"text": "m%d"}' % n, source='127.0.0.2')[0] for n in range(11)]
        self.assertEqual(codes, [201] * 10 + [429])
        feed.kill()
        # Without a token the network is read only: every POST refused, nothing written.
        feed.communicate(timeout=10)
        self.port = free_port()  # Wine may hold a killed program's listener a while
        self.feed()
        rows = len(self.events())
        for path in (b'/marks', b'/acks', b'/'):
            status = http(self.port, b'POST %s HTTP/1.1\r\nAuthorization: Bearer %s\r\nContent-Length: 2\r\n\r\n{}'
                          % (path, TOKEN.encode()))[0]
            self.assertIn(status, (404, 405))
        self.assertEqual(len(self.events()), rows)

    def test_the_wire_book_and_log_and_a_feed_killed_mid_cast(self):
        feed = self.feed('ship = R/V Atlantis', 'winch-model = DT-2000', 'station = CTD 7')
        for words in (['wire', 'install', '6000', '--id', 'NSF-0314', '--part', '322-EM', '--maker', 'Rochester'],
                      ['wire', 'termination']):
            self.assertEqual(self.remote(*words).returncode, 0)
        refused = self.remote('wire', 'cut-back', '7000')
        self.assertEqual(refused.returncode, 4)
        self.assertIn('no shorter than the wire', refused.stderr)
        self.count(100)
        time.sleep(1.5)
        count = lambda: json.loads(http(self.port, b'GET /count.json HTTP/1.0\r\n\r\n')[2])
        self.assertEqual((count()['wire_left_m'], count()['wire']['load_test_due']), (5900, True))
        self.assertEqual(self.remote('wire', 'cut-back', '50', '--note', 'kinked at the block').returncode, 0)
        self.assertEqual(self.remote('wire', 'load-test').returncode, 0)
        time.sleep(1.5)
        self.assertEqual((count()['wire_left_m'], count()['wire']['load_test_due']), (5850, False))
        # Killed in the middle of cast 1, started again: cruise, station and numbering go on.
        feed.kill()
        feed.communicate(timeout=10)
        self.port = free_port()  # Wine may hold a killed program's listener a while
        self.feed('ship = R/V Atlantis', 'winch-model = DT-2000')  # the station no longer in the settings
        self.count(0)
        time.sleep(1)
        self.count(300)
        time.sleep(1)
        self.count(0)
        time.sleep(1.5)
        with open(os.path.join(self.folder, 'casts.csv'), newline='') as f:
            casts = list(csv.DictReader(f))
        self.assertEqual([(c['cast'], c['cruise'], c['station']) for c in casts],
                         [('1', 'AT50-12', 'CTD 7'), ('2', 'AT50-12', 'CTD 7')])
        # The wire log: its head, its columns as named, a row a cast with the cable as it stood.
        for log in (http(self.port, b'GET /wire-log.csv HTTP/1.0\r\n\r\n')[2].decode(),
                    self.wire_log_file()):
            lines = list(csv.reader(io.StringIO(log)))
            head = dict(line for line in lines if len(line) == 2)
            self.assertEqual((head['Tension Member NSF ID'], head['Part Number'], head['Ship'], head['Winch Model']),
                             ('NSF-0314', '322-EM', 'R/V Atlantis', 'DT-2000'))
            table = lines[[len(line) for line in lines].index(10):]
            self.assertEqual(table[0], WIRE_LOG_COLUMNS)
            rows = [dict(zip(table[0], line)) for line in table[1:]]
            self.assertEqual([(r['Event Type'], r['Cast #'], r['Cable Length (m)']) for r in rows],
                             [('Install', '', '6000'), ('Termination', '', '6000'), ('Cast', '1', '6000'),
                              ('Cut Back', '', '5950'), ('Load Test', '', '5950'), ('Cast', '2', '5950')])
            self.assertRegex(rows[-1]['Date'], r'^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$')
            self.assertEqual(rows[-1]['Max Wire Out (m)'], '300')
            self.assertIn('cut back 50 m; kinked at the block', rows[3]['Notes'])

    def test_an_alarm_acknowledged_goes_quiet_everywhere(self):
        udp = self.udp_receiver()
        self.feed('udp = 127.0.0.1:%d' % udp.port, 'alarm-above = 100', 'write-token = ' + TOKEN,
                  'mark-buttons = In water, At bottom, On deck')
        browser = chromium(1280, 720)
        self.closers.append(browser.quit)
        browser.get('http://127.0.0.1:%d/?token=%s' % (self.port, TOKEN))
        self.assertNotIn('token', browser.current_url, 'the token is kept, not left in the address')
        self.assertEqual([b.text for b in browser.find_elements('css selector', '#marks button')],
                         ['In water', 'At bottom', 'On deck'])
        self.count(150)
        wait_for(lambda: browser.find_element('id', 'alarm').is_displayed(), 3, 'the banner')
        browser.find_element('id', 'sound-button').click()
        beeping = lambda: browser.execute_script('return beeping !== null')
        wait_for(beeping, 3, 'the tone')
        acked = self.remote('ack', '1')
        self.assertEqual(acked.returncode, 0, acked.stderr)
        self.assertEqual(json.loads(acked.stdout)['kind'], 'alarm-acknowledged')
        asked = time.monotonic()
        wait_for(lambda: not beeping(), 2, 'the tone stopped by the acknowledgement')
        self.assertLess(time.monotonic() - asked, 2)
        self.assertIn('(acknowledged)', browser.find_element('id', 'alarm-text').text)
        sentences = [data for _, data in udp.since() if data.startswith(b'$IIALR')]
        self.assertEqual([s.split(b',')[3:5] for s in sentences], [[b'A', b'V'], [b'A', b'A']])
        self.assertEqual(self.remote('ack', '1').returncode, 4, 'acknowledged already')
        # A mark button waits for its answer: one tap, one row.
        browser.find_element('css selector', '#marks button').click()
        wait_for(lambda: any(e['text'] == 'In water' and e['source'] == '127.0.0.1' for e in self.events()), 3,
                 'the mark from the page')
        if SHOTS:  # the operator's guide's pictures of the page given the token
            guide_pictures(browser, 'http://127.0.0.1:%d/' % self.port, 'page-marks', SHOTS)
        self.count(50)
        wait_for(lambda: [s for _, s in udp.since() if s.startswith(b'$IIALR')][-1].split(b',')[3:5] == [b'V', b'V'],
                 3, 'the alarm cleared')

    def test_the_cruise_id_from_openvdm(self):
        answers = [b'{"cruiseID": "AT50-13"}']

        class OpenVdm(BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 -- the library's name
                ok = self.path == '/api/warehouse/getCruiseID' and answers
                self.send_response(200 if ok else 500)
                self.end_headers()
                self.wfile.write(answers[0] if ok else b'')

            def log_message(self, *args):
                pass
        server = HTTPServer(('127.0.0.1', 0), OpenVdm)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.closers.append(server.shutdown)
        address = 'http://127.0.0.1:%d/api/warehouse/getCruiseID' % server.server_port
        self.feed('cruise-from = ' + address)
        cruise = lambda: json.loads(http(self.port, b'GET /count.json HTTP/1.0\r\n\r\n')[2] or b'{}').get('cruise')
        self.count(20)
        wait_for(lambda: cruise() and cruise()['id'] == 'AT50-13', 10, 'the cruise id OpenVDM gives')
        marked = json.loads(self.remote('mark', 'first').stdout)
        self.assertEqual(marked['cruise'], 'AT50-13')

    def wire_log_file(self):
        target = os.path.join(self.dir, 'wire-log.csv')
        done = self.run_windows('pulley-feed.exe', '--wire-log', windows_path(target))
        self.assertIn('2 casts, 4 wire book entries', done.stdout)
        with open(target, newline='') as f:
            return f.read()


if __name__ == '__main__':
    unittest.main()
