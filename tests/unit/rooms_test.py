"""pulley-feed's core in rooms: a file includes only headers of its own room
and of the rooms below it, nothing of Windows, and opens with a line that
says its job."""
import glob
import os
import re
import unittest

CORE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools', 'pulley-feed', 'core')
# Lowest first.
ROOMS = ['reading', 'platform', 'formats', 'watch', 'record', 'settings', 'running']


class Rooms(unittest.TestCase):
    def test_each_file_includes_only_its_own_room_and_lower_ones(self):
        sources = glob.glob(os.path.join(CORE, '*', '*.h')) + glob.glob(os.path.join(CORE, '*', '*.cpp'))
        self.assertGreater(len(sources), 40)
        for path in sources:
            room = os.path.basename(os.path.dirname(path))
            self.assertIn(room, ROOMS, path)
            with open(path) as f:
                text = f.read()
            self.assertTrue(text.startswith('// '), '%s opens with a line that says its job' % path)
            self.assertNotRegex(text, r'#include <windows\.h>', path)
            for included in re.findall(r'#include "([a-z]+)/[a-z_]+\.h"', text):
                self.assertLessEqual(ROOMS.index(included), ROOMS.index(room), '%s includes %s/' % (path, included))


if __name__ == '__main__':
    unittest.main()
