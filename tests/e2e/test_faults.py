"""Faults from the deck: an unplugged pulley, a silent, noisy or slow one, a
relay port whose far end goes away, settings that cannot be saved, and
settings files full of rubbish. Throughout, the window keeps answering the
count query within a second, and nothing is lost or misread."""
import os
import random
import stat
import struct
import subprocess
import threading
import time
import unittest

from harness import CAPTION, ID, IDOK, UM_GETCOUNT, DisplayTestCase, placed_record, wait_for, windows_path

LOST = 2147483647


class Responsiveness:
    """Asks the display for its count every 0.3 s in the background and
    keeps each answer with the time the window took to give it (timed
    inside pulley-drive: a Wine program's start is no part of it)."""

    def __init__(self, case):
        self.case = case
        self.answers = []
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while self.running:
            result = self.case.run_windows('pulley-drive.exe', 'timed-send', 'main', UM_GETCOUNT, 0, 0, check=False)
            if result.returncode == 0:
                count, ms = result.stdout.split()
                self.answers.append((int(count), int(ms) / 1000))
            else:
                self.answers.append((None, 3.0))
            time.sleep(0.3)

    def stop(self):
        self.running = False
        self.thread.join(30)
        self.case.assertGreater(len(self.answers), 3)
        slowest = max(took for _, took in self.answers)
        self.case.assertLess(slowest, 1.0, 'the count query took %.2f s' % slowest)
        self.case.assertNotIn(None, [value for value, _ in self.answers], 'a count query went unanswered')
        return [value for value, _ in self.answers]


class PulleyFaults(DisplayTestCase):
    def connected(self, *args):
        sim = self.simulator(args=['--count', '25'] + list(args))
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() == 25, 3, 'count 25')
        return sim

    def test_pulley_unplugged_mid_poll(self):
        sim = self.connected()
        watch = Responsiveness(self)
        time.sleep(1)
        sim.pair.close()  # the cable is pulled: the pty goes away under the open port
        self.assertEqual(self.box_text(CAPTION), 'The connection to the pulley has been lost!')
        self.dismiss_box(CAPTION)
        wait_for(lambda: self.count() == LOST, 3, 'the lost count')
        values = watch.stop()
        self.assertEqual(set(values) - {25, LOST}, set(), 'only the real count, then the lost one')

    def test_silent_pulley(self):
        sim = self.connected()
        watch = Responsiveness(self)
        sim.control('silent on')
        self.box_text(CAPTION)
        time.sleep(1)
        self.dismiss_box(CAPTION)
        values = watch.stop()
        self.assertEqual(set(values) - {25, LOST}, set())

    def test_noise_and_damaged_replies_never_show_a_wrong_count(self):
        sim = self.connected('--noise', '40')
        watch = Responsiveness(self)
        for _ in range(4):
            sim.control('corrupt 2')  # two of a read's three tries are damaged: it still succeeds
            time.sleep(1.1)
            sim.control('partial 1')
            time.sleep(1.1)
        values = watch.stop()
        self.assertEqual(set(values), {25})
        self.assertFalse(self.dialog_open(CAPTION), 'no lost link from damaged replies')

    def test_slow_pulley(self):
        sim = self.connected()
        sim.control('delay 40')
        watch = Responsiveness(self)
        sim.control('count 26')
        wait_for(lambda: self.count() == 26, 3, 'count 26 from a slow pulley')
        time.sleep(2)
        self.assertEqual(set(watch.stop()) - {25, 26}, set())
        self.assertFalse(self.dialog_open(CAPTION))

    def test_relay_far_end_gone_while_open(self):
        sim = self.connected()
        tap = self.relay_tap('com2')
        self.menu('relaycount')
        self.wait_dialog('Relay Count')
        self.drive('select', 'Relay Count', ID['IDC_RELAYPORT'], 'COM2')
        self.drive('click', 'Relay Count', ID['IDC_FORMATEDGETECH'])  # a line every second
        self.drive('click', 'Relay Count', ID['IDC_RELAYCONNECT'])
        self.drive('click', 'Relay Count', IDOK)
        self.wait_dialog_gone('Relay Count')
        wait_for(lambda: tap.lines(b'\n'), 3, 'relay lines')
        watch = Responsiveness(self)
        tap.close()
        for count in (30, 31, 32):
            sim.control('count %d' % count)
            wait_for(lambda: self.count() == count, 3, 'count %d with the relay gone' % count)
        time.sleep(1)
        watch.stop()


class SettingsFaults(DisplayTestCase):
    def change_units_and_fail_to_save(self, record):
        """Runs the display, changes a setting and exits: the save must fail
        visibly and leave the previous file as it was."""
        self.start_display()
        self.menu('metres' if record[92] else 'feet')
        self.menu('exit')
        self.assertEqual(self.box_text('Save settings'), 'File access denied.')
        self.dismiss_box('Save settings')
        self.display.wait(20)
        self.assertEqual(self.read_settings(), bytes(record), 'the previous record, whole')
        self.assertFalse(os.path.exists(self.settings_path + '.new'))

    def test_read_only_settings_file_keeps_the_previous_record(self):
        record = placed_record((150, 160, 450, 300))
        self.write_settings(bytes(record))
        os.chmod(self.settings_path, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        self.change_units_and_fail_to_save(record)

    def test_unwritable_folder_keeps_the_previous_record(self):
        record = bytearray(96)
        record[44:48] = b'COM1'
        record[92] = 1
        self.write_settings(bytes(record))
        # As root nothing but the immutable flag stops a write into a folder.
        if subprocess.run(['chattr', '+i', self.dir], capture_output=True).returncode != 0:
            self.skipTest('this file system has no immutable flag')
        self.closers.append(lambda: subprocess.run(['chattr', '-i', self.dir]))
        self.change_units_and_fail_to_save(record)

    def test_settings_file_held_by_another_program_at_start_up(self):
        record = placed_record((150, 160, 450, 300))
        record[92] = 1  # feet
        self.write_settings(bytes(record))
        for held_ms, feet in ((1000, True), (4000, False)):
            holder = self.launch_windows('pulley-drive.exe', 'hold-file', windows_path(self.settings_path), held_ms,
                                         stdout=subprocess.PIPE, text=True)
            self.assertEqual(holder.stdout.readline().strip(), 'held')
            self.start_display()
            self.assertEqual(self.remote('status').stdout.split()[1:], ['feet'] if feet else [], held_ms)
            holder.communicate(timeout=10)
            self.menu('feet' if not feet else 'metres')
            self.exit_display()
            # Read after waiting: the record as saved. Never read: not saved over.
            self.assertEqual(self.read_settings()[92], 0 if feet else 1, held_ms)
            self.write_settings(bytes(record))

    def test_random_settings_files_start_and_exit_cleanly(self):
        runs = int(os.environ.get('PULLEY_RANDOM_SETTINGS_RUNS', '100'))
        generator = random.Random(1127)
        for run in range(runs):
            size = generator.randint(0, 200)
            data = bytes(generator.getrandbits(8) for _ in range(size))
            if size >= 4 and generator.random() < 0.5:
                data = struct.pack('<I', 44) + data[4:]  # a placement the window manager takes
            self.write_settings(data)
            try:
                self.start_display()
                self.count()
                self.exit_display()
            except AssertionError as error:
                raise AssertionError('run %d, settings %s: %s' % (run, data.hex(), error)) from None
            self.assertEqual(self.display.returncode, 0, 'run %d, %d bytes' % (run, size))
            saved = self.read_settings()
            self.assertEqual(len(saved), 96, 'run %d' % run)
            padded = (data + bytes(96))[:96]
            # Everything but the placement (recaptured) and the name terminators
            # is written back as it was read.
            for offset in list(range(44, 59)) + list(range(60, 75)) + list(range(76, 96)):
                self.assertEqual(saved[offset], padded[offset], 'run %d, byte %d' % (run, offset))


if __name__ == '__main__':
    unittest.main()
