"""The cruise folder a ship's data manager sends ashore as it is: hourly
count files named by their hour across a UTC midnight and an hour's change,
the clock set back into a closed hour, a manifest `md5sum -c` passes that
lists only closed files, what a collector following OpenVDM's rules takes,
and power cuts (kill -9) while the manifest is made again."""
import fnmatch
import os
import re
import subprocess
import time

from harness import DisplayTestCase, wait_for, windows_path

NAME = re.compile(r'^winch_[a-z0-9]+_[a-z0-9]+-[0-9]{8}T[0-9]{6}Z\.csv$')  # a count file's
KIND_NAME = re.compile(r'^winch[a-z]*_[a-z0-9]+_[a-z0-9]+-[0-9]{8}T[0-9]{6}Z\.csv$')  # casts, events, wire log
RAW = 'raw/winch_kvarn_aftdeck-%s.csv'


def manifest(folder):
    """MD5SUMS as {path: md5}; every line whole."""
    try:
        with open(os.path.join(folder, 'MD5SUMS'), newline='') as f:
            text = f.read()
    except FileNotFoundError:
        return None
    lines = text.split('\n')
    assert lines[-1] == '' and all(re.fullmatch(r'[0-9a-f]{32}  [A-Za-z0-9_./-]+', line) for line in lines[:-1]), text
    return {line[34:]: line[:32] for line in lines[:-1]}


def collected(folder, staleness):
    """The files a collector that follows OpenVDM's rules takes: ASCII
    names, not a rename temp (.name.XXXXXX) or other dot-name, *.tmp or
    *~, left alone for the staleness wait."""
    taken = set()
    for root, folders, names in os.walk(folder):
        for name in names:
            path = os.path.relpath(os.path.join(root, name), folder).replace(os.sep, '/')
            if not path.isascii() or any(fnmatch.fnmatch(part, pattern) for part in path.split('/')
                                         for pattern in ('.*', '*.tmp', '*~')):
                continue
            if time.time() - os.stat(os.path.join(root, name)).st_mtime >= staleness:
                taken.add(path)
    return taken


class CruiseFolder(DisplayTestCase):
    def setUp(self):
        super().setUp()
        self.far = self.relay_port()
        self.folder = os.path.join(self.dir, 'log')
        self.pulley = os.path.join(self.folder, 'AT50-12', 'pulley')
        with open(os.path.join(self.dir, 'pulley-feed.ini'), 'w', newline='') as f:
            f.write('\r\n'.join(('serial = COM12', 'log = %s' % windows_path(self.folder), 'casts', 'cruise = AT50-12',
                                 'layout = cruise', 'rotate = hourly', 'device-location = aftdeck')) + '\r\n')

    def run_feed(self, clock, seconds, counts):
        """The feed from its clock, given a count each 0.25 s for the seconds; killed."""
        feed = self.start_feed('--clock', clock)
        started = time.monotonic()
        while time.monotonic() - started < seconds:
            os.write(self.far, b'%+05dm\r' % counts(time.monotonic() - started))
            time.sleep(0.25)
        return feed

    def rows(self, hour):
        with open(os.path.join(self.pulley, RAW % hour), newline='') as f:
            return f.read().split('\r\n')

    def md5sum_check(self):
        return subprocess.run(['md5sum', '--check', '--strict', 'MD5SUMS'], cwd=self.pulley, capture_output=True,
                              text=True)

    def test_hourly_files_summed_when_closed_and_collected(self):
        # Across midnight, with a cast paid out to 60 m and back.
        feed = self.run_feed('2026-12-08T23:59:56', 9, lambda t: int(60 - abs(t - 4.5) * 13))
        summed = wait_for(lambda: RAW % '20261208T230000Z' in (manifest(self.pulley) or {}) and manifest(self.pulley),
                          60, 'the closed hour summed')
        raw = sorted(os.listdir(os.path.join(self.pulley, 'raw')))
        self.assertTrue(all(KIND_NAME.match(name) for name in raw), raw)
        self.assertEqual([name for name in raw if NAME.match(name)],
                         ['winch_kvarn_aftdeck-20261208T230000Z.csv', 'winch_kvarn_aftdeck-20261209T000000Z.csv'])
        self.assertNotIn(RAW % '20261209T000000Z', summed, 'the open hour')
        self.assertEqual(self.md5sum_check().returncode, 0, self.md5sum_check().stdout)
        for path in summed:
            self.assertRegex(path, r'^(docs/winch\w*_(format|device)\.txt|raw/winch_kvarn_aftdeck-\d{8}T\d{6}Z\.csv)$')
        # The collector, just after the feed wrote a row in the open hour.
        os.write(self.far, b'+0061m\r')
        wait_for(lambda: ',61,valid' in self.rows('20261209T000000Z')[-2], 5, 'the row written')
        taken = collected(self.pulley, staleness=3)
        self.assertTrue(set(summed) <= taken, (summed, taken))
        self.assertNotIn(RAW % '20261209T000000Z', taken, 'still growing')
        with open(os.path.join(self.pulley, 'docs', 'winch_format.txt'), newline='') as f:
            described = f.read()
        self.assertIn('Record format: one record a line, the fields in this order: %s\r\n' % self.rows('20261209T000000Z')[0],
                      described)
        feed.kill()
        feed.communicate(timeout=10)

        # An hour's change: the hour before closed and summed.
        feed = self.run_feed('2026-12-09T00:59:57', 6, lambda t: 61)
        wait_for(lambda: RAW % '20261209T000000Z' in (manifest(self.pulley) or {}), 60, 'the midnight hour summed')
        feed.kill()
        feed.communicate(timeout=10)
        # The clock set back into a closed hour: its rows go to the open hour's file, with a note.
        closed = manifest(self.pulley)
        feed = self.run_feed('2026-12-09T00:30:00', 4, lambda t: 62)
        feed.kill()
        feed.communicate(timeout=10)
        self.assertEqual(self.md5sum_check().returncode, 0, 'no closed file written again')
        self.assertRegex(self.rows('20261209T010000Z')[-2], r"^2026-12-09T00:30:0\d\.\d{3}Z,62,valid,.*the clock went back: its hour's file is closed")
        self.assertEqual({path: md5 for path, md5 in manifest(self.pulley).items() if path in closed}, closed)
        self.assertFalse([name for name in collected(self.pulley, 0) if '/.' in '/' + name])

    def test_a_power_cut_while_the_manifest_is_made_again(self):
        # A cruise of 400 closed hours, each summed as the feed starts and
        # the manifest made again: power cuts swept across that update, each
        # a little later than the one before.
        raw = os.path.join(self.pulley, 'raw')
        os.makedirs(raw)
        for hour in range(400):
            stamp = time.strftime('%Y%m%dT%H0000Z', time.gmtime(1796688000 + hour * 3600))
            with open(os.path.join(raw, 'winch_kvarn_aftdeck-%s.csv' % stamp), 'wb') as f:
                f.write(os.urandom(32768).hex().encode())
        device = os.path.join(self.pulley, 'docs', 'winch_device.txt')
        written = lambda: os.stat(device).st_mtime_ns if os.path.exists(device) else 0

        def start():
            before = written()
            feed = self.start_feed('--clock', '2026-12-30T00:00:00')
            wait_for(lambda: written() != before, 60, 'the descriptions written', interval=0.001)
            return feed, time.monotonic()

        feed, started = start()  # uncut: how long an update takes here
        wait_for(lambda: manifest(self.pulley), 60, 'the manifest', interval=0.001)
        update = time.monotonic() - started
        feed.kill()
        feed.communicate(timeout=10)
        os.remove(os.path.join(self.pulley, 'MD5SUMS'))
        made = []
        for cut in range(1, 31):  # on to three manifests made, however busy the machine is now
            if len(made) == 3:
                break
            feed, started = start()
            time.sleep(max(0.0, started + update * cut / 10 - time.monotonic()))
            feed.kill()
            feed.communicate(timeout=10)
            summed = manifest(self.pulley)  # every line whole
            if summed is not None:
                made.append(cut)
                self.assertEqual(len(summed), 405, '400 hours and 5 descriptions')
                self.assertEqual(self.md5sum_check().returncode, 0)
        self.assertTrue(made and made[0] > 1, 'the cuts swept from before the manifest to after it: %s' % made)
