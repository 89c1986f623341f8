"""kvarncpi.dll against the simulated pulley on a pty mapped as COM1: what the
display relies on, and the time each call may cost the window's thread."""
import unittest

from harness import DisplayTestCase

BOUND_MS = 250  # the longest a call may keep the window waiting


class DeviceLibrary(DisplayTestCase):
    def test_identify_read_preset_reset_version(self):
        self.simulator(args=['--count', '1234'])
        r = self.probe('COM1', 'identify', 'read', 'preset=-29', 'read', 'reset', 'read', 'version', 'disconnect')
        self.assertEqual(r['connect'], 'ok')
        self.assertEqual(r['identify'][0][0], '1')
        self.assertEqual([value for value, _ in r['read']], ['1234', '-29', '0'])
        self.assertEqual(r['version'][0][0], 'K-VARN pulley 2.4.1 (simulated)')
        self.assertEqual(r['disconnect'][0][0], '1')

    def test_counts_follow_the_moving_cable(self):
        self.simulator(args=['--count', '100', '--rate', '-4'])
        r = self.probe('COM1', 'read', 'wait=1000', 'read', 'wait=1000', 'read')
        counts = [int(value) for value, _ in r['read']]
        self.assertTrue(counts[0] > counts[1] > counts[2], counts)
        self.assertAlmostEqual(counts[0] - counts[2], 8, delta=2)

    def test_identification_from_the_fifth_try_and_never(self):
        self.simulator(args=['--identify-from', '5'])
        r = self.probe('COM1', *['identify'] * 5)
        self.assertEqual([value for value, _ in r['identify']], ['0', '0', '0', '0', '1'])
        for _, ms in r['identify']:
            self.assertLess(ms, BOUND_MS)

    def test_silent_pulley_reads_lost_within_the_bound(self):
        sim = self.simulator(args=['--count', '7'])
        sim.control('silent on')
        r = self.probe('COM1', 'read', 'identify', 'reset', 'preset=5', 'version')
        value, ms = r['read'][0]
        self.assertEqual(value, '2147483647')
        for operation in ('read', 'identify', 'reset', 'preset=5', 'version'):
            self.assertLess(r[operation][0][1], BOUND_MS, operation)

    def test_noise_and_damaged_frames_never_give_a_false_count(self):
        sim = self.simulator(args=['--count', '4321', '--noise', '30'])
        sim.control('corrupt 6')
        r = self.probe('COM1', *['read'] * 12)
        values = [value for value, _ in r['read']]
        # A damaged reply is retried; a read may be lost when all its tries
        # are damaged, but never reads as another count.
        self.assertEqual(set(values) - {'2147483647'}, {'4321'}, values)
        self.assertGreaterEqual(values.count('4321'), 10, values)
        sim.control('partial 2')
        r = self.probe('COM1', 'read', 'read')
        self.assertEqual([value for value, _ in r['read']], ['4321', '4321'])

    def test_slow_pulley_within_the_attempt_still_answers(self):
        self.simulator(args=['--count', '55', '--delay', '40'])
        r = self.probe('COM1', 'read', 'read')
        self.assertEqual([value for value, _ in r['read']], ['55', '55'])

    def test_port_that_does_not_exist_gives_minus_one_and_calls_fail_cleanly(self):
        r = self.probe('COM3', 'identify', 'read', 'reset', 'version', 'disconnect')
        self.assertEqual(r['connect'], '-1')
        self.assertEqual(r['read'][0][0], '2147483647')
        self.assertEqual(r['identify'][0][0], '0')
        self.assertEqual(r['disconnect'][0][0], '0')

    def test_closing_the_link_as_a_handle_ends_it(self):
        self.simulator(args=['--count', '3'])
        r = self.probe('COM1', 'read', 'close', 'read', 'disconnect')
        self.assertEqual([value for value, _ in r['read']], ['3', '2147483647'])
        self.assertEqual(r['close'][0][0], '1')
        self.assertEqual(r['disconnect'][0][0], '0')
        self.assertLess(r['read'][1][1], 50, 'a closed link fails at once')


if __name__ == '__main__':
    unittest.main()
