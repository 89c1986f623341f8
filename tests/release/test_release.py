"""The release zip as an operator receives it, unpacked and checked as they
would use it: every link and picture of the guides inside the zip, a
README that names every program, and the example settings, copied to
pulley-feed.ini beside the feed, starting it under Wine: the page answers,
the log gets rows, and nothing goes to another address.

    PULLEY_TEST_ENV=<a test environment> /usr/bin/python3 tests/release/test_release.py ZIP

scripts/test runs it on the zip it packs, in the i686 environment."""
import glob
import html.parser
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import urllib.request
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from harness import ENV_DIR, WINE, remember, wait_for, wine_env  # noqa: E402

ZIP = ''
LOOPBACK = '0100007F'  # 127.0.0.1 as /proc/net gives it


class Links(html.parser.HTMLParser):
    """The places a page links to or shows: href and src."""

    def __init__(self):
        super().__init__()
        self.targets, self.ids = [], set()

    def handle_starttag(self, tag, attributes):
        for name, value in attributes:
            if name in ('href', 'src') and value:
                self.targets.append(value)
            if name == 'id':
                self.ids.add(value)


def feed_sockets(folder):
    """The TCP and UDP sockets of the feed started from the folder: (kind,
    local, remote, state), as /proc/net has them (addresses in hex). Its
    process is found by the folder in its command line: an i686 program
    started by wine64 runs in a process of its own, made by start.exe."""
    inodes = set()
    for cmdline in glob.glob('/proc/[0-9]*/cmdline'):
        try:
            with open(cmdline, 'rb') as f:
                if os.path.basename(folder).encode() not in f.read():
                    continue
        except OSError:
            continue
        for fd in glob.glob(os.path.join(os.path.dirname(cmdline), 'fd', '*')):
            try:
                link = os.readlink(fd)
            except OSError:
                continue
            if link.startswith('socket:['):
                inodes.add(link[8:-1])
    found = []
    for kind in ('tcp', 'udp'):
        with open('/proc/net/%s' % kind) as table:
            for line in table.readlines()[1:]:
                fields = line.split()
                if fields[9] in inodes:
                    found.append((kind, fields[1], fields[2], fields[3]))
    return found


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix='pulley-release-')
        with zipfile.ZipFile(ZIP) as archive:
            archive.extractall(cls.root)
        cls.folder = glob.glob(os.path.join(cls.root, 'PulleyDisplay-*-win32'))[0]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_every_link_and_picture_of_the_guides_is_in_the_zip(self):
        pages = glob.glob(os.path.join(self.folder, '*.html'))
        self.assertEqual(sorted(map(os.path.basename, pages)), ['integration.html', 'operator-guide.html'])
        for page in pages:
            links = Links()
            with open(page, encoding='utf-8') as f:
                links.feed(f.read())
            pictures = [target for target in links.targets if target.endswith('.png')]
            self.assertTrue(pictures or 'integration' in page, page)
            for target in links.targets:
                parts = urllib.parse.urlsplit(target)
                if parts.scheme in ('http', 'https') or (not parts.path and not parts.fragment):
                    continue
                if not parts.path:
                    self.assertIn(parts.fragment, links.ids, '%s: %s' % (page, target))
                    continue
                place = os.path.normpath(os.path.join(os.path.dirname(page), urllib.parse.unquote(parts.path)))
                self.assertTrue(place.startswith(self.folder + os.sep), '%s: %s leaves the zip' % (page, target))
                self.assertTrue(os.path.isdir(place) if target.endswith('/') else os.path.isfile(place),
                                '%s: %s is not in the zip' % (page, target))

    def test_the_readme_names_every_program_in_windows_line_ends(self):
        with open(os.path.join(self.folder, 'README.txt'), newline='') as f:
            readme = f.read()
        self.assertNotIn('\n', readme.replace('\r\n', ''), 'Windows line ends only')
        programs = [os.path.basename(path) for path in glob.glob(os.path.join(self.folder, '*.exe'))]
        self.assertEqual(len(programs), 4)
        for program in programs:
            self.assertIn(program, readme)
        with open(os.path.join(self.folder, 'LICENSE.txt')) as f:
            licence = f.read()
        for program in programs:
            self.assertIn(program[:-4].split('-')[-1], licence, program)

    def test_the_example_settings_start_the_feed_as_shipped(self):
        shutil.copy(os.path.join(self.folder, 'pulley-feed.ini.example'), os.path.join(self.folder, 'pulley-feed.ini'))
        log = os.path.join(ENV_DIR, 'prefix', 'drive_c', 'users', 'Public', 'Documents', 'Pulley Feed')
        shutil.rmtree(log, ignore_errors=True)
        feed = remember(subprocess.Popen([WINE, os.path.join(self.folder, 'pulley-feed.exe')], env=wine_env(),
                                         stdout=subprocess.PIPE, stderr=subprocess.PIPE))
        try:
            page = wait_for(lambda: self.fetch('http://127.0.0.1:8110/'), 60, 'the page on port 8110')
            self.assertIn(b'CTD winch', page)
            rows = wait_for(lambda: glob.glob(os.path.join(log, 'pulley-*.csv')), 10, 'the day file in Public Documents')
            with open(rows[0], newline='') as f:
                self.assertTrue(f.read().startswith('utc,metres,status,'))
            self.assertTrue(os.path.exists(os.path.join(log, 'casts.csv')))
            sockets = feed_sockets(self.root)
            self.assertTrue(sockets)
            for kind, local, remote, state in sockets:
                listening = kind == 'tcp' and state == '0A'
                own = local.startswith(LOOPBACK) and remote.split(':')[0] in ('00000000', LOOPBACK)
                self.assertTrue(listening or own, 'the feed reaches beyond this PC: %s' % ((kind, local, remote),))
        finally:
            feed.kill()
            feed.communicate(timeout=30)
            shutil.rmtree(log, ignore_errors=True)

    @unittest.skipUnless(os.environ.get('PULLEY_SCREENSHOTS'), 'screenshots asked for')
    def test_screenshots_of_the_guide_at_a_desk_and_on_a_phone(self):
        from browser import chromium, viewport
        browser = chromium(1280, 720)
        try:
            for width, height in ((1280, 720), (390, 844)):
                viewport(browser, width, height)
                browser.get('file://' + os.path.join(self.folder, 'operator-guide.html'))
                browser.save_screenshot(os.path.join(os.environ['PULLEY_SCREENSHOTS'],
                                                     'guide-%dx%d.png' % (width, height)))
        finally:
            browser.quit()

    def fetch(self, url):
        try:
            with urllib.request.urlopen(url, timeout=5) as answer:
                return answer.read()
        except OSError:
            return None


if __name__ == '__main__':
    ZIP = sys.argv.pop(1)
    unittest.main()
