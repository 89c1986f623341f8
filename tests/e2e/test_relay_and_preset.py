"""The Relay Count and Set Count dialogs: the exact bytes that reach the far
end of the relay port, and the presets that reach the pulley."""
import struct
import time
import unittest

from harness import CAPTION, ID, IDCANCEL, IDOK, DisplayTestCase, wait_for

RELAY = 'Relay Count'
CLOSE, BAUD_LIST, PORT_LIST = IDOK, ID['IDC_RELAYBAUD'], ID['IDC_RELAYPORT']
CONNECT, DISCONNECT = ID['IDC_RELAYCONNECT'], ID['IDC_RELAYDISCONNECT']
KVARN, TCOUNT = ID['IDC_FORMATKVARN'], ID['IDC_FORMATTCOUNT']
EDGETECH, NOT_USED = ID['IDC_FORMATEDGETECH'], ID['IDC_FORMATNOTUSED']
SET_COUNT = 'Set Count'
VALUE, PLUS, MINUS, UNIT = ID['IDC_PRESETVALUE'], ID['IDC_PRESETPLUS'], ID['IDC_PRESETMINUS'], ID['IDC_PRESETUNIT']


class RelayCase(DisplayTestCase):
    def setUp(self):
        super().setUp()
        self.sim = self.simulator(args=['--count', '5'])
        self.tap = self.relay_tap('com2')

    def start_connected(self):
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() == 5, 3, 'count 5')

    def configure_relay(self, format_button, port='COM2', baud='9600 baud', connect=True):
        self.menu('relaycount')
        self.wait_dialog(RELAY)
        self.drive('select', RELAY, PORT_LIST, port)
        self.drive('select', RELAY, BAUD_LIST, baud)
        self.drive('click', RELAY, format_button)
        if connect:
            self.drive('click', RELAY, CONNECT)
            wait_for(lambda: self.drive('enabled', RELAY, DISCONNECT) == '1', 3, 'relay connected')
            self.assertEqual(self.drive('enabled', RELAY, CONNECT), '0')
        self.drive('click', RELAY, CLOSE)
        self.wait_dialog_gone(RELAY)

    def lines_for(self, count, end=b'\r'):
        """Sets the pulley's count and returns the relay lines that follow."""
        self.tap.clear()
        self.sim.control('count %d' % count)
        wait_for(lambda: self.tap.lines(end), 3, 'a relay line for %d' % count)
        time.sleep(0.2)
        return self.tap.lines(end)


class RelayFormats(RelayCase):
    def test_display_line_in_metres_and_feet_after_the_dialog_closed(self):
        self.start_connected()
        self.configure_relay(KVARN)
        self.assertFalse(self.dialog_open(RELAY))
        self.assertEqual(self.lines_for(12), [b'+0012m\r'])
        self.assertEqual(self.lines_for(-5), [b'-0005m\r'])
        self.menu('feet')
        # 25 x 3.28 lies a hair under 82 at any precision wider than a double.
        self.assertEqual(self.lines_for(25), [b'+00082ft\r'])
        self.assertEqual(self.count(), 82)
        self.assertEqual(self.lines_for(12), [b'+00039ft\r'])

    def test_t_count_lines(self):
        self.start_connected()
        self.configure_relay(TCOUNT)
        self.assertEqual(self.lines_for(12, b'\n'), [b'1:+0012m\r\n'])
        self.menu('feet')
        self.assertEqual(self.lines_for(13, b'\n'), [b'1:+00042ft\r\n'])

    def test_edgetech_sends_every_second_even_when_steady(self):
        self.start_connected()
        self.configure_relay(EDGETECH, baud='19200 baud')
        self.lines_for(12, b'\n')
        self.tap.clear()
        time.sleep(3.4)
        lines = self.tap.lines(b'\n')
        self.assertIn(len(lines), (3, 4), lines)
        self.assertEqual(set(lines), {b'1:+0012\r\n'})
        self.menu('feet')
        self.tap.clear()
        time.sleep(1.2)
        self.assertEqual(set(self.tap.lines(b'\n')), {b'1:+00039\r\n'}, 'the feet number, without its unit')

    def test_other_formats_send_nothing_while_steady(self):
        self.start_connected()
        self.configure_relay(TCOUNT)
        self.lines_for(12, b'\n')
        self.tap.clear()
        time.sleep(2.5)
        self.assertEqual(self.tap.data(), b'')

    def test_lost_link_sends_one_dash_line(self):
        self.start_connected()
        self.configure_relay(KVARN)
        self.lines_for(12)
        self.tap.clear()
        self.sim.control('silent on')
        self.box_text(CAPTION)
        self.dismiss_box(CAPTION)
        wait_for(lambda: self.tap.lines(), 3, 'the dash line')
        time.sleep(2)
        self.assertEqual(self.tap.lines(), [b'-----m\r'])


class LongCables(RelayCase):
    """Counts beyond four digits, and feet, go out whole in every format."""

    def last_line_after(self, count, end):
        self.tap.clear()
        self.sim.control('count %d' % count)
        time.sleep(1.5)  # past the tick that reads it
        lines = self.tap.lines(end)
        return lines[-1] if lines else None

    def test_long_counts_and_feet_in_every_format(self):
        self.start_connected()
        self.configure_relay(KVARN)
        expected = {
            KVARN: [b'+9999m\r', b'+10033m\r', b'-10033m\r', b'+00039ft\r'],
            TCOUNT: [b'1:+9999m\r\n', b'1:+10033m\r\n', b'1:-10033m\r\n', b'1:+00039ft\r\n'],
            EDGETECH: [b'1:+9999\r\n', b'1:+10033\r\n', b'1:-10033\r\n', b'1:+00039\r\n'],
        }
        for button, lines in expected.items():
            self.configure_relay(button, connect=False)
            end = lines[0][-1:]
            got = [self.last_line_after(count, end) for count in (9999, 10033, -10033)]
            self.menu('feet')
            got.append(self.last_line_after(12, end))
            self.menu('metres')
            self.assertEqual(got, lines)

    def test_edgetech_dash_lines_in_both_units(self):
        self.start_connected()
        self.configure_relay(EDGETECH)
        for units, dashes in (('metres', b'1:-----\r\n'), ('feet', b'1:------\r\n')):
            self.menu(units)
            self.sim.control('silent on')
            self.box_text(CAPTION)
            self.tap.clear()
            self.dismiss_box(CAPTION)
            wait_for(lambda: self.tap.lines(b'\n'), 3, 'the dash line')
            self.assertEqual(self.tap.lines(b'\n'), [dashes])
            self.sim.control('silent off')
            self.connect()


class RelayPort(RelayCase):
    def test_unopenable_port_says_so_and_keeps_none_open(self):
        self.start_display()
        self.menu('relaycount')
        self.wait_dialog(RELAY)
        self.assertEqual(self.drive('enabled', RELAY, CONNECT), '1')
        self.assertEqual(self.drive('enabled', RELAY, DISCONNECT), '0')
        self.assertEqual(self.drive('enabled', RELAY, NOT_USED), '0')
        self.drive('select', RELAY, PORT_LIST, 'COM3')
        self.drive('click', RELAY, CONNECT)
        self.assertEqual(self.box_text('Port not available'), 'This port may be in use by another application')
        self.dismiss_box('Port not available')
        self.assertEqual(self.drive('enabled', RELAY, CONNECT), '1')
        self.assertEqual(self.drive('enabled', RELAY, DISCONNECT), '0')

    def test_disconnect_closes_the_port_and_choices_are_saved_at_exit(self):
        self.start_connected()
        self.configure_relay(TCOUNT, baud='19200 baud')
        self.menu('relaycount')
        self.wait_dialog(RELAY)
        self.drive('click', RELAY, DISCONNECT)
        wait_for(lambda: self.drive('enabled', RELAY, CONNECT) == '1', 3, 'relay disconnected')
        self.drive('click', RELAY, CLOSE)
        self.wait_dialog_gone(RELAY)
        self.tap.clear()
        self.sim.control('count 30')
        wait_for(lambda: self.count() == 30, 3, 'count 30')
        time.sleep(0.5)
        self.assertEqual(self.tap.data(), b'', 'nothing on a closed relay port')
        self.exit_display()
        record = self.read_settings()
        self.assertEqual(record[60:65], b'COM2\0')
        self.assertEqual(struct.unpack_from('<i', record, 76)[0], 2)
        self.assertEqual(struct.unpack_from('<i', record, 84)[0], 1)

    def test_saved_name_in_other_case_and_saved_format_are_shown(self):
        record = bytearray(96)
        record[44:48] = b'COM1'
        record[60:64] = b'com2'
        struct.pack_into('<i', record, 76, 1)
        struct.pack_into('<i', record, 84, 3)
        self.write_settings(bytes(record))
        self.start_display()
        self.menu('relaycount')
        self.wait_dialog(RELAY)
        self.assertIn('*COM2', self.drive('list', RELAY, PORT_LIST).split('\n'))
        self.assertIn('*9600 baud', self.drive('list', RELAY, BAUD_LIST).split('\n'))
        self.assertEqual(self.drive('checked', RELAY, NOT_USED), '1')
        self.drive('click', RELAY, CLOSE)
        self.wait_dialog_gone(RELAY)


class SetCount(RelayCase):
    def preset(self, typed, negative=False, expect_box=None):
        start = len(self.sim.lines)
        self.menu('setcount')
        self.wait_dialog(SET_COUNT)
        self.drive('set-text', SET_COUNT, VALUE, typed)
        self.drive('click', SET_COUNT, MINUS if negative else PLUS)
        self.drive('click', SET_COUNT, IDOK)
        if expect_box is not None:
            self.assertEqual(self.box_text(CAPTION), expect_box)
            self.dismiss_box(CAPTION)
        self.wait_dialog_gone(SET_COUNT)
        time.sleep(0.3)
        return [line for line in self.sim.lines[start:] if line.startswith('event preset')]

    def test_opening_shows_magnitude_sign_and_unit(self):
        self.sim.control('count -5')
        self.start_display()
        self.connect()
        self.menu('feet')
        self.menu('setcount')
        self.wait_dialog(SET_COUNT)
        self.assertEqual(self.drive('text', SET_COUNT, VALUE), '16')
        self.assertEqual(self.drive('checked', SET_COUNT, MINUS), '1')
        self.assertEqual(self.drive('text', SET_COUNT, UNIT), 'ft')
        self.drive('click', SET_COUNT, IDCANCEL)
        self.wait_dialog_gone(SET_COUNT)

    def test_presets_in_feet_are_converted(self):
        self.start_connected()
        self.menu('feet')
        self.assertEqual(self.preset('100'), ['event preset 30'])
        self.assertEqual(self.preset('100', negative=True), ['event preset -29'])
        self.assertEqual(self.preset('32000'), ['event preset 9756'])
        self.assertEqual(self.preset('32001', expect_box='The preset value must be -32000 to 32000'), [])
        wait_for(lambda: self.count() == 31999, 3, 'the display following the preset (9756 m)')

    def test_metre_limits_and_numbers_too_long_for_32_bits(self):
        self.start_connected()
        self.assertEqual(self.preset('9999'), ['event preset 9999'])
        box = 'The preset value must be -9999 to 9999!'
        self.assertEqual(self.preset('10000', expect_box=box), [])
        self.assertEqual(self.preset('4294967296', expect_box=box), [], 'wraps to 0 in 32 bits')
        self.assertEqual(self.preset('12345678901234567890', negative=True, expect_box=box), [])
        self.assertEqual(self.preset(''), ['event preset 0'])


if __name__ == '__main__':
    unittest.main()
