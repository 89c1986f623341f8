"""scripts/setup's own steps, with apt, dpkg and node stood in for by fakes
on PATH: a mirror caught mid-sync is tried again and then named in one
line; a package that cannot be installed stops it; Debian 12's node 18
passes; the 32-bit Wine is unpacked whole or not at all."""
import os
import subprocess
import tempfile
import unittest

SETUP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts', 'setup')
STALE_INDEX = ('E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/'
               'Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]')
FAKES = {
    # Fails as many updates as the file "failures" says, then succeeds.
    'apt-get': '''#!/bin/sh
echo "$*" >> "$FAKE/calls"
if [ "$1" = update ]; then
    left=$(cat "$FAKE/failures")
    [ "$left" -gt 0 ] || exit 0
    echo $((left - 1)) > "$FAKE/failures"
    echo "$STALE_INDEX" >&2
    exit 100
fi
[ -e "$FAKE/uninstallable" ] && { echo "E: Unable to locate package $(cat "$FAKE/uninstallable")" >&2; exit 100; }
exit 0
''',
    'dpkg-query': '''#!/bin/sh
for package; do :; done
grep -qx "$package" "$FAKE/missing" || echo "install ok installed"
''',
    # Starts unpacking into its second operand; fails there with the stale
    # index if "failures" says so, or leaves the few files the set-up uses.
    'mmdebstrap': '''#!/bin/sh
for operand; do case $operand in --*) ;; *) [ -n "$codename" ] && { target=$operand; break; }; codename=$operand ;; esac; done
[ -d "$(dirname "$target")" ] || { echo "E: unable to get absolute path of target directory $target" >&2; exit 1; }
mkdir -p "$target/usr/lib/wine" "$target/usr/lib/i386-linux-gnu/wine/i386-windows" "$target/usr/i686-w64-mingw32/lib" \
    "$target/usr/share/wine"
[ "$(cat "$FAKE/failures")" -gt 0 ] && { echo "$STALE_INDEX" | sed 's/-security//g' >&2; exit 1; }
echo run >> "$FAKE/unpacked"
head -c 200 /dev/urandom > "$target/usr/i686-w64-mingw32/lib/zlib1.dll"
''',
    'ldconfig': '#!/bin/sh\n',
    'node': '#!/bin/sh\necho "$NODE_VERSION"\n',
    'sudo': '#!/bin/sh\nexec "$@"\n',
}


class Setup(unittest.TestCase):
    def setUp(self):
        self.fake = tempfile.mkdtemp(prefix='pulley-setup-')
        for name, text in FAKES.items():
            with open(os.path.join(self.fake, name), 'w') as f:
                f.write(text)
            os.chmod(os.path.join(self.fake, name), 0o755)
        with open(os.path.join(self.fake, 'missing'), 'w') as f:
            f.write('socat\n')

    def run_setup(self, step, failures=0, node='v18.20.4'):
        with open(os.path.join(self.fake, 'failures'), 'w') as f:
            f.write('%d\n' % failures)
        environment = dict(os.environ, PATH=self.fake + ':' + os.environ['PATH'], FAKE=self.fake,
                           STALE_INDEX=STALE_INDEX, NODE_VERSION=node, PULLEY_APT_RETRY_PAUSE='0')
        ran = subprocess.run(['bash', '-c', 'source "$1" && ' + step, 'bash', SETUP], env=environment, capture_output=True,
                             text=True, timeout=30)
        return ran.returncode, [line.split('] ', 1)[-1] for line in ran.stderr.splitlines()]  # without the time

    def calls(self):
        with open(os.path.join(self.fake, 'calls')) as f:
            return [line.split()[0] for line in f]

    def test_a_mirror_mid_sync_is_tried_again_then_named_in_one_line(self):
        code, said = self.run_setup('install_packages cmake socat', failures=2)
        self.assertEqual((code, self.calls()), (0, ['update', 'update', 'update', 'install']), said)
        os.remove(os.path.join(self.fake, 'calls'))
        code, said = self.run_setup('install_packages cmake socat', failures=3)
        self.assertNotEqual(code, 0)
        self.assertEqual(self.calls(), ['update', 'update', 'update'], 'nothing installed from a partial list')
        self.assertEqual(len(said), 2, said)  # what it set out to do, and why it stopped
        self.assertRegex(said[1], r"cannot update apt's package lists: the package index of bookworm-security \(i386\) "
                                  r"at deb.debian.org cannot be read: the mirror may be mid-sync: run scripts/test again")

    def test_a_package_that_cannot_be_installed_stops_it(self):
        with open(os.path.join(self.fake, 'uninstallable'), 'w') as f:
            f.write('socat')
        code, said = self.run_setup('install_packages cmake socat && echo went on >&2')
        self.assertNotEqual(code, 0)
        self.assertEqual(said[1:], ['cannot install socat: Unable to locate package socat: run scripts/test again '
                                    'later, or apt-get install the packages named to see why'])

    def test_the_32_bit_wine_is_unpacked_whole_or_not_at_all(self):
        build = os.path.join(self.fake, 'build')  # not there yet, as in a fresh clone
        wine = os.path.join(build, 'i386-wine')
        unpack = 'I386_WINE=%s && unpack_i386_wine bookworm http://deb.debian.org/debian' % wine
        code, said = self.run_setup(unpack, failures=1)
        self.assertNotEqual(code, 0)
        self.assertEqual(said[-1], "cannot unpack the 32-bit Wine: the package index of bookworm (i386) at "
                                   "deb.debian.org cannot be read: the mirror may be mid-sync: run scripts/test again later")
        self.assertEqual(os.listdir(build), [])

        self.assertEqual(self.run_setup(unpack)[0], 0)
        with open(os.path.join(wine, 'usr/i686-w64-mingw32/lib/zlib1.dll'), 'rb') as f:
            mingw = f.read()
        with open(os.path.join(wine, 'usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll'), 'rb') as f:
            builtin = f.read()
        self.assertEqual(builtin, mingw[:64] + b'Wine builtin DLL' + bytes(16) + mingw[96:])
        self.assertTrue(os.access(os.path.join(wine, 'usr/lib/wine/wine64'), os.X_OK))
        self.assertEqual(self.run_setup(unpack)[0], 0)
        with open(os.path.join(self.fake, 'unpacked')) as f:
            self.assertEqual(f.read(), 'run\n', 'unpacked again though whole and of the same version')

    def test_debian_12s_own_node_passes(self):
        for version, fits in (('v18.20.4', True), ('v20.20.2', True), ('v16.20.2', False), ('', False)):
            self.assertEqual(self.run_setup('node_fits', node=version)[0] == 0, fits, version)


if __name__ == '__main__':
    unittest.main()
