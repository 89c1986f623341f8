"""Power cut during shut-down: the display killed at random moments while it
saves its settings leaves the previous Tarvesk.ini or the new one, whole,
never a torn or a missing file."""
import os
import random
import unittest

from harness import DisplayTestCase, placed_record

RUNS = int(os.environ.get('PULLEY_POWER_CUT_RUNS', '200'))


class PowerCut(DisplayTestCase):
    def shut_down(self, microseconds):
        """Starts the display on the saved file, switches it to feet and
        chooses Exit, killing it that long after; 'ended' or 'killed', and the
        microseconds the shut-down had run."""
        self.display = self.launch_windows('PulleyDisplay.exe')
        outcome, elapsed = self.drive('kill-during-exit', microseconds).split()
        self.display.wait(10)
        return outcome, int(elapsed)

    def test_killed_at_random_moments_while_saving(self):
        before = placed_record((100, 100, 400, 250))
        self.write_settings(bytes(before))
        outcome, duration = self.shut_down(10 ** 7)
        self.assertEqual(outcome, 'ended')
        after = self.read_settings()
        self.assertEqual(after[92], 1, 'the new file has feet')
        generator = random.Random(96)
        seen = {'before': 0, 'after': 0}
        for run in range(RUNS):
            self.write_settings(bytes(before))
            delay = generator.randint(0, duration)
            outcome, elapsed = self.shut_down(delay)
            data = self.read_settings()  # fails if the file is missing
            state = 'before' if data == before else 'after' if data == after else None
            self.assertIsNotNone(state, 'run %d, %s after %d us: a torn file %r' % (run, outcome, elapsed, data))
            seen[state] += 1
        # The kills fell on both sides of the save, so they were during it.
        self.assertGreater(seen['before'], RUNS // 20, seen)
        self.assertGreater(seen['after'], RUNS // 20, seen)
        print('shut-down took %d us; %d kills left the previous file, %d the new one'
              % (duration, seen['before'], seen['after']))


if __name__ == '__main__':
    unittest.main()
