"""pulley-feed beside the real display: the count on UDP and TCP on
loopback, in the survey log, and read back from a display's relay line."""
import functools
import os
import socket
import subprocess
import threading
import time
import unittest

from harness import (CAPTION, ENV_DIR, ID, IDOK, UM_RESETCOUNT, DisplayTestCase, PtyPair, connect, day_files, free_port,
                     wait_for, windows_path)

RELAY = 'Relay Count'


def checksum(body):
    return functools.reduce(lambda total, c: total ^ ord(c), body, 0)


def process_cpu_seconds(pid):
    """The processor time a process (a Windows program: its wine64) has used."""
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def admitted(port, source):
    """A client that the feed keeps and sends lines to, or None."""
    client = connect(port, source)
    if client is None:
        return None
    client.settimeout(1.5)
    try:
        if client.recv(100):
            return client
    except OSError:
        pass
    client.close()
    return None


class LineReader:
    """Reads a client's lines on a thread, noting when each chunk came."""

    def __init__(self, client):
        self.client, self.arrivals, self.data = client, [], b''
        client.settimeout(0.2)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while not self.stopping.is_set():
            try:
                chunk = self.client.recv(4096)
            except socket.timeout:
                continue
            if not chunk:
                return
            self.data += chunk
            self.arrivals.append(time.monotonic())

    def stop(self):
        self.stopping.set()
        self.thread.join()
        return [sentence(line + b'\r\n') for line in self.data.split(b'\r\n')[:-1]]


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
        start = time.monotonic()
        self.start_feed('--udp', '127.0.0.1:%d' % udp.port)

        def lines_with_a_rate():  # over its whole 10 s: readings come unevenly under emulation
            lines = [(when, sentence(data)) for when, data in udp.since(start)]
            rated = [when for when, line in lines if line['rate'] is not None]
            return lines if rated and lines[-1][1]['rate'] is not None and rated[-1] - rated[0] >= 10 else None
        lines = wait_for(lines_with_a_rate, 40, 'lines with the rate over 10 s')
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

    def test_a_reset_or_preset_is_no_payout_and_a_lost_link_is_lost_at_once(self):
        sim = self.connected_display(['--count', '502'])
        udp = self.udp_receiver()
        folder = os.path.join(self.dir, 'log')
        os.mkdir(folder)
        self.start_feed('--udp', '127.0.0.1:%d' % udp.port, '--log', folder, '--alarm-rate', '100')
        lines = lambda: [sentence(data) for _, data in udp.since() if data.startswith(b'$PKVNC')]
        shows = lambda metres: wait_for(lambda: lines() and lines()[-1]['metres'] == metres, 5, '%d m' % metres)
        shows(502)
        # Reset Count, a preset made at the pulley itself, and the reset message.
        self.menu('resetcount')
        shows(0)
        sim.control('count 502')
        shows(502)
        self.assertEqual(self.drive('send', 'main', UM_RESETCOUNT, 0, 0), '1')
        shows(0)
        time.sleep(6)  # the rate is known again 5 s after the reset
        rates = [line['rate'] for line in lines() if line['rate'] is not None]
        self.assertLessEqual(max(abs(rate) for rate in rates), 0.05, 'no payout: %s' % rates)
        self.assertEqual([data for _, data in udp.since() if data.startswith(b'$IIALR')], [], 'no rate alarm')
        self.assertRegex(self.remote('status').stdout, r' presets=2\n$')
        # The pulley stops answering: lost while the display's warning is still up.
        sim.control('silent on')
        self.wait_dialog(CAPTION)
        wait_for(lambda: lines()[-1]['status'] == 'V', 2, 'V lines while the warning is up')
        self.assertIn(' link-lost', self.remote('status').stdout)
        time.sleep(1.2)  # a row of the new status
        with open(os.path.join(folder, day_files(folder)[0])) as log:
            rows = log.read()
        self.dismiss_box(CAPTION)
        self.assertEqual(rows.count(',0,valid,,,preset: 502 m to 0 m\n'), 2, rows)
        self.assertEqual(rows.count(',502,valid,,,preset: 0 m to 502 m\n'), 1, rows)
        self.assertRegex(rows, r',,lost-link,,,\n$')

    def test_tcp_receivers_half_closed_flooding_stuck_and_beyond_the_limit(self):
        pair = PtyPair('com12')
        self.closers.append(pair.close)
        self.relay_lines(pair)  # four new counts a second: four lines
        port = free_port()
        feed = self.start_feed('--serial', 'COM12', '--tcp', '127.0.0.1:%d' % port, '--max-clients', '4')
        reader = wait_for(lambda: connect(port), 10, 'the feed listening')
        second = self.run_windows('pulley-feed.exe', '--quiet', '--tcp', '127.0.0.1:%d' % port, check=False)
        self.assertEqual((second.returncode, second.stderr.strip().count('\n')), (3, 0), second.stderr)
        self.assertIn('in use', second.stderr)
        # Each from an address of its own: no address may hold more than half the places.
        half = connect(port, '127.0.0.2')
        half.shutdown(socket.SHUT_WR)  # as socat and nc -N do: still a receiver
        stuck = socket.socket()
        stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1)  # takes nothing: its buffers fill within 30 s
        stuck.bind(('127.0.0.3', 0))
        stuck.connect(('127.0.0.1', port))
        flood = connect(port, '127.0.0.4')
        refused = connect(port, '127.0.0.5')
        refused.settimeout(2)
        self.assertEqual(refused.recv(100), b'', 'beyond the limit a client is closed at once')
        flood.setblocking(False)
        cpu_before = process_cpu_seconds(feed.pid)
        flooded = time.monotonic()
        while time.monotonic() - flooded < 5:
            try:
                flood.send(bytes(range(256)) * 64)
            except BlockingIOError:
                time.sleep(0.001)
            except OSError:
                break
        self.assertLess(time.monotonic() - flooded, 2, 'a client that floods the feed is dropped')
        time.sleep(4)
        # Neither the flood nor the half-closed client (whose socket reads as
        # at its end for ever) may keep the feed busy.
        self.assertLess(process_cpu_seconds(feed.pid) - cpu_before, 1.0, 'the feed stays idle')
        filler = wait_for(lambda: admitted(port, '127.0.0.6'), 5, "the flooding client's place given to another")
        readers = [LineReader(reader), LineReader(half), LineReader(filler)]
        newcomer = wait_for(lambda: admitted(port, '127.0.0.7'), 90,
                            "the stuck client dropped and its place given to another")
        for client in readers:
            lines = client.stop()
            self.assertGreater(len(lines), 4 * 25, 'every line to those that take them')
            self.assertLess(max(b - a for a, b in zip(client.arrivals, client.arrivals[1:])), 1.3)
        for client in (reader, half, stuck, flood, refused, filler, newcomer):
            client.close()

    def test_log_across_midnight_and_a_folder_that_cannot_be_written(self):
        self.connected_display(['--count', '12', '--rate', '1'])
        folder = os.path.join(self.dir, 'log')
        os.mkdir(folder)
        feed = self.start_feed('--log', folder, '--clock', '2026-12-08T23:59:57')
        time.sleep(6)
        feed.kill()
        days = day_files(folder)
        self.assertEqual(days, ['pulley-2026-12-08.csv', 'pulley-2026-12-09.csv'])
        rows = []
        for day in days:
            with open(os.path.join(folder, day), newline='') as f:
                text = f.read()
            self.assertTrue(text.startswith('utc,metres,status,rate_m_per_min,wire_left_m,note\r\n'), text)
            rows += [line.split(',') for line in text.split('\r\n')[1:-1]]
            self.assertTrue(all(row[0].startswith(day[7:17]) for row in rows[-1:]), rows)
        self.assertEqual([row[0] for row in rows], sorted(row[0] for row in rows))
        self.assertGreaterEqual(len(rows), 4, 'a line for every new reading')
        self.assertEqual({row[2] for row in rows}, {'valid'})
        # A folder that cannot be made: under a file.
        result = self.run_windows('pulley-feed.exe', '--quiet', '--log',
                                  os.path.join(self.dir, 'pulley-feed.exe', 'log'), check=False)
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
        with open(os.path.join(folder, day_files(folder)[0]), newline='') as f:
            rows = f.read().split('\r\n')
        self.assertEqual((rows[-1], rows[-2].split(',')[1:3]), ('', ['55', 'valid']), rows)

    def test_serial_line_steady_then_lost_and_back_and_a_receiver_with_no_address(self):
        pair = PtyPair('com12')
        udp = self.udp_receiver()
        feed = self.start_feed('--serial', 'COM12', '--udp', 'no-such-host.invalid', '--udp',
                               '127.0.0.1:%d' % udp.port)
        wait_for(lambda: udp.since(), 10, 'the feed reading COM12')
        far = os.open(pair.far, os.O_RDWR | os.O_NOCTTY)
        os.write(far, b'+0077m\r')  # the display sends a line only when the count changes
        start = time.monotonic()
        time.sleep(10)
        steady = [sentence(data) for _, data in udp.since(start + 0.5)]
        self.assertGreaterEqual(len(steady), 9)
        self.assertEqual({(line['metres'], line['status']) for line in steady}, {(77, 'A')})
        os.close(far)
        pair.close()  # the adapter pulled
        lost = time.monotonic()
        wait_for(lambda: any(sentence(data)['status'] == 'V' for _, data in udp.since(lost)), 3, 'V lines')
        far = self.relay_port()

        def valid_again():
            os.write(far, b'+0078m\r')
            return any(sentence(data)['metres'] == 78 for _, data in udp.since(lost))
        wait_for(valid_again, 8, 'valid lines once the port is back', interval=0.5)
        feed.kill()
        errors = feed.communicate(timeout=10)[1]
        self.assertEqual(errors.count('COM12 failed'), 1, errors)
        self.assertIn('COM12 is open again', errors)
        self.assertIn('no address for no-such-host.invalid; looking again every 30 s', errors)
        for args, words in ((['--udp', 'logger:'], 'has no port'), (['--log', 'a', '--log', 'b'], 'given twice'),
                            (['--clock', '2026-02-31T00:00:00', '--log', 'a'], 'that exists'),
                            (['--log', 'a', '--bogus'], 'unknown option --bogus')):
            result = self.run_windows('pulley-feed.exe', *args, check=False)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn(words, result.stderr)
        # A port that does not exist, and a device that is no serial port (a
        # port held by another program fails at "open" too, on Windows; Wine
        # does not keep serial ports to one program): the step, and the
        # system's reason.
        link = os.path.join(ENV_DIR, 'ports', 'com3')
        os.symlink('/dev/null', link)
        self.closers.append(lambda: os.unlink(link))
        for port, step in (('COM7', 'open'), ('COM3', 'SetCommState')):
            result = self.run_windows('pulley-feed.exe', '--serial', port, '--udp', '127.0.0.1:9', check=False)
            self.assertEqual(result.returncode, 3, port)
            self.assertRegex(result.stderr, r'cannot read %s: %s failed: \w.* \(error \d+\)' % (port, step))

    def test_xdr_lines_for_chart_software_and_alarms_whatever_the_format(self):
        import pynmea2
        self.connected_display(['--count', '321'])
        udp = self.udp_receiver()
        self.start_feed('--wait', '--udp', '127.0.0.1:%d' % udp.port, '--format', 'xdr', '--alarm-above', '300')
        wait_for(lambda: len(udp.since()) >= 3, 10, 'lines')
        alarms = [data for _, data in udp.since() if data.startswith(b'$IIALR')]
        self.assertEqual([alarm.split(b',')[2:4] for alarm in alarms], [[b'001', b'A']], 'the ALR, in any format')
        lines = [data.decode('ascii') for _, data in udp.since() if data.startswith(b'$IIXDR')]
        for line in lines:
            self.assertTrue(line.endswith('\r\n'), line)
            transducer = pynmea2.parse(line.strip()).get_transducer(0)
            self.assertEqual(tuple(transducer), ('D', '321', 'M', 'WINDLASS#0'))
            body, _, checksum = line.strip()[1:].partition('*')
            self.assertEqual(body.split(',')[1:], ['D', '321', 'M', 'WINDLASS#0'])
            self.assertEqual(int(checksum, 16), functools.reduce(lambda x, c: x ^ ord(c), body, 0))
        self.exit_display()
        closed = time.monotonic()
        wait_for(lambda: udp.since(closed), 3, 'a line after the display closed')
        self.assertTrue(udp.since(closed)[-1][1].startswith(b'$IIXDR,D,,M,WINDLASS#0*'), 'no value, not valid')

    def test_casts_across_a_feed_killed_in_the_middle_of_one(self):
        far = self.relay_port()
        folder = os.path.join(self.dir, 'log')
        os.mkdir(folder)

        def feed():
            feed = self.start_feed('--serial', 'COM12', '--log', folder, '--casts', '--cast-start', '25')
            wait_for(lambda: os.path.exists(os.path.join(folder, 'casts.csv')), 10, 'the cast log')
            time.sleep(0.5)
            return feed

        def counts(*metres):
            for count in metres:
                os.write(far, b'%+05dm\r' % count)
                time.sleep(0.75)
        first = feed()
        counts(0, 250, 0, 120)
        first.kill()  # in the middle of the second cast
        first.communicate(timeout=10)
        second = feed()
        counts(0, 80, 0)
        second.kill()
        with open(os.path.join(folder, 'casts.csv'), newline='') as f:
            rows = [row.split(',') for row in f.read().split('\r\n')[1:-1]]
        self.assertEqual([(row[0], row[4], row[-1]) for row in rows],
                         [('1', '250', ''), ('2', '120', 'incomplete: the feed stopped during the cast'),
                          ('3', '80', '')])
        self.assertTrue(all(row[2] for row in rows), 'each has its end')

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
