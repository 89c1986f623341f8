"""What the end-to-end tests stand on: the real PulleyDisplay.exe under
Wine on a display of the test command's, pulley-sim on pty pairs mapped as
COM ports, the relay's far end read byte for byte, and pulley-drive to work
the window and its dialogs as an operator would."""
import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')


def environment():
    """The Wine environment this test runs in (see make_environment in
    scripts/lib.sh): PULLEY_TEST_ENV itself, or, when ctest hands out one of
    the test command's several environments, the one it gave this test."""
    folder = os.environ.get('PULLEY_TEST_ENV', '')
    given = os.environ.get('CTEST_RESOURCE_GROUP_0_DESKTOP')  # "id:2,slots:1"
    if folder and given:
        folder = os.path.join(folder, 'desktop' + given.split(',')[0].split(':')[1])
    display = os.path.join(folder, 'display')
    if os.path.exists(display):
        with open(display) as f:
            os.environ['DISPLAY'] = f.read().strip()
    return folder


ENV_DIR = environment()
BIN = os.environ.get('PULLEY_BIN', '')
NATIVE_BIN = os.environ.get('PULLEY_NATIVE_BIN', '')
# pulley-drive, the tests' own hands: for the i686 build the x86_64 one, which
# runs natively, so that an emulated start (half a second) does not miss a
# dialog the display shows for a moment.
DRIVE_BIN = os.environ.get('PULLEY_DRIVE_BIN', BIN)
# Every Windows program starts through wine-run (see there why).
WINE = os.path.join(ROOT, 'scripts', 'wine-run')



def read_defines(*paths):
    """The numbers the program's headers #define, by name."""
    numbers = {}
    for path in paths:
        with open(os.path.join(ROOT, path)) as f:
            numbers.update((name, int(value)) for name, value in re.findall(r'^#define\s+(\w+)\s+(-?\d+)\b', f.read(), re.M))
    return numbers


# Control, command and message numbers, from where the program takes them.
ID = read_defines('res/resource.h', 'core/shared_constants.h')
UM_RESETCOUNT, UM_GETCOUNT = ID['UM_RESETCOUNT'], ID['UM_GETCOUNT']
# The menu's commands by the name after IDM_, in lower case: connect, feet, ...
IDM = {name[4:].lower(): number for name, number in ID.items() if name.startswith('IDM_')}
IDOK, IDCANCEL = 1, 2
CAPTION = 'K-VARN Counting Pulley Display'
SW_MINIMIZE, SW_RESTORE = 6, 9


def wine_env(prefix=None):
    return dict(os.environ, WINEPREFIX=prefix or os.path.join(ENV_DIR, 'prefix'), WINEDEBUG='-all')


def remember(process):
    """Lists a process started for the environment, so that the test command
    ends it even if this test cannot."""
    with open(os.path.join(ENV_DIR, 'pids'), 'a') as f:
        f.write('%d\n' % process.pid)
    return process


def wait_for(condition, timeout, what, interval=0.1):
    """Polls until condition() gives something true, and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError('timed out after %.1f s waiting for %s' % (timeout, what))
        time.sleep(interval)


class PtyPair:
    """A pty pair: the display opens ports/<name> as a COM port, the test
    holds ports/<name>-far, or another COM port of Wine's is that far end."""

    def __init__(self, name, far=None):
        self.near = os.path.join(ENV_DIR, 'ports', name)
        self.far = os.path.join(ENV_DIR, 'ports', far) if far else self.near + '-far'
        self.process = remember(subprocess.Popen(
            ['socat', 'pty,raw,echo=0,link=' + self.near, 'pty,raw,echo=0,link=' + self.far],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: os.path.exists(self.near) and os.path.exists(self.far), 5, 'socat ' + name)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)


class Simulator:
    """pulley-sim on the far end of a pty pair, driven through its stdin."""

    def __init__(self, port='com1', args=()):
        self.pair = PtyPair(port)
        self.lines = []
        self.lock = threading.Lock()
        self.process = remember(subprocess.Popen(
            [os.path.join(NATIVE_BIN, 'pulley-sim'), '--port', self.pair.far] + list(args),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1))
        threading.Thread(target=self._read, daemon=True).start()
        self.wait_line('ready', 5)

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip('\n'))

    def find(self, prefix, start=0):
        with self.lock:
            return [line for line in self.lines[start:] if line.startswith(prefix)]

    def wait_line(self, prefix, timeout=5, start=0):
        return wait_for(lambda: self.find(prefix, start), timeout, 'simulator line ' + prefix)[0]

    def control(self, line):
        with self.lock:
            start = len(self.lines)
        self.process.stdin.write(line + '\n')
        self.process.stdin.flush()
        answer = wait_for(lambda: self.find('ok', start) or self.find('error', start), 5, 'answer to ' + line)[0]
        assert answer.startswith('ok'), answer

    def count(self):
        """The pulley's count at this moment."""
        with self.lock:
            start = len(self.lines)
        self.process.stdin.write('status\n')
        self.process.stdin.flush()
        return int(self.wait_line('status count', 5, start).split()[2])

    def events(self, prefix='event'):
        return self.find(prefix)

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.terminate()
            self.process.wait(5)
        self.process.stdout.close()
        self.pair.close()


class RelayTap:
    """The far end of the relay port: every byte, with when it came."""

    def __init__(self, port='com2'):
        self.pair = PtyPair(port)
        self.fd = os.open(self.pair.far, os.O_RDONLY | os.O_NOCTTY)
        self.chunks = []
        self.lock = threading.Lock()
        self.open = True
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while self.open:
            try:
                data = os.read(self.fd, 256)
            except OSError:
                return
            if not data:
                return
            with self.lock:
                self.chunks.append((time.monotonic(), data))

    def data(self):
        with self.lock:
            return b''.join(chunk for _, chunk in self.chunks)

    def lines(self, end=b'\r'):
        """The bytes cut after each end marker (CR, or LF for the T formats)."""
        parts = self.data().split(end)
        return [part + end for part in parts[:-1]]

    def clear(self):
        with self.lock:
            self.chunks = []

    def close(self):
        self.open = False
        self.pair.close()
        try:
            os.close(self.fd)
        except OSError:
            pass


class UdpReceiver:
    """Datagrams to a port of 127.0.0.1, each with when it came."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind(('127.0.0.1', 0))
        self.port = self.socket.getsockname()[1]
        self.datagrams = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                data = self.socket.recv(2048)
            except OSError:
                return
            with self.lock:
                self.datagrams.append((time.monotonic(), data))

    def since(self, start=0.0):
        with self.lock:
            return [(when, data) for when, data in self.datagrams if when >= start]

    def close(self):
        self.socket.close()


def placed_record(rect, show=1):
    """A 96-byte settings record whose placement puts the window at rect
    (left, top, right, bottom) with this show state, on COM1."""
    record = bytearray(96)
    struct.pack_into('<III', record, 0, 44, 0, show)
    struct.pack_into('<4i', record, 28, *rect)
    record[44:48] = b'COM1'
    return record


def free_port():
    """A TCP port of 127.0.0.1 that nothing listens on now."""
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def day_files(folder):
    """pulley-feed's day files in the log folder, oldest first: the folder
    holds events.csv and casts.csv too."""
    return sorted(name for name in os.listdir(folder) if name.startswith('pulley-2'))


def windows_path(path):
    """The path as a Windows program names it: Wine's Z: is the root."""
    return 'Z:' + path.replace('/', '\\')


def connect(port, source='127.0.0.1'):
    """A TCP client of 127.0.0.1:port from a loopback address of its own
    (the feed gives no address more than half its places), or None when
    nothing listens there."""
    try:
        return socket.create_connection(('127.0.0.1', port), timeout=1, source_address=(source, 0))
    except OSError:
        return None


class DisplayTestCase(unittest.TestCase):
    """Each test gets its own copy of the program in a fresh folder, so its
    settings file starts as the test wants."""

    def setUp(self):
        if not (ENV_DIR and BIN and NATIVE_BIN):
            self.fail('run through scripts/test, which prepares Wine, a display and the ports')
        self.dir = tempfile.mkdtemp(prefix='pulley-e2e-')
        for name in ('PulleyDisplay.exe', 'kvarncpi.dll', 'enumcomm.dll', 'pulley-remote.exe', 'pulley-probe.exe',
                     'pulley-feed.exe', 'pulley-process-probe.exe'):
            if os.path.exists(os.path.join(BIN, name)):  # the soak's probe is built for x86_64 only
                shutil.copy(os.path.join(BIN, name), self.dir)
        shutil.copy(os.path.join(DRIVE_BIN, 'pulley-drive.exe'), self.dir)
        self.display = None
        self.closers = []
        self.wineprefix = None  # the test command's prefix, unless a test makes its own

    def tearDown(self):
        if self.display is not None and self.display.poll() is None:
            self.display.kill()
            self.display.wait(10)
        for close in reversed(self.closers):
            close()
        shutil.rmtree(self.dir, ignore_errors=True)

    # The pieces around the display

    def simulator(self, port='com1', args=()):
        sim = Simulator(port, args)
        self.closers.append(sim.close)
        return sim

    def relay_port(self, name='com12'):
        """A pty pair mapped as the COM port of that name, open at its far
        end for the test to write relay lines into: that end's descriptor."""
        pair = PtyPair(name)
        self.closers.append(pair.close)
        far = os.open(pair.far, os.O_RDWR | os.O_NOCTTY)
        self.closers.append(lambda: os.close(far))
        return far

    def relay_lines(self, pair, every=0.25):
        """Writes a new display line to the far end of a pty pair every so
        often, as a display relaying a moving cable, until the test ends."""
        far = os.open(pair.far, os.O_RDWR | os.O_NOCTTY)
        stop = threading.Event()

        def write():
            count = 0
            while not stop.wait(every):
                count += 1
                os.write(far, b'+%04dm\r' % (count % 10000))
        writer = threading.Thread(target=write, daemon=True)
        writer.start()
        self.closers.append(lambda: (stop.set(), writer.join(), os.close(far)))

    def relay_tap(self, port='com2'):
        tap = RelayTap(port)
        self.closers.append(tap.close)
        return tap

    def udp_receiver(self):
        receiver = UdpReceiver()
        self.closers.append(receiver.close)
        return receiver

    def start_feed(self, *args):
        """pulley-feed with these arguments, quiet; ended with the test."""
        feed = self.launch_windows('pulley-feed.exe', '--quiet', *args, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)

        def end():
            if feed.poll() is None:
                feed.kill()
            feed.communicate(timeout=10)
        self.closers.append(end)
        return feed

    @property
    def settings_path(self):
        return os.path.join(self.dir, 'Tarvesk.ini')

    def write_settings(self, data):
        with open(self.settings_path, 'wb') as f:
            f.write(data)

    def read_settings(self):
        with open(self.settings_path, 'rb') as f:
            return f.read()

    # The display

    def start_display(self):
        # Its output goes outside the folder, which some tests make unwritable.
        with tempfile.TemporaryFile() as log:
            self.display = self.launch_windows('PulleyDisplay.exe', stdout=log, stderr=log)
            try:
                self.drive('wait-main', 20)
            except AssertionError as error:
                log.seek(0)
                output = log.read()[-2000:].decode(errors='replace')
                state = 'running' if self.display.poll() is None else 'ended with %d' % self.display.returncode
                raise AssertionError('%s (the display %s; its output: %r)' % (error, state, output)) from None
        time.sleep(0.3)

    def launch_windows(self, program, *args, **options):
        """Starts a program of this folder under wine64 and returns at once."""
        return self.call_windows(subprocess.Popen, program, args, **options)

    def run_windows(self, program, *args, check=True):
        result = self.call_windows(subprocess.run, program, args, capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError('%s %s failed with %d: %s' % (program, ' '.join(map(str, args)),
                                                                result.returncode, result.stderr.strip()))
        return result

    def call_windows(self, call, program, args, **options):
        """A program of the test's folder, else one of Wine's own (reg, sc)."""
        path = os.path.join(self.dir, program)
        return call([WINE, path if os.path.exists(path) else program] + [str(a) for a in args],
                    env=wine_env(self.wineprefix), stdin=subprocess.DEVNULL, **options)

    def drive(self, *args):
        return self.run_windows('pulley-drive.exe', *args).stdout.strip()

    def remote(self, *args):
        return self.run_windows('pulley-remote.exe', *args, check=False)

    def probe(self, port, *operations):
        """Calls the device library directly: {operation: [(result, milliseconds), ...]}."""
        output = self.run_windows('pulley-probe.exe', port, *operations).stdout.split('\n')
        results = {'connect': output[0].split()[1]}
        for line in output[1:]:
            if line.strip():
                operation, *rest = line.split(' ')
                results.setdefault(operation, []).append((' '.join(rest[:-1]), float(rest[-1])))
        return results

    def count(self):
        return int(self.drive('send', 'main', UM_GETCOUNT, 0, 0))

    def title(self):
        return self.drive('title', 'main')

    def menu(self, name):
        self.drive('command', 'main', IDM[name])

    def dialog_open(self, title):
        return self.run_windows('pulley-drive.exe', 'gone', title, check=False).returncode != 0

    def wait_dialog(self, title, timeout=10):
        wait_for(lambda: self.dialog_open(title), timeout, 'dialog ' + title)

    def wait_dialog_gone(self, title, timeout=10):
        wait_for(lambda: not self.dialog_open(title), timeout, 'dialog %s to close' % title)

    def box_text(self, title):
        """The text of a message box with this title, once it shows."""
        self.wait_dialog(title)
        return self.drive('text', title, 65535)

    def dismiss_box(self, title):
        """Presses OK: every box the display shows has just that button."""
        self.drive('click', title, IDOK)
        self.wait_dialog_gone(title)

    def connect(self, port='COM1'):
        """Connect... , pick the port, Connect, and wait for the dialog to close."""
        self.menu('connect')
        self.wait_dialog('Select Pulley Port')
        self.drive('select', 'Select Pulley Port', ID['IDC_PORTLIST'], port)
        self.drive('click', 'Select Pulley Port', IDOK)
        self.wait_dialog_gone('Select Pulley Port', 10)

    def exit_display(self):
        self.menu('exit')
        self.display.wait(20)

    # The screen

    def client_pixels(self, target='main'):
        """A window's client area (main, menu or a dialog's title) from a screenshot:
        (width, height, rows of (r, g, b))."""
        x, y, width, height = map(int, self.drive('client', target).split())
        shot = os.path.join(self.dir, 'shot.png')
        subprocess.run(['import', '-window', 'root', shot], check=True)
        ppm = subprocess.run(['convert', shot, '-crop', '%dx%d+%d+%d' % (width, height, x, y), '+repage',
                              '-depth', '8', 'ppm:-'], check=True, capture_output=True).stdout
        fields = ppm.split(b'\n', 3)  # P6, width height, 255, the pixels
        w, h = map(int, fields[1].split())
        raw = fields[3]
        rows = [[tuple(raw[(r * w + c) * 3:(r * w + c) * 3 + 3]) for c in range(w)] for r in range(h)]
        return w, h, rows

    def save_screenshot(self, name):
        path = os.path.join(os.environ.get('PULLEY_SCREENSHOTS', self.dir), name)
        subprocess.run(['import', '-window', 'root', path], check=True)
        return path


def ink(pixels):
    """Where the text is drawn: its bounding box and the colours of its pixels."""
    width, height, rows = pixels
    xs, ys, colours = [], [], {}
    for y in range(height):
        for x in range(width):
            r, g, b = rows[y][x]
            if r < 160 or g < 160 or b < 160:
                xs.append(x)
                ys.append(y)
                if r + g + b < 120:
                    colours['black'] = colours.get('black', 0) + 1
                elif r > 150 and g < 60 and b < 60:
                    colours['red'] = colours.get('red', 0) + 1
    if not xs:
        return None
    return dict(left=min(xs), right=max(xs), top=min(ys), bottom=max(ys), colours=colours)
