"""The main window as the operator sees it: the paint, the title, the size
limits, and what it keeps in its settings file between runs."""
import struct
import time
import unittest

from harness import CAPTION, SW_MINIMIZE, SW_RESTORE, DisplayTestCase, ink, placed_record, wait_for


def placement(record):
    """length, flags, show state and the normal rectangle of a settings record."""
    length, flags, show = struct.unpack_from('<III', record, 0)
    return length, flags, show, struct.unpack_from('<4i', record, 28)


class Paint(DisplayTestCase):
    def test_dashes_fill_the_window_in_black_across_sizes(self):
        self.start_display()
        for width, height in ((300, 150), (600, 250), (160, 130), (900, 500)):
            self.drive('move', 'main', 50, 50, width, height)
            time.sleep(0.5)
            pixels = self.client_pixels()
            text = ink(pixels)
            self.assertIsNotNone(text, 'nothing painted at %dx%d' % (width, height))
            client_width, client_height = pixels[0], pixels[1]
            self.assertGreater(text['right'] - text['left'], 0.6 * client_width, (width, height, text))
            self.assertGreater(text['bottom'] - text['top'], 0.05 * client_height, (width, height, text))
            self.assertIn('black', text['colours'])
            self.assertNotIn('red', text['colours'])

    def test_negative_count_paints_red_and_positive_black(self):
        sim = self.simulator(args=['--count', '-5'])
        self.start_display()
        self.connect()
        wait_for(lambda: self.count() == -5, 5, 'count -5')
        self.drive('move', 'main', 50, 50, 500, 200)
        time.sleep(0.5)
        text = ink(self.client_pixels())
        self.assertGreater(text['colours'].get('red', 0), 200, text)
        self.assertNotIn('black', text['colours'])
        self.save_screenshot('negative-count.png')
        sim.control('count 12')
        wait_for(lambda: self.count() == 12, 5, 'count 12')
        time.sleep(0.3)
        text = ink(self.client_pixels())
        self.assertGreater(text['colours'].get('black', 0), 200, text)
        self.assertNotIn('red', text['colours'])
        self.save_screenshot('positive-count.png')

    def test_digits_are_tall_and_wide_in_feet_too(self):
        self.simulator(args=['--count', '12'])
        self.start_display()
        self.connect()
        self.menu('feet')
        self.drive('move', 'main', 50, 50, 700, 250)
        wait_for(lambda: self.count() == 39, 5, 'count 39 ft')
        time.sleep(0.3)
        pixels = self.client_pixels()
        text = ink(pixels)
        self.assertGreater(text['right'] - text['left'], 0.7 * pixels[0], text)
        self.assertGreater(text['bottom'] - text['top'], 0.4 * pixels[1], text)


    def test_counts_beyond_four_digits_are_drawn_whole(self):
        sim = self.simulator(args=['--count', '10033'])
        self.start_display()
        self.connect()
        for count in (10033, -10033):
            sim.control('count %d' % count)
            wait_for(lambda: self.count() == count, 5, 'count %d' % count)
            time.sleep(0.3)
            pixels = self.client_pixels()
            text = ink(pixels)
            self.assertGreater(text['left'], 0, 'clipped at the left edge: %r' % text)
            self.assertLess(text['right'], pixels[0] - 1, 'clipped at the right edge: %r' % text)
            self.assertGreater(text['right'] - text['left'], 0.6 * pixels[0], text)
            self.save_screenshot('count-%d.png' % count)


class Title(DisplayTestCase):
    def test_minimised_title_follows_the_count_and_restore_brings_the_caption_back(self):
        sim = self.simulator(args=['--count', '12'])
        self.start_display()
        self.assertEqual(self.title(), CAPTION)
        self.connect()
        wait_for(lambda: self.count() == 12, 5, 'count 12')
        self.drive('show', 'main', SW_MINIMIZE)
        wait_for(lambda: self.title() == 'Pulley: +0012m', 5, 'minimised title')
        sim.control('count 13')
        wait_for(lambda: self.title() == 'Pulley: +0013m', 5, 'title following the count')
        self.drive('show', 'main', SW_RESTORE)
        wait_for(lambda: self.title() == CAPTION, 5, 'caption after restore')

    def test_minimised_before_connecting_shows_dashes(self):
        self.start_display()
        self.drive('show', 'main', SW_MINIMIZE)
        wait_for(lambda: self.title() == 'Pulley: -----m', 5, 'dash title')


class Geometry(DisplayTestCase):
    def test_window_cannot_be_sized_below_150_by_120(self):
        self.start_display()
        self.drive('move', 'main', 10, 10, 40, 30)
        time.sleep(0.3)
        left, top, right, bottom = map(int, self.drive('rect', 'main').split())
        self.assertEqual((right - left, bottom - top), (150, 120))
        self.assertIsNotNone(ink(self.client_pixels()), 'the smallest window still shows the text')

    def test_no_settings_file_gives_the_default_rectangle(self):
        self.start_display()
        self.assertEqual(tuple(map(int, self.drive('rect', 'main').split())), (100, 100, 400, 250))

    def test_empty_settings_file_keeps_the_creation_geometry(self):
        self.write_settings(b'')
        self.start_display()
        # Created at 300 x 100, which the minimum height of 120 raises.
        self.assertEqual(tuple(map(int, self.drive('rect', 'main').split())), (100, 100, 400, 220))


class SettingsAtExit(DisplayTestCase):
    def test_name_fields_come_back_as_they_were(self):
        after_name = bytes(range(0x41, 0x4c))
        cases = (
            (b'COM1\0' + after_name, b'com2\0' + after_name, 'bytes after each name'),
            (b'P' * 16, b'R' * 16, 'names with no terminator, kept as 15 characters'),
        )
        for pulley, relay, what in cases:
            record = bytearray(96)
            record[44:60], record[60:76] = pulley, relay
            self.write_settings(bytes(record))
            self.start_display()
            self.exit_display()
            saved = self.read_settings()
            expected = [field if b'\0' in field else field[:15] + b'\0' for field in (pulley, relay)]
            self.assertEqual([saved[44:60], saved[60:76]], expected, what)

    def test_exit_saves_placement_units_and_always_visible(self):
        self.start_display()
        self.drive('move', 'main', 120, 130, 420, 230)
        self.menu('feet')
        self.menu('alwaysvisible')
        wait_for(lambda: self.drive('topmost', 'main') == '1', 5, 'topmost')
        self.exit_display()
        record = self.read_settings()
        self.assertEqual(len(record), 96)
        length, _, show, rect = placement(record)
        self.assertEqual((length, show), (44, 1))
        self.assertEqual(rect, (120, 130, 540, 360))
        self.assertEqual(record[81], 1, 'always visible')
        self.assertEqual(record[92], 1, 'feet')
        self.assertEqual(record[44:49], b'COM1\0')

    def test_saved_placement_and_always_visible_apply_at_next_start(self):
        record = placed_record((200, 210, 600, 420))
        record[81] = 1
        record[82:84] = b'\x5a\xa5'  # alignment bytes a hand-made file carried
        record[92] = 1
        self.write_settings(bytes(record))
        self.start_display()
        self.assertEqual(tuple(map(int, self.drive('rect', 'main').split())), (200, 210, 600, 420))
        self.assertEqual(self.drive('topmost', 'main'), '1')
        self.assertEqual(self.count(), 32796, 'feet: 9999 m')
        self.exit_display()
        saved = self.read_settings()
        self.assertEqual(placement(saved)[3], (200, 210, 600, 420))
        self.assertEqual(saved[44:], bytes(record[44:]), 'everything after the placement as it was loaded')


if __name__ == '__main__':
    unittest.main()
