"""Other programs on the desktop: the count and reset messages through
pulley-remote, the Test Value dialog, and the About box."""
import subprocess
import time
import unittest

from harness import CAPTION, ID, IDCANCEL, IDOK, UM_RESETCOUNT, DisplayTestCase, wait_for

TEST_VALUE = 'Test Value'
ABOUT = 'About Counting Pulley Display'


class RemoteClient(DisplayTestCase):
    def answer(self, command):
        result = self.remote(command)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.strip()

    def get(self):
        return int(self.answer('get'))

    def test_no_display_running(self):
        result = self.remote('get')
        self.assertEqual(result.returncode, 2)
        self.assertEqual(self.remote('reset').returncode, 2)
        self.assertEqual(self.remote('frobnicate').returncode, 1)
        for refused in (('--wait', 'nan'), ('--wait', '-1'), ('--timeout', '500'), ('--wait',)):
            result = self.remote('get', *refused)
            self.assertEqual(result.returncode, 1, refused)
            self.assertIn('pulley-remote: --', result.stderr)

    def test_wait_for_the_display_to_start(self):
        waiting = self.launch_windows('pulley-remote.exe', 'get', '--wait', 20, stdout=subprocess.PIPE, text=True)
        time.sleep(1)
        self.start_display()
        out, _ = waiting.communicate(timeout=30)
        self.assertEqual(waiting.returncode, 0)
        self.assertEqual(out.strip(), '9999')

    def test_a_display_that_does_not_answer_times_out(self):
        hung = self.launch_windows('pulley-drive.exe', 'hung', 30)
        self.closers.append(lambda: (hung.kill(), hung.wait(10)))
        self.drive('wait-main', 10)
        for operation in ('get', 'reset'):
            started = time.monotonic()
            result = self.remote(operation, '--timeout', 1000)
            self.assertEqual(result.returncode, 3, operation)
            self.assertIn('did not answer in time', result.stderr)
            self.assertLess(time.monotonic() - started, 3, 'the caller is not held by a hung display')

    def test_count_before_connecting_in_metres_and_feet(self):
        self.start_display()
        self.assertEqual(self.get(), 9999)
        self.menu('feet')
        self.assertEqual(self.get(), 32796)

    def test_count_in_feet_and_after_a_lost_link(self):
        sim = self.simulator(args=['--count', '12'])
        self.start_display()
        self.connect()
        wait_for(lambda: self.get() == 12, 3, 'count 12')
        self.menu('feet')
        self.assertEqual(self.get(), 39)
        self.assertEqual(self.answer('metres'), '12', 'metres whatever the unit shown')
        self.assertEqual(self.answer('status'), '19 connected feet read')
        sim.control('silent on')
        self.box_text(CAPTION)
        self.assertEqual(self.get(), 39, 'the count query is answered while the warning is up')
        self.dismiss_box(CAPTION)
        wait_for(lambda: self.get() == -2147483648, 3, 'lost, in feet')
        self.assertEqual((self.answer('metres'), self.answer('status')), ('2147483647', '2 feet'))
        self.menu('metres')
        self.assertEqual(self.get(), 2147483647)

    def test_reset_message(self):
        sim = self.simulator(args=['--count', '300'])
        self.start_display()
        self.assertEqual(self.drive('send', 'main', UM_RESETCOUNT, 0, 0), '1', 'answers 1 even when not connected')
        self.connect()
        wait_for(lambda: self.get() == 300, 3, 'count 300')
        self.assertEqual(self.drive('send', 'main', UM_RESETCOUNT, 1, 0), '0')
        self.assertEqual(self.drive('send', 'main', UM_RESETCOUNT, 0, 7), '0')
        time.sleep(1.5)
        self.assertEqual(sim.events('event reset'), [])
        self.assertEqual(self.get(), 300)
        result = self.remote('reset')
        self.assertEqual(result.returncode, 0, result.stderr)
        sim.wait_line('event reset', 3)
        wait_for(lambda: self.get() == 0, 3, 'count 0 after the reset')


class TestValue(DisplayTestCase):
    def test_typed_value_answers_the_query_in_either_unit_until_closed(self):
        self.simulator(args=['--count', '12'])
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() == 12, 3, 'count 12')
        self.drive('key', 'main', ord('T'), 'alt')
        self.wait_dialog(TEST_VALUE)
        self.assertEqual(self.count(), 0, 'the field opens at 0')
        self.drive('set-text', TEST_VALUE, ID['IDC_TESTVALUE'], '250')
        self.drive('click', TEST_VALUE, ID['IDC_TESTMINUS'])
        time.sleep(0.3)
        self.assertEqual(self.count(), -250)
        self.assertEqual(self.drive('send', 'main', ID['UM_GETMETRES'], 0, 0), '-250')
        self.assertEqual(self.drive('send', 'main', ID['UM_GETSTATUS'], 0, 0), '21', 'connected, Test Value open, read')
        self.menu('feet')
        self.assertEqual(self.count(), -250)
        self.drive('click', TEST_VALUE, ID['IDC_TESTPLUS'])
        self.drive('set-text', TEST_VALUE, ID['IDC_TESTVALUE'], '99999999999999')
        time.sleep(0.3)
        self.assertEqual(self.count(), 2147483647, 'held at the edge of the range')
        self.drive('click', TEST_VALUE, ID['IDC_TESTMINUS'])
        time.sleep(0.3)
        self.assertEqual(self.count(), -2147483648)
        self.drive('command', TEST_VALUE, IDOK)  # Enter in the field: no OK button, nothing happens
        time.sleep(0.3)
        self.assertTrue(self.dialog_open(TEST_VALUE))
        self.drive('click', TEST_VALUE, IDCANCEL)
        self.wait_dialog_gone(TEST_VALUE)
        self.assertEqual(self.count(), 39)


class About(DisplayTestCase):
    def open_about(self):
        self.menu('about')
        self.wait_dialog(ABOUT)
        texts = self.drive('text', ABOUT, ID['IDC_SOFTWAREVERSION']), self.drive('text', ABOUT, ID['IDC_FIRMWAREVERSION'])
        self.drive('click', ABOUT, IDOK)
        self.wait_dialog_gone(ABOUT)
        return texts

    def test_versions_not_connected_and_connected(self):
        self.simulator(args=['--count', '1'])
        self.start_display()
        self.assertEqual(self.open_about(), ('1.0.0.1', 'NOT CONNECTED'))
        self.connect()
        self.assertEqual(self.open_about(), ('1.0.0.1', 'K-VARN pulley 2.4.1 (simulated)'))
        self.assertEqual(self.drive('topmost', 'main'), '0', 'About leaves always-visible alone')


if __name__ == '__main__':
    unittest.main()
