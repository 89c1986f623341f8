"""From Connect... to live counts, as an operator does it: the Select Pulley
Port dialog, identification, Disconnect, Reset Count and a lost link."""
import os
import subprocess
import time
import unittest

from harness import CAPTION, ID, IDCANCEL, IDOK, SW_MINIMIZE, DisplayTestCase, ink, wait_for, wine_env

SELECT = 'Select Pulley Port'
CONNECT_BUTTON, PORT_LIST = IDOK, ID['IDC_PORTLIST']
STATUS_LINE, CONNECT_AT_START_UP = ID['IDC_STATUSLINE'], ID['IDC_CONNECTATSTARTUP']
VK_UP, VK_ESCAPE = 0x26, 0x1b
# The Pulley menu's items but Exit, top to bottom (separators left out).
MENU_ITEMS = ('connect', 'disconnect', 'setcount', 'resetcount', 'relaycount', 'units', 'alwaysvisible', 'about')


def menu_bands(pixels):
    """The items of an open menu read off its picture, top to bottom: for each,
    whether its text is gray and where its ink starts. An item is a band of
    rows with ink at least 5 pixels high (a separator is 2)."""
    width, height, rows = pixels
    rows = [row[3:width - 3] for row in rows[3:height - 3]]  # inside the border
    bands, start = [], None
    for y in range(len(rows) + 1):
        inked = y < len(rows) and min(max(pixel) for pixel in rows[y]) < 180
        if inked and start is None:
            start = y
        elif not inked and start is not None:
            if y - start >= 5:
                band = [(x, max(pixel)) for row in rows[start:y] for x, pixel in enumerate(row) if max(pixel) < 180]
                bands.append((min(level for _, level in band) > 90, min(x for x, _ in band)))
            start = None
    return bands


class Connecting(DisplayTestCase):
    def connect_to_silent_pulley(self):
        """Presses Connect on a port whose pulley never identifies itself."""
        sim = self.simulator(args=['--identify-never'])
        self.start_display()
        self.menu('connect')
        self.wait_dialog(SELECT)
        self.drive('click', SELECT, CONNECT_BUTTON)
        return sim

    def test_connect_to_live_counts_that_follow_the_cable(self):
        self.simulator(args=['--count', '100', '--rate', '2'])
        self.start_display()
        self.assertEqual(self.count(), 9999)
        self.menu('connect')
        self.wait_dialog(SELECT)
        self.menu('connect')  # as another program may send it: no second dialog on the same link
        time.sleep(1)
        self.assertEqual(self.drive('dialogs', SELECT), '1')
        ports = self.drive('list', SELECT, PORT_LIST).split('\n')
        # Wine also maps the machine's own serial devices after ours.
        ours = [port for port in ports if port.lstrip('*') in ('COM1', 'COM2', 'COM3', 'COM12')]
        self.assertEqual(ours, ['*COM1', 'COM2', 'COM3', 'COM12'], 'the saved COM1 selected')
        numbers = [int(port.lstrip('*')[3:]) for port in ports]
        self.assertEqual(numbers, sorted(numbers), 'natural order')
        self.drive('click', SELECT, CONNECT_BUTTON)
        self.wait_dialog_gone(SELECT, 5)
        first = wait_for(lambda: self.count() if self.count() != 9999 else None, 3, 'a first reading')
        self.assertGreaterEqual(first, 100)
        time.sleep(2.2)
        self.assertGreaterEqual(self.count() - first, 3, 'the count moves with the cable')
        self.drive('show', 'main', SW_MINIMIZE)
        title = wait_for(lambda: self.title() if self.title().startswith('Pulley: +0') else None, 5, 'title')
        self.assertRegex(title, r'^Pulley: \+0\d\d\dm$')

    def test_identification_on_the_fifth_try(self):
        sim = self.simulator(args=['--count', '12', '--identify-from', '5'])
        self.start_display()
        started = time.monotonic()
        self.connect()
        self.assertGreater(time.monotonic() - started, 4.0, 'five one-second ticks')
        self.assertEqual(len(sim.events('event identify')), 5)
        wait_for(lambda: self.count() == 12, 3, 'count 12')

    def test_no_pulley_gives_up_after_five_tries_and_connect_works_again(self):
        sim = self.connect_to_silent_pulley()
        self.assertEqual(self.box_text('Error'), 'No pulley detected on this port.')
        self.assertEqual(self.drive('text', SELECT, STATUS_LINE), 'Connection failed!')
        self.assertEqual(len(sim.events('event identify')), 5)
        self.dismiss_box('Error')
        self.assertEqual(self.drive('enabled', SELECT, CONNECT_BUTTON), '1')
        # The given-up link was closed, so the same port connects at once now.
        sim.control('identify-from 1')
        self.drive('click', SELECT, CONNECT_BUTTON)
        self.assertEqual(self.drive('text', SELECT, STATUS_LINE), 'Connecting...')
        self.wait_dialog_gone(SELECT, 5)
        wait_for(lambda: self.count() == 0, 3, 'count 0')

    def test_port_that_cannot_be_opened_keeps_the_dialog(self):
        self.start_display()
        self.menu('connect')
        self.wait_dialog(SELECT)
        self.drive('select', SELECT, PORT_LIST, 'COM3')  # mapped, but nothing behind it
        self.drive('click', SELECT, CONNECT_BUTTON)
        self.assertEqual(self.box_text('Error'),
                         'Cannot use this port! It may not exist or it may be in use by another application.')
        self.dismiss_box('Error')
        self.assertTrue(self.dialog_open(SELECT))
        self.assertEqual(self.drive('enabled', SELECT, CONNECT_BUTTON), '1')
        self.drive('click', SELECT, IDCANCEL)
        self.wait_dialog_gone(SELECT)
        self.exit_display()
        self.assertEqual(self.read_settings()[44:49], b'COM3\0', 'the picked port is remembered')

    def test_connect_at_start_up_connects_without_input(self):
        self.simulator(args=['--count', '77'])
        record = bytearray(96)
        record[44:48] = b'COM1'
        record[80] = 1
        record[88:92] = b'\x01\x02\x03\x04'
        self.write_settings(bytes(record))
        self.start_display()
        self.menu('connect')
        self.wait_dialog(SELECT)
        self.assertEqual(self.drive('checked', SELECT, CONNECT_AT_START_UP), '1')
        self.wait_dialog_gone(SELECT, 5)
        wait_for(lambda: self.count() == 77, 3, 'count 77')
        self.exit_display()
        saved = self.read_settings()
        self.assertEqual(saved[80], 1)
        self.assertEqual(saved[88:92], b'\0\0\0\0', 'reserved field cleared')

    def test_cancel_while_identifying_frees_the_port(self):
        sim = self.connect_to_silent_pulley()
        sim.wait_line('event identify 1', 3)
        self.drive('click', SELECT, IDCANCEL)
        self.wait_dialog_gone(SELECT)
        time.sleep(1.5)
        self.assertEqual(len(sim.events('event identify')), 1, 'no identification after Cancel')
        r = self.probe('COM1', 'read')
        self.assertEqual(r['connect'], 'ok')


class NoSerialPorts(DisplayTestCase):
    def test_no_ports_says_so_and_ends_the_dialog(self):
        self.wineprefix = os.path.join(self.dir, 'prefix')
        made = subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), 'no-serial-ports.sh'),
                               self.wineprefix], capture_output=True, text=True)
        if made.returncode != 0:
            self.skipTest('no mount namespace here: ' + made.stderr.strip())
        self.closers.append(lambda: subprocess.run(['/usr/lib/wine/wineserver', '-k'], env=wine_env(self.wineprefix)))
        self.start_display()
        self.menu('connect')
        self.assertEqual(self.box_text('Connect'), 'There are no serial ports on the system')
        self.dismiss_box('Connect')
        self.wait_dialog_gone(SELECT)
        self.menu('relaycount')
        self.wait_dialog('Relay Count')
        self.assertEqual(self.drive('list', 'Relay Count', ID['IDC_RELAYPORT']), '')
        self.drive('click', 'Relay Count', IDOK)
        self.wait_dialog_gone('Relay Count')
        self.assertEqual(self.count(), 9999)


class Connected(DisplayTestCase):
    def setUp(self):
        super().setUp()
        self.sim = self.simulator(args=['--count', '12'])
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() == 12, 3, 'count 12')

    def test_disconnect_shows_dashes_and_no_reading(self):
        self.menu('disconnect')
        wait_for(lambda: self.count() == 9999, 3, 'count 9999')
        time.sleep(0.3)
        text = ink(self.client_pixels())
        self.assertEqual(text['colours'].get('red', 0), 0)
        self.save_screenshot('disconnected.png')
        self.drive('show', 'main', SW_MINIMIZE)
        wait_for(lambda: self.title() == 'Pulley: -----m', 5, 'dash title')
        # The port was closed, so it opens again at once.
        self.assertEqual(self.probe('COM1', 'read')['read'][0][0], '12')

    def test_reset_count_reaches_the_pulley(self):
        self.sim.control('count 500')
        wait_for(lambda: self.count() == 500, 3, 'count 500')
        self.menu('resetcount')
        self.sim.wait_line('event reset', 3)
        wait_for(lambda: self.count() == 0, 3, 'count 0')

    def test_lost_link_warns_shows_dashes_and_can_reconnect(self):
        self.sim.control('silent on')
        self.assertEqual(self.box_text(CAPTION), 'The connection to the pulley has been lost!')
        self.assertEqual(self.count(), 12, 'the count is set after the box')
        self.dismiss_box(CAPTION)
        wait_for(lambda: self.count() == 2147483647, 3, 'count 2147483647')
        self.drive('show', 'main', SW_MINIMIZE)
        wait_for(lambda: self.title() == 'Pulley: -----m', 5, 'dash title')
        self.drive('show', 'main', 9)
        self.sim.control('silent off')
        self.sim.control('count 40')
        self.connect()
        wait_for(lambda: self.count() == 40, 3, 'count 40 after reconnecting')


class MenuStates(DisplayTestCase):
    NEEDS_LINK = {'disconnect', 'setcount', 'resetcount'}

    def open_menu(self):
        """Opens the Pulley menu with Alt+P, moves the highlight to Exit so that
        it hides no other item, and closes it again: the grayed items and the
        checked ones (ink left of the text)."""
        self.drive('key', 'main', ord('P'), 'alt')
        self.drive('client', 'menu')  # waits for it
        self.drive('key', 'main', VK_UP)
        time.sleep(0.5)
        bands = menu_bands(self.client_pixels('menu'))
        self.drive('key', 'main', VK_ESCAPE)
        self.drive('key', 'main', VK_ESCAPE)
        self.assertEqual(len(bands), len(MENU_ITEMS), bands)
        text_left = max(left for _, left in bands)
        grayed = {item for item, (gray, _) in zip(MENU_ITEMS, bands) if gray}
        checked = {item for item, (_, left) in zip(MENU_ITEMS, bands) if left < text_left - 4}
        return grayed, checked

    def test_items_gray_and_check_with_the_link_and_always_visible(self):
        sim = self.simulator(args=['--count', '12'])
        self.start_display()
        self.assertEqual(self.open_menu(), (self.NEEDS_LINK, set()))
        self.connect()
        wait_for(lambda: self.count() == 12, 3, 'count 12')
        self.menu('alwaysvisible')
        self.assertEqual(self.open_menu(), ({'connect'}, {'alwaysvisible'}))
        sim.control('silent on')  # a lost link grays them again
        self.dismiss_box(CAPTION)
        self.assertEqual(self.open_menu(), (self.NEEDS_LINK, {'alwaysvisible'}))

if __name__ == '__main__':
    unittest.main()
