"""pulley-feed beside the real display: the count on UDP and TCP on
loopback, in the survey log, and read back from a display's relay line."""
import functools
import os
import subprocess
import time
import unittest

from harness import ID, IDOK, DisplayTestCase, PtyPair, connect, free_port, wait_for, windows_path

RELAY = 'Relay Count'


def checksum(body):
    return functools.reduce(lambda total, c: total ^ ord(c), body, 0)


def sentence(datagram):
    """The fields of a $PKVNC sentence, after checking its frame and checksum."""
    text = datagram.decode('ascii')
    assert text.startswith('$PKVNC,') and text.endswith('\r\n') and len(text) <= 82, text
    body, _, sum_text = text[1:-2].partition('*')
    assert int(sum_text, 16) == checksum(body), text
    _, utc, metres, rate, status = body.split(',')
    return dict(utc=utc, metres=int(metres) if metres else None, rate=float(rate) if rate else None, status=status)


class Feed(DisplayTestCase):
    def connected_display(self, sim_args):
        """A display connected to the simulator, past its first reading."""
        sim = self.simulator(args=sim_args)
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() != 9999, 3, 'the first reading')
        return sim

    def sentences(self, udp, seconds):
        start = time.monotonic()
        time.sleep(seconds)
        return [(when, sentence(data)) for when, data in udp.since(start)]

    def test_udp_lines_follow_the_cable_whatever_unit_the_display_shows(self):
        sim = self.connected_display(['--count', '100', '--rate', '2'])
        udp = self.udp_receiver()
        self.start_feed('--udp', '127.0.0.1:%d' % udp.port)
        lines = self.sentences(udp, 4)
        count = sim.count()
        self.assertTrue(all(line['status'] == 'A' for _, line in lines), lines)
        # The last line lags the pulley by at most the display's poll and the feed's.
        self.assertTrue(count - 2 * 2 <= lines[-1][1]['metres'] <= count, (count, lines[-1]))
        self.assertAlmostEqual(lines[-1][1]['rate'], 120.0, delta=20)
        self.menu('feet')
        after = self.sentences(udp, 3)
        metres = [line['metres'] for _, line in after]
        self.assertEqual(metres, sorted(metres), 'still metres, still paying out')
        self.assertLess(metres[-1] - metres[0], 3 * 2 + 2, metres)
        sim.control('rate 0')
        time.sleep(1.5)
        steady = self.sentences(udp, 3.2)
        self.assertGreaterEqual(len(steady), 3, 'a line at least every second on a steady cable')
        self.assertEqual(len({line['metres'] for _, line in steady}), 1, steady)

    def test_display_closed_and_started_again(self):
        self.connected_display(['--count', '40'])
        udp = self.udp_receiver()
        self.start_feed('--wait', '--udp', '127.0.0.1:%d' % udp.port)
        wait_for(lambda: udp.since() and sentence(udp.since()[-1][1])['metres'] == 40, 5, 'valid lines')
        self.exit_display()
        closed = time.monotonic()
        wait_for(lambda: udp.since(closed), 3, 'a line after the display closed')
        self.assertEqual(sentence(udp.since(closed)[-1][1])['status'], 'V')
        self.assertIsNone(sentence(udp.since(closed)[-1][1])['metres'])
        self.start_display()
        self.connect()
        wait_for(lambda: sentence(udp.since()[-1][1])['status'] == 'A', 5, 'valid lines again')
        self.assertEqual(sentence(udp.since()[-1][1])['metres'], 40)

    def test_tcp_clients_a_flood_a_silent_one_and_the_limit(self):
        sim = self.connected_display(['--count', '7', '--rate', '1'])
        port = free_port()
        self.start_feed('--tcp', '127.0.0.1:%d' % port, '--max-clients', '3')
        silent = wait_for(lambda: connect(port), 10, 'the feed listening')
        second = self.run_windows('pulley-feed.exe', '--quiet', '--tcp', '127.0.0.1:%d' % port, check=False)
        self.assertEqual((second.returncode, second.stderr.strip().count('\n')), (3, 0), second.stderr)
        self.assertIn('in use', second.stderr)
        reader, flood = connect(port), connect(port)
        refused = connect(port)
        refused.settimeout(2)
        self.assertEqual(refused.recv(100), b'', 'beyond the limit a client is closed at once')
        flood.setblocking(False)
        reader.settimeout(2)
        arrivals, received = [], b''
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:  # what the network sends must change nothing
                flood.send(b'reset\r\n$PKVNC,preset,0*00\r\n' + bytes(range(256)) * 16)
            except BlockingIOError:
                pass
            received += reader.recv(4096)
            arrivals.append(time.monotonic())
        lines = [sentence(line + b'\r\n') for line in received.split(b'\r\n')[:-1]]
        self.assertGreaterEqual(len(lines), 4)
        self.assertLess(max(b - a for a, b in zip(arrivals, arrivals[1:])), 1.3, 'no line waits for the others')
        self.assertEqual(sim.events('event reset') + sim.events('event preset'), [])
        self.assertEqual([line['metres'] for line in lines], sorted(line['metres'] for line in lines))
        for client in (silent, reader, flood, refused):
            client.close()

    def test_log_across_midnight_and_a_folder_that_cannot_be_written(self):
        self.connected_display(['--count', '12', '--rate', '1'])
        folder = os.path.join(self.dir, 'log')
        os.mkdir(folder)
        feed = self.start_feed('--log', folder, '--clock', '2026-12-08T23:59:57')
        time.sleep(6)
        feed.kill()
        days = sorted(os.listdir(folder))
        self.assertEqual(days, ['pulley-2026-12-08.csv', 'pulley-2026-12-09.csv'])
        rows = []
        for day in days:
            with open(os.path.join(folder, day), newline='') as f:
                text = f.read()
            self.assertTrue(text.startswith('utc,metres,status,rate_m_per_min\r\n'), text)
            rows += [line.split(',') for line in text.split('\r\n')[1:-1]]
            self.assertTrue(all(row[0].startswith(day[7:17]) for row in rows[-1:]), rows)
        self.assertEqual([row[0] for row in rows], sorted(row[0] for row in rows))
        self.assertGreaterEqual(len(rows), 4, 'a line for every new reading')
        self.assertEqual({row[2] for row in rows}, {'valid'})
        result = self.run_windows('pulley-feed.exe', '--quiet', '--log', os.path.join(self.dir, 'none'), check=False)
        self.assertEqual(result.returncode, 4)
        self.assertIn('cannot write the log', result.stderr)

    def test_ctrl_c_ends_it_cleanly(self):
        self.connected_display(['--count', '55'])
        folder = os.path.join(self.dir, 'log')
        os.mkdir(folder)
        port = free_port()
        command = '%s --tcp 127.0.0.1:%d --log %s' % (windows_path(os.path.join(self.dir, 'pulley-feed.exe')), port,
                                                      windows_path(folder))
        pressing = self.launch_windows('pulley-drive.exe', 'ctrl-c', 3000, command, stdout=subprocess.PIPE, text=True)
        client = wait_for(lambda: connect(port), 3, 'the feed listening')
        client.settimeout(10)
        received = b''
        while chunk := client.recv(4096):
            received += chunk
        client.close()
        self.assertEqual(pressing.communicate(timeout=20)[0].strip(), '0', 'the feed ended by itself, code 0')
        self.assertTrue(received.endswith(b'\r\n') and sentence(received.split(b'\r\n')[-2] + b'\r\n'), received)
        with open(os.path.join(folder, os.listdir(folder)[0]), newline='') as f:
            rows = f.read().split('\r\n')
        self.assertEqual((rows[-1], rows[-2].split(',')[1:3]), ('', ['55', 'valid']), rows)

    def test_serial_source_reads_each_relay_format(self):
        sim = self.connected_display(['--count', '321'])
        pair = PtyPair('com2', far='com12')  # the relay's far end is the feed's COM12
        self.closers.append(pair.close)
        udp = self.udp_receiver()
        for button, feet, extra in ((ID['IDC_FORMATKVARN'], False, []), (ID['IDC_FORMATTCOUNT'], True, []),
                                    (ID['IDC_FORMATEDGETECH'], True, ['--edgetech-unit', 'ft'])):
            self.menu('feet' if feet else 'metres')
            self.menu('relaycount')
            self.wait_dialog(RELAY)
            self.drive('select', RELAY, ID['IDC_RELAYPORT'], 'COM2')
            self.drive('select', RELAY, ID['IDC_RELAYBAUD'], '19200 baud')
            self.drive('click', RELAY, button)
            if self.drive('enabled', RELAY, ID['IDC_RELAYCONNECT']) == '1':
                self.drive('click', RELAY, ID['IDC_RELAYCONNECT'])
            self.drive('click', RELAY, IDOK)
            self.wait_dialog_gone(RELAY)
            opened = time.monotonic()
            feed = self.start_feed('--serial', 'COM12', '--baud', '19200', '--udp', '127.0.0.1:%d' % udp.port, *extra)
            wait_for(lambda: udp.since(opened), 10, 'the feed reading COM12')  # it clears what came before
            start = time.monotonic()
            sim.control('count %d' % (400 + button))
            wait_for(lambda: any(sentence(d)['metres'] == 400 + button for _, d in udp.since(start)), 5,
                     'the count read back from format %d' % button)
            feed.kill()
            feed.communicate(timeout=10)


if __name__ == '__main__':
    unittest.main()
