"""The definitions shipped for the ship's data systems, proved with their
own parsers on live lines from the feed: OpenRVDAS's device type, read by
the Python parse library as OpenRVDAS reads it, and the Signal K plugin,
run against the Signal K server's NMEA 0183 parser from npm. Each parsed
field must equal the feed's JSON of the same reading. Runs under
/usr/bin/python3 (Debian's python3-parse and python3-yaml)."""
import functools
import json
import os
import subprocess
import threading
import time
import unittest

import parse
import yaml

from harness import DisplayTestCase, connect, free_port, wait_for
from test_web_page import events

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
INTEGRATIONS = os.path.join(ROOT, 'docs', 'integrations')
SIGNALK_RUNNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'signalk', 'parse_lines.js')


def openrvdas_type(pattern, convert):
    """One of OpenRVDAS's named types: its pattern, and empty read as None."""
    return parse.with_pattern(pattern)(lambda text: convert(text) if text else None)


OPENRVDAS_TYPES = {'od': openrvdas_type(r'[-+]?\d*', int), 'of': openrvdas_type(r'[-+]?\d*\.?\d*', float),
                   'ow': openrvdas_type(r'\w*', str), 'nc': openrvdas_type(r'[^,]*', str),
                   'ns': openrvdas_type(r'[^*]*', str)}


def sentence_time(utc):
    """The JSON's "2026-12-09T13:08:27.259Z" as a sentence's 130827.25."""
    return float(utc[11:13] + utc[14:16] + utc[17:22]) if utc else None


class DataSystems(DisplayTestCase):
    def test_openrvdas_and_signalk_read_the_feeds_lines_as_its_json_says(self):
        cell = free_port()  # the simulator's load cell
        sim = self.simulator(args=['--count', '100', '--rate', '1', '--tension-out', 'udp:%d' % cell])
        self.start_display()
        self.connect()
        nmea, xdr, port = self.udp_receiver(), self.udp_receiver(), free_port()
        self.start_feed('--udp', '127.0.0.1:%d' % nmea.port, '--http', '127.0.0.1:%d' % port, '--alarm-above', '150',
                        '--tension', 'udp:%d' % cell)
        self.start_feed('--udp', '127.0.0.1:%d' % xdr.port, '--format', 'xdr')
        stream = wait_for(lambda: connect(port), 10, 'the feed listening')
        self.closers.append(stream.close)
        stream.sendall(b'GET /events HTTP/1.1\r\n\r\n')
        timed = []
        reader = threading.Thread(target=lambda: timed.extend(events(stream, 30)))
        reader.start()
        for control, seconds in (('rate 1', 8), ('count 200', 5), ('count 120', 5), ('silent on', 9)):
            sim.control(control)  # paying out; past the limit and back; the link lost
            time.sleep(seconds)
        reader.join()
        lines = [line for _, data in nmea.since() + xdr.since() for line in data.decode('ascii').split('\r\n') if line]
        readings = [reading for _, reading in timed]
        # A line sent before the stream's first reading or after its last has no reading of its own there.
        streamed = {line for at, data in nmea.since(timed[0][0]) if at <= timed[-1][0]
                    for line in data.decode('ascii').split('\r\n')}
        by_time = {sentence_time(reading['utc']): reading for reading in readings}

        # OpenRVDAS: every line one format of the device type, its fields as the JSON.
        with open(os.path.join(INTEGRATIONS, 'openrvdas', 'pulley_feed.yaml')) as f:
            definitions = yaml.safe_load(f)
        formats = definitions['PulleyFeed']['format']
        self.assertEqual(set(definitions['ctd_winch']['fields']), set(definitions['PulleyFeed']['fields']))
        for logger in ('ctd_winch_logger.yaml', 'ctd_winch_mqtt.yaml'):  # whole YAML, parsing with this file
            with open(os.path.join(INTEGRATIONS, 'openrvdas', logger)) as f:
                self.assertIn('local/devices/pulley_feed.yaml', json.dumps(yaml.safe_load(f)))
        parsed, alarms, tensions = [], [], []
        newtons = [reading['tension']['newtons'] for reading in readings if reading['tension']['valid']]
        for line in lines:
            found = [(name, result.named) for name, fmt in formats.items()
                     if (result := parse.parse(fmt, line, OPENRVDAS_TYPES))]
            self.assertEqual(len(found), 1, line)
            name, fields = found[0]
            body = line[1:line.index('*')]
            self.assertEqual(fields['CheckSum'], functools.reduce(lambda sum, c: sum ^ ord(c), body, 0), line)
            if name == 'PKVNC' and fields['PulleyTime'] in by_time:
                reading = by_time[fields['PulleyTime']]
                self.assertEqual((fields['WireOut'], fields['PayoutRate'], fields['CountValid'] == 'A'),
                                 (reading['metres'], reading['rate_m_per_min'], reading['valid']), line)
                parsed.append((line, reading))
            elif name == 'ALR':
                alarms.append((fields['AlarmId'], fields['AlarmCondition'], fields['AlarmText']))
            elif name == 'XDR':
                self.assertIn(fields['XdrWireOut'], {reading['metres'] for reading in readings} | {None}, line)
            elif name == 'XDRTension' and line in streamed:
                self.assertLessEqual(min(abs(force - fields['Tension']) for force in newtons), 0.5, line)
                tensions.append((line, fields['Tension']))
        self.assertGreater(len(parsed), 20)
        self.assertEqual({reading['valid'] for _, reading in parsed}, {True, False}, 'valid and not valid')
        self.assertIn(None, {reading['rate_m_per_min'] for _, reading in parsed})
        self.assertIn((1, 'A', 'CABLE OUT ABOVE 150 M'), alarms)
        self.assertIn((1, 'V', 'CABLE OUT ABOVE 150 M'), alarms)
        self.assertTrue(any(line.startswith('$IIXDR,D') for line in lines))
        self.assertGreater(len(tensions), 20, 'the tension beside the count')

        # Signal K: the plugin's parsers in the server's own parser.
        plugin = os.path.join(INTEGRATIONS, 'signalk', 'index.js')
        ran = subprocess.run(['node', SIGNALK_RUNNER, plugin, 'ctd'], input='\n'.join(lines) + '\n',
                             capture_output=True, text=True, timeout=60, check=True)
        deltas = dict(zip(lines, map(json.loads, ran.stdout.splitlines())))
        for line, reading in parsed:
            values = {value['path']: value['value'] for value in deltas[line]['updates'][0]['values']}
            rate = reading['rate_m_per_min']
            self.assertEqual(values['winches.ctd.payout'], reading['metres'], line)
            self.assertEqual(values['winches.ctd.valid'], reading['valid'], line)
            if rate is None:
                self.assertIsNone(values['winches.ctd.payoutRate'], line)
            else:
                self.assertAlmostEqual(values['winches.ctd.payoutRate'], rate / 60, places=6, msg=line)
        for line, force in tensions:  # SI: newtons
            self.assertEqual(deltas[line]['updates'][0]['values'], [{'path': 'winches.ctd.tension', 'value': force}])
        notices = [value['value'] for line in lines if line.startswith('$IIALR')
                   for value in deltas[line]['updates'][0]['values']
                   if value['path'] == 'notifications.winches.ctd.alarm001']
        self.assertEqual({(notice['state'], notice['message']) for notice in notices},
                         {('alarm', 'ctd: CABLE OUT ABOVE 150 M'), ('normal', 'ctd: CABLE OUT ABOVE 150 M')})


if __name__ == '__main__':
    unittest.main()
