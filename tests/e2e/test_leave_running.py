"""pulley-feed left running: its settings file beside it, a mistake in it
named by its line, the start at logon in the registry, the icon in the
notification area and its Exit, and the service that reads a relay line,
stopped within 5 s with its last row whole."""
import os
import shutil
import time
import unittest

from harness import ID, DisplayTestCase, PtyPair, day_files, wait_for, windows_path

WM_QUERYENDSESSION, WM_ENDSESSION = 0x11, 0x16
RUN_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Run'


class LeaveItRunning(DisplayTestCase):
    def setUp(self):
        super().setUp()
        pair = PtyPair('com12')
        self.closers.append(pair.close)
        self.relay_lines(pair)  # four new counts a second
        self.udp = self.udp_receiver()
        self.folder = os.path.join(self.dir, 'log')
        os.mkdir(self.folder)

    def settings(self, *lines):
        with open(os.path.join(self.dir, 'pulley-feed.ini'), 'w', newline='') as f:
            f.write('# the relay line of the winch display\r\nserial = COM12\r\n' + '\r\n'.join(lines) + '\r\n')

    def datagrams_arrive(self):
        started = time.monotonic()
        wait_for(lambda: len(self.udp.since(started)) >= 3, 10, 'datagrams')

    def last_rows(self):
        with open(os.path.join(self.folder, day_files(self.folder)[0]), newline='') as f:
            return f.read().split('\r\n')[-2:]

    def test_settings_beside_it_a_mistake_by_its_line_and_the_start_at_logon(self):
        self.settings('udp = 127.0.0.1:%d' % self.udp.port, '', 'log = "%s"' % windows_path(self.folder), 'quiet')
        feed = self.launch_windows('pulley-feed.exe')  # no arguments: the file beside it
        self.closers.append(feed.kill)
        self.datagrams_arrive()
        feed.kill()
        self.settings('udp = 127.0.0.1:%d' % self.udp.port, 'alrm-above = 2500')
        refused = self.run_windows('pulley-feed.exe', check=False)
        self.assertEqual(refused.returncode, 1)
        self.assertIn('pulley-feed.ini:4: unknown option "alrm-above"', refused.stderr)
        # The example shipped beside the program reads as it says.
        shutil.copy(os.path.join(os.path.dirname(__file__), '..', '..', 'tools', 'pulley-feed', 'pulley-feed.ini.example'),
                    os.path.join(self.dir, 'pulley-feed.ini'))
        printed = self.run_windows('pulley-feed.exe', '--print-config', '--log', windows_path(self.folder)).stdout
        self.assertRegex(printed, r'http = 8110 +# pulley-feed.ini:24\s')
        self.assertRegex(printed, r'log = .+ +# command line\s')
        self.settings('udp = 127.0.0.1:%d' % self.udp.port)
        self.closers.append(lambda: self.run_windows('pulley-feed.exe', '--autostart', 'off', check=False))
        self.run_windows('pulley-feed.exe', '--autostart', 'on')
        command = self.run_windows('reg', 'query', RUN_KEY, '/v', 'PulleyFeed').stdout
        self.assertIn('pulley-feed.exe" --tray --config "', command)
        self.assertIn('pulley-feed.ini"', command)
        self.assertIn('starts at logon', self.run_windows('pulley-feed.exe', '--autostart').stdout)
        self.settings('alrm-above = 2500')  # undone whatever the file has come to hold
        self.run_windows('pulley-feed.exe', '--autostart', 'off')
        self.assertNotEqual(self.run_windows('reg', 'query', RUN_KEY, '/v', 'PulleyFeed', check=False).returncode, 0)

    def test_the_log_folder_made_whole_or_the_part_that_cannot_be(self):
        folder = os.path.join(self.folder, 'survey', 'winch')
        self.settings('log = %s' % windows_path(folder), 'quiet')
        feed = self.launch_windows('pulley-feed.exe')
        self.closers.append(feed.kill)
        wait_for(lambda: os.path.isdir(folder) and os.listdir(folder), 10, 'the day file in the folder made')
        feed.kill()
        self.settings(r'log = Q:\survey\winch')  # a drive this PC lacks
        refused = self.run_windows('pulley-feed.exe', check=False)
        self.assertEqual(refused.returncode, 4)
        self.assertIn(r'cannot make the folder Q:\survey: ', refused.stderr)

    def test_in_the_notification_area_exit_and_the_sessions_end_leave_its_rows_whole(self):
        self.settings('udp = 127.0.0.1:%d' % self.udp.port, 'log = log')  # beside the settings file
        feed = self.launch_windows('pulley-feed.exe', '--tray')
        self.closers.append(feed.kill)
        self.assertEqual(self.drive('title', 'feed'), 'pulley-feed')
        self.datagrams_arrive()
        self.drive('command', 'feed', ID['PULLEY_FEED_EXIT'])
        self.assertEqual(feed.wait(5), 0)
        self.assertEqual(self.last_rows()[1], '', 'the last row ends its line')
        self.assertEqual(self.last_rows()[0].split(',')[2], 'valid')
        # The session's end: the window answers once the rows are written.
        feed = self.launch_windows('pulley-feed.exe', '--tray')
        self.closers.append(feed.kill)
        self.datagrams_arrive()
        self.assertEqual(self.drive('send', 'feed', WM_QUERYENDSESSION, 0, 0), '1')
        self.drive('send', 'feed', WM_ENDSESSION, 1, 0)
        self.assertEqual(feed.wait(5), 0)
        self.assertEqual(self.last_rows()[1], '', 'the last row ends its line')

    def test_the_service_reads_the_relay_line_and_stops_within_5_s(self):
        self.settings('udp = 127.0.0.1:%d' % self.udp.port, 'log = %s' % windows_path(self.folder))
        self.closers.append(lambda: self.run_windows('pulley-feed.exe', '--service', 'remove', check=False))
        self.run_windows('pulley-feed.exe', '--service', 'install')
        self.assertIn('RUNNING', self.run_windows('sc', 'query', 'PulleyFeed').stdout)
        self.datagrams_arrive()
        # A mark from pulley-remote reaches the feed though it runs as a service.
        marked = self.remote('mark', 'from the winch PC')
        self.assertEqual(marked.returncode, 0, marked.stderr)
        self.assertIn('"source":"pulley-remote"', marked.stdout)
        asked = time.monotonic()
        self.run_windows('sc', 'stop', 'PulleyFeed')
        wait_for(lambda: 'STOPPED' in self.run_windows('sc', 'query', 'PulleyFeed').stdout, 5, 'the service stopped')
        self.assertLess(time.monotonic() - asked, 5)
        self.assertEqual(self.last_rows()[1], '', 'the last row ends its line')
        with open(os.path.join(self.folder, 'pulley-feed-messages.log')) as messages:
            self.assertRegex(messages.read(), r'Z the service started\r?\n(.*\n)*.*Z the service stopped\r?\n$')
        # A mistake in the settings: the service says why, and stops with a code.
        self.settings('udp = 127.0.0.1:%d' % self.udp.port, 'log = %s' % windows_path(self.folder), 'alrm-above = 2500')
        self.run_windows('sc', 'start', 'PulleyFeed', check=False)
        wait_for(lambda: 'STOPPED' in self.run_windows('sc', 'query', 'PulleyFeed').stdout, 10, 'the service stopped')
        self.assertRegex(self.run_windows('sc', 'query', 'PulleyFeed').stdout, r'SERVICE_EXIT_CODE *: *1\b')
        with open(os.path.join(self.folder, 'pulley-feed-messages.log')) as messages:
            self.assertRegex(messages.read(), r'pulley-feed.ini:5: unknown option "alrm-above".*\r?\n.*Z the service '
                                              r'stopped, exit code 1\r?\n$')
        self.assertIn('removed', self.run_windows('pulley-feed.exe', '--service', 'remove').stdout)


if __name__ == '__main__':
    unittest.main()
