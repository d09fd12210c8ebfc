#!/usr/bin/env python3
"""Checks the desktop integration files and the installed tree.

Runs the freedesktop validators on the launcher, the software-centre metadata
and the file type definition, checks that the three agree with each other and
with the project, lets GIO detect instrument files through a MIME database
built from the definition, renders the manual pages and compares their
options with what the programs' --help lists, and installs the build into a
temporary DESTDIR to look at the result.  Prints TAP."""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import traceback
import xml.etree.ElementTree as ET
from configparser import ConfigParser

MIME_NS = '{http://www.freedesktop.org/standards/shared-mime-info}'
ICON_SIZES = (16, 32, 48, 64, 128, 256)

# The start of an instrument file as the program writes it.
INSTRUMENT = '''{
  "type" : "VornFile",
  "name" : "Bank",
  "format" : "Vornadel:Waves",
  "format-version" : "1.0",
  "next-id" : 1
}
'''


class Skip(Exception):
    pass


def run(cmd, env=None, timeout=60):
    """Runs @cmd and returns (exit status, stdout, stderr) as text."""
    p = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=timeout)
    return p.returncode, p.stdout, p.stderr


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def desktop_entry(path):
    parser = ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    parser.read(path, encoding='utf-8')
    return parser['Desktop Entry']


def mime_type_of(path):
    """The type name the definition file declares."""
    types = ET.parse(path).getroot().findall(MIME_NS + 'mime-type')
    check(len(types) == 1, f'{path}: expected one <mime-type>, found {len(types)}')
    return types[0].get('type')


def plain_man(page):
    """The page rendered to plain text, on lines long enough not to wrap."""
    status, out, err = run(['groff', '-man', '-Tutf8', '-rLL=250n', '-P-cbou', page])
    check(status == 0, f'groff failed on {page}: {err}')
    # groff prints hyphens and minus signs as their typographic characters.
    return out.replace('\u2010', '-').replace('\u2212', '-')


HELP_OPTION = re.compile(r'^\s+(?:-(\w), )?--([\w-]+)(?:=(\S+))?(?:\s|$)')


def help_options(text):
    """(short, long, argument) of every option the --help text lists under
    application options, plus -h/--help; the --help-* variants are left out."""
    options, section = [], None
    for line in text.splitlines():
        if line.endswith('Options:'):
            section = line.strip()
            continue
        m = HELP_OPTION.match(line)
        if m and (section == 'Application Options:' or m.group(2) == 'help'):
            options.append(m.groups())
    return options


def man_option_tags(text):
    """Long option names of the tag lines in the OPTIONS section."""
    names, inside = [], False
    for line in text.splitlines():
        if re.match(r'^[A-Z]', line):
            inside = line.strip() == 'OPTIONS'
        elif inside and re.match(r'^ {7}-', line):
            names += re.findall(r'--([\w-]+)', line)
    return names


def compare_options(program, page, env=None):
    env = dict(env or os.environ, LC_ALL='C.UTF-8')
    # --help exits from inside option parsing, with everything still held.
    env['ASAN_OPTIONS'] = env.get('ASAN_OPTIONS', '') + ':detect_leaks=0'
    status, out, err = run([program, '--help'], env=env)
    check(status == 0, f'{program} --help exited with {status}: {err}')
    listed = help_options(out)
    check(any(long != 'help' for _, long, _ in listed), f'{program} --help lists no options:\n{out}')
    text = plain_man(page)
    missing = []
    for short, long, arg in listed:
        form = (f'-{short}, ' if short else '') + f'--{long}' + (f'={arg}' if arg else '')
        if form not in text:
            missing.append(form)
    check(not missing, f'{page} lacks options of --help: {missing}')
    stale = sorted(set(man_option_tags(text)) - {long for _, long, _ in listed})
    check(not stale, f'{page} describes options that --help does not list: {stale}')


def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    check(head[:8] == b'\x89PNG\r\n\x1a\n' and head[12:16] == b'IHDR', f'{path} is no PNG file')
    return struct.unpack('>II', head[16:24])


class Checks:
    def __init__(self, args, tmp):
        self.a = args
        self.tmp = tmp

    # -- the files one by one --------------------------------------------------

    def test_desktop_file_valid(self):
        status, out, err = run(['desktop-file-validate', self.a.desktop])
        check(status == 0 and not (out + err).strip(), f'desktop-file-validate:\n{out}{err}')

    def test_metainfo_valid(self):
        status, out, err = run(['appstreamcli', 'validate', '--no-net', '--explain', self.a.metainfo])
        check(status == 0, f'appstreamcli validate:\n{out}{err}')

    def test_mime_definition_compiles(self):
        status, _, err = run(['xmllint', '--noout', self.a.mime])
        check(status == 0, f'xmllint: {err}')
        # update-mime-database reports bad definitions on stderr but still
        # exits with 0, and drops elements it does not know.
        status, out, err = self.mime_update
        check(status == 0 and not (out + err).strip(), f'update-mime-database:\n{out}{err}')
        name = mime_type_of(self.a.mime)
        compiled = ET.parse(os.path.join(self.mime_dir, name + '.xml')).getroot()
        comment = compiled.find(MIME_NS + 'comment')
        check(comment is not None and comment.text == 'Zelmora instrument file', 'comment missing')
        check([g.get('pattern') for g in compiled.iter(MIME_NS + 'glob')] == ['*.vvi'], 'glob missing')
        check([s.get('type') for s in compiled.iter(MIME_NS + 'sub-class-of')] == ['application/json'],
              'not a sub-class of application/json')
        icon = compiled.find(MIME_NS + 'generic-icon')
        check(icon is not None and icon.get('name') == 'audio-x-generic', 'generic icon missing')

    def test_mime_detection(self):
        name = mime_type_of(self.a.mime)
        samples = [
            # (file name, content, expected type)
            ('x.vvi', INSTRUMENT, name),                    # by extension
            ('other.vvi', '[ 1, 2 ]\n', name),               # the extension alone decides
            ('instrument', INSTRUMENT, name),               # by content, no extension
            ('notes', '{ "format" : "other" }\n', None),    # other JSON stays what it was
        ]
        for file_name, content, expected in samples:
            path = os.path.join(self.tmp, 'samples', file_name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'w', encoding='utf-8') as f:
                f.write(content)
            status, out, err = run(['gio', 'info', '-a', 'standard::content-type', path], env=self.xdg_env)
            check(status == 0, f'gio info {file_name}: {err}')
            found = re.search(r'standard::content-type: (\S+)', out).group(1)
            if expected:
                check(found == expected, f'{file_name} detected as {found}, expected {expected}')
            else:
                check(found != name, f'{file_name} is no instrument but was detected as {found}')

    def test_man_pages_render_cleanly(self):
        for page in (self.a.man_zelmora, self.a.man_render, self.a.man_play):
            status, out, err = run(['groff', '-man', '-Tutf8', '-ww', '-z', page])
            check(status == 0 and not (out + err).strip(), f'groff warnings for {page}:\n{err}')
            status, out, err = run(['man', '--warnings', '-l', page],
                                   env=dict(os.environ, MANPAGER='cat', MANWIDTH='80', LC_ALL='C.UTF-8'))
            check(status == 0 and not err.strip(), f'man -l {page}:\n{err}')

    # -- the files against each other and the project --------------------------

    def test_files_agree(self):
        entry = desktop_entry(self.a.desktop)
        desktop_id = os.path.basename(self.a.desktop)
        meta = ET.parse(self.a.metainfo).getroot()
        app_id = meta.findtext('id')
        check(desktop_id == app_id + '.desktop', f'desktop file {desktop_id} is not named after {app_id}')
        check(meta.findtext('launchable') == desktop_id, 'metainfo launches another desktop file')
        check(entry['Icon'] == app_id, f'Icon={entry["Icon"]}, expected {app_id}')
        check(os.path.basename(self.a.icon) == app_id + '.svg', 'the icon is not named after the application')
        mime_types = [t for t in entry['MimeType'].split(';') if t]
        name = mime_type_of(self.a.mime)
        check(mime_types == [name], f'MimeType={entry["MimeType"]}, the definition declares {name}')
        check([m.text for m in meta.iter('mediatype')] == [name], 'metainfo provides another media type')
        check(meta.findtext('project_license') == self.a.license, 'metainfo and project licenses differ')
        # The newest release comes first.
        release = meta.find('releases/release')
        check(release.get('version') == self.a.version,
              f'newest release in metainfo is {release.get("version")}, the project is {self.a.version}')
        for page in (self.a.man_zelmora, self.a.man_render, self.a.man_play):
            with open(page, encoding='utf-8') as f:
                th = f.readline()
            check(f'"Zelmora {self.a.version}"' in th, f'{page} is not for version {self.a.version}: {th}')

    def test_desktop_file_opens_instruments(self):
        # GIO finds the applications for a type in the cache that
        # update-desktop-database builds from the MimeType= keys.
        applications = os.path.join(self.share, 'applications')
        os.makedirs(applications, exist_ok=True)
        shutil.copy(self.a.desktop, applications)
        status, out, err = run(['update-desktop-database', applications], env=self.xdg_env)
        check(status == 0 and not (out + err).strip(), f'update-desktop-database:\n{out}{err}')
        name = mime_type_of(self.a.mime)
        # Entries whose program is not on PATH are hidden.
        path = os.path.dirname(os.path.abspath(self.a.zelmora)) + os.pathsep + os.environ.get('PATH', '')
        status, out, err = run(['gio', 'mime', name], env=dict(self.xdg_env, PATH=path))
        check(status == 0, f'gio mime: {err}')
        default = re.search(r'^Default application for .*: (\S+)$', out, re.M)
        check(default and default.group(1) == os.path.basename(self.a.desktop), f'gio mime {name}:\n{out}')

    def test_render_options_documented(self):
        if not self.a.render:
            raise Skip('zelmora-render is not built')
        compare_options(self.a.render, self.a.man_render)

    def test_play_options_documented(self):
        compare_options(self.a.play, self.a.man_play)

    def test_zelmora_options_documented(self):
        env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY')}
        compare_options(self.a.zelmora, self.a.man_zelmora, env)

    # -- the installed tree ----------------------------------------------------

    def test_install_tree(self):
        destdir = os.path.join(self.tmp, 'destdir')
        # No --no-rebuild: meson test builds only what the tests name, the
        # install builds the rest.
        status, out, err = run([self.a.meson, 'install', '--quiet', '--destdir', destdir,
                                '-C', self.a.build_root], timeout=280)
        check(status == 0, f'meson install:\n{out}{err}')

        def staged(path):
            return os.path.join(destdir, path.lstrip('/'))

        prefix = staged(self.a.prefix)
        outside = [os.path.join(d, f) for d, _, fs in os.walk(destdir) for f in fs
                   if not os.path.join(d, f).startswith(prefix + os.sep)]
        check(not outside, f'installed outside the prefix: {outside}')

        share, man1 = staged(self.a.datadir), os.path.join(staged(self.a.mandir), 'man1')
        app_id = ET.parse(self.a.metainfo).getroot().findtext('id')
        expected = {
            os.path.join(share, 'applications', app_id + '.desktop'): self.a.desktop,
            os.path.join(share, 'metainfo', app_id + '.metainfo.xml'): self.a.metainfo,
            os.path.join(share, 'mime', 'packages', app_id + '.xml'): self.a.mime,
            os.path.join(man1, 'zelmora.1'): self.a.man_zelmora,
            os.path.join(man1, 'zelmora-play.1'): self.a.man_play,
            os.path.join(share, 'icons', 'hicolor', 'scalable', 'apps', app_id + '.svg'): self.a.icon,
        }
        if self.a.render:
            expected[os.path.join(man1, 'zelmora-render.1')] = self.a.man_render
        for installed, source in expected.items():
            check(os.path.isfile(installed), f'{installed} not installed')
            with open(installed, 'rb') as a, open(source, 'rb') as b:
                check(a.read() == b.read(), f'{installed} differs from {source}')
        for size in ICON_SIZES:
            png = os.path.join(share, 'icons', 'hicolor', f'{size}x{size}', 'apps', app_id + '.png')
            check(os.path.isfile(png), f'{png} not installed')
            check(png_size(png) == (size, size), f'{png} is {png_size(png)}, expected {size}x{size}')

        # The launcher runs a program that is installed.
        program = desktop_entry(self.a.desktop)['Exec'].split()[0]
        check(os.access(os.path.join(staged(self.a.bindir), program), os.X_OK), f'{program} not installed')
        # Interface definitions are compiled into the program; its artwork
        # stays on disk.
        ui = [f for _, _, fs in os.walk(os.path.join(share, 'zelmora')) for f in fs if f.endswith('.ui')]
        check(not ui, f'interface definitions installed: {ui}')
        check(os.path.isfile(os.path.join(share, 'zelmora', 'ui', 'zelmora-splash.png')), 'splash not installed')
        # No caches: those belong to the system that receives the files.
        for cache in ('mime/mime.cache', 'icons/hicolor/icon-theme.cache', 'applications/mimeinfo.cache'):
            check(not os.path.exists(os.path.join(share, cache)), f'{cache} installed')

    def run_all(self):
        self.share = os.path.join(self.tmp, 'share')
        self.mime_dir = os.path.join(self.share, 'mime')
        os.makedirs(os.path.join(self.mime_dir, 'packages'))
        shutil.copy(self.a.mime, os.path.join(self.mime_dir, 'packages', 'org.zelmora.Zelmora.xml'))
        home = os.path.join(self.tmp, 'home')
        os.makedirs(home)
        # The system's database stays visible for application/json and the
        # other types the samples may be taken for.
        self.xdg_env = dict(os.environ, XDG_DATA_HOME=home, XDG_DATA_DIRS=self.share + ':/usr/share',
                            XDG_CONFIG_HOME=home, XDG_CONFIG_DIRS=home)
        self.mime_update = run(['update-mime-database', self.mime_dir], env=self.xdg_env)

        tests = [name for name in Checks.__dict__ if name.startswith('test_')]
        print(f'1..{len(tests)}', flush=True)
        failed = 0
        for n, name in enumerate(tests, 1):
            title = name[len('test_'):].replace('_', ' ')
            try:
                getattr(self, name)()
                print(f'ok {n} - {title}')
            except Skip as e:
                print(f'ok {n} - {title} # SKIP {e}')
            except Exception as e:  # any error fails this check, not the others
                failed += 1
                print(f'not ok {n} - {title}')
                detail = str(e) if isinstance(e, AssertionError) else traceback.format_exc()
                for line in detail.splitlines():
                    print(f'# {line}')
            sys.stdout.flush()
        return failed


def main():
    p = argparse.ArgumentParser()
    # Installation directories come as absolute paths.
    for name in ('desktop', 'metainfo', 'mime', 'icon', 'man-zelmora', 'man-render', 'man-play', 'play',
                 'zelmora', 'meson',
                 'version', 'license', 'build-root', 'prefix', 'bindir', 'datadir', 'mandir'):
        p.add_argument('--' + name, required=True)
    p.add_argument('--render', default='')
    args = p.parse_args()
    with tempfile.TemporaryDirectory(prefix='zelmora-install-') as tmp:
        return 1 if Checks(args, tmp).run_all() else 0


if __name__ == '__main__':
    sys.exit(main())
