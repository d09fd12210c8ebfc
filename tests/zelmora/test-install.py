#!/usr/bin/python3
"""Installs the build into a temporary DESTDIR and checks what a system gets:
the freedesktop validators pass on the launcher and the software-centre
metadata, and the two agree with each other, the file type definition and
the project; GIO detects instrument files through a MIME database built from the
definition; every program has a manual page that renders cleanly and
lists the options its --help lists; the icons, no interface definitions
and no caches.  Prints TAP.

usage: test-install.py MESON BUILD_ROOT LICENSE"""
import os
import re
import shutil
import struct
import sys
import xml.etree.ElementTree as ET
from configparser import ConfigParser

from zelm_install import install_and_run, run

MIME_NS = '{http://www.freedesktop.org/standards/shared-mime-info}'
ICON_SIZES = (16, 32, 48, 64, 128, 256)
HELP_OPTION = re.compile(r'^\s+(?:-(\w), )?--([\w-]+)(?:=(\S+))?(?:\s|$)')

# The start of an instrument file as the program writes it.
INSTRUMENT = '{\n  "type" : "VornFile",\n  "name" : "Bank",\n  "format" : "Vornadel:Waves",\n'

MIME_SAMPLES = [  # (file name, content, detected as an instrument)
    ('x.vvi', INSTRUMENT, True),                     # by extension
    ('other.vvi', '[ 1, 2 ]\n', True),               # the extension alone decides
    ('instrument', INSTRUMENT, True),                # by content, no extension
    ('notes', '{ "format" : "other" }\n', False),    # other JSON stays what it was
]


class Files:
    """The desktop integration files as installed, found by the metainfo's id."""

    def __init__(self, s):
        share = s.dir('datadir')
        self.metainfo_path, = [os.path.join(share, 'metainfo', f) for f in os.listdir(os.path.join(share, 'metainfo'))]
        self.meta = ET.parse(self.metainfo_path).getroot()
        self.id = self.meta.findtext('id')
        self.desktop_path = os.path.join(share, 'applications', self.id + '.desktop')
        parser = ConfigParser(interpolation=None, strict=True)
        parser.optionxform = str
        parser.read(self.desktop_path, encoding='utf-8')
        self.desktop = parser['Desktop Entry']
        self.mime_path = os.path.join(share, 'mime', 'packages', self.id + '.xml')
        self.mime_type, = [t.get('type') for t in ET.parse(self.mime_path).getroot()]


def desktop_files(t, s, license):
    f = Files(s)
    # desktop-file-validate prints warnings but exits with 0.
    status, out, err = run(['desktop-file-validate', f.desktop_path])
    t.check(status == 0 and not (out + err).strip(), f'desktop-file-validate:\n{out}{err}')
    status, out, err = run(['appstreamcli', 'validate', '--no-net', '--explain', f.metainfo_path])
    t.check(status == 0, f'appstreamcli validate:\n{out}{err}')
    # They agree with each other, the file type and the project.
    t.check(f.meta.findtext('launchable') == f.id + '.desktop', 'metainfo launches another desktop file')
    t.check(f.desktop['Icon'] == f.id, f'Icon={f.desktop["Icon"]}, expected {f.id}')
    t.check(f.desktop['MimeType'] == f.mime_type + ';', f'MimeType={f.desktop["MimeType"]}, not {f.mime_type}')
    t.check([m.text for m in f.meta.iter('mediatype')] == [f.mime_type], 'metainfo provides another media type')
    t.check(f.meta.findtext('project_license') == license, 'metainfo and project licenses differ')
    # The newest release comes first.
    newest = f.meta.find('releases/release').get('version')
    t.check(newest == s.version, f'newest release in metainfo is {newest}, the project is {s.version}')
    # The launcher runs an installed program and hands it the files to open.
    program, *arguments = f.desktop['Exec'].split()
    t.check(os.access(s.dir('bindir', program), os.X_OK), f'Exec: {program} is not installed')
    t.check(set(arguments) & {'%f', '%F', '%u', '%U'}, f'Exec={f.desktop["Exec"]} takes no file')


def mime_detection(t, s):
    f = Files(s)
    share = os.path.join(s.tmp, 'share')
    shutil.copytree(os.path.dirname(f.mime_path), os.path.join(share, 'mime', 'packages'))
    # The system's database stays visible for application/json and the other
    # types the samples may be taken for.
    env = dict(os.environ, XDG_DATA_HOME=s.tmp, XDG_DATA_DIRS=share + ':/usr/share', XDG_CONFIG_HOME=s.tmp,
               XDG_CONFIG_DIRS=s.tmp)
    # It reports bad definitions on stderr but exits with 0, and drops the
    # elements it does not know.
    status, out, err = run(['update-mime-database', os.path.join(share, 'mime')], env=env)
    t.check(status == 0 and not (out + err).strip(), f'update-mime-database:\n{out}{err}')
    compiled = ET.parse(os.path.join(share, 'mime', f.mime_type + '.xml')).getroot()
    dropped = [e for e in ('comment', 'sub-class-of', 'generic-icon', 'glob') if compiled.find(MIME_NS + e) is None]
    t.check(not dropped, f'the compiled type lacks {dropped}')
    for name, content, instrument in MIME_SAMPLES:
        path = os.path.join(s.tmp, name)
        with open(path, 'w', encoding='utf-8') as out:
            out.write(content)
        status, out, err = run(['gio', 'info', '-a', 'standard::content-type', path], env=env)
        found = re.search(r'standard::content-type: (\S+)', out)
        found = found and found.group(1)
        t.check((found == f.mime_type) == instrument, f'{name} detected as {found}: {err}')


def help_options(text):
    """(short, long, argument) of every option --help lists under application
    options, and -h/--help; the --help-* variants are left out."""
    options, section = [], None
    for line in text.splitlines():
        if line.endswith('Options:'):
            section = line.strip()
        elif (m := HELP_OPTION.match(line)) and (section == 'Application Options:' or m.group(2) == 'help'):
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


def manual_pages(t, s):
    # The offline renderer is built only where its libraries are.
    man1 = s.dir('mandir', 'man1')
    programs = sorted({'zelmora', 'zelmora-play'} | ({'zelmora-render'} & set(os.listdir(s.dir('bindir')))))
    t.check(set(os.listdir(man1)) == {p + '.1' for p in programs}, f'{os.listdir(man1)} for {programs}')
    # The installed programs run with the installed library; --help exits
    # from inside option parsing, with everything still held.
    env = s.env(LC_ALL='C.UTF-8', MANPAGER='cat', MANWIDTH='80',
                ASAN_OPTIONS=os.environ.get('ASAN_OPTIONS', '') + ':detect_leaks=0')
    env.pop('DISPLAY', None)
    env.pop('WAYLAND_DISPLAY', None)
    for program in programs:
        page = os.path.join(man1, program + '.1')
        if not os.path.isfile(page):
            continue
        with open(page, encoding='utf-8') as f:
            th = f.readline()
        t.check(f'"Zelmora {s.version}"' in th, f'{page} is not for version {s.version}: {th}')
        status, out, err = run(['groff', '-man', '-Tutf8', '-ww', '-z', page])
        t.check(status == 0 and not (out + err).strip(), f'groff warnings for {page}:\n{err}')
        status, out, err = run(['man', '--warnings', '-l', page], env=env)
        t.check(status == 0 and not err.strip(), f'man -l {page}:\n{err}')

        status, out, err = run([s.dir('bindir', program), '--help'], env=env)
        listed = help_options(out)
        t.check(status == 0 and any(long != 'help' for _, long, _ in listed), f'{program} --help:\n{out}{err}')
        # On lines long enough not to wrap, with groff's typographic hyphens
        # and minus signs made plain.
        status, text, err = run(['groff', '-man', '-Tutf8', '-rLL=250n', '-P-cbou', page])
        text = text.replace('\u2010', '-').replace('\u2212', '-')
        forms = [(f'-{short}, ' if short else '') + f'--{long}' + (f'={arg}' if arg else '')
                 for short, long, arg in listed]
        t.check(all(form in text for form in forms), f'{page} lacks options of --help: {forms}')
        stale = sorted(set(man_option_tags(text)) - {long for _, long, _ in listed})
        t.check(not stale, f'{page} describes options that --help does not list: {stale}')


def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    return struct.unpack('>II', head[16:24]) if head[:8] == b'\x89PNG\r\n\x1a\n' else None


def installed_tree(t, s):
    prefix = s.dir('prefix')
    outside = [os.path.join(d, f) for d, _, fs in os.walk(s.destdir) for f in fs
               if not os.path.join(d, f).startswith(prefix + os.sep)]
    t.check(not outside, f'installed outside the prefix: {outside}')
    app_id, share = Files(s).id, s.dir('datadir')
    icons = os.path.join(share, 'icons', 'hicolor')
    t.check(os.path.isfile(os.path.join(icons, 'scalable', 'apps', app_id + '.svg')), 'no scalable icon')
    for size in ICON_SIZES:
        png = os.path.join(icons, f'{size}x{size}', 'apps', app_id + '.png')
        t.check(os.path.isfile(png) and png_size(png) == (size, size), f'{png}: no {size}x{size} PNG')
    # Interface definitions are compiled into the program; its artwork stays
    # on disk.
    ui = [f for _, _, fs in os.walk(os.path.join(share, 'zelmora')) for f in fs if f.endswith('.ui')]
    t.check(not ui, f'interface definitions installed: {ui}')
    t.check(os.path.isfile(os.path.join(share, 'zelmora', 'ui', 'zelmora-splash.png')), 'splash not installed')
    # No caches: those belong to the system that receives the files.
    for cache in ('mime/mime.cache', 'icons/hicolor/icon-theme.cache', 'applications/mimeinfo.cache'):
        t.check(not os.path.exists(os.path.join(share, cache)), f'{cache} installed')


if __name__ == '__main__':
    meson, build_root, license = sys.argv[1:4]
    sys.exit(install_and_run([
        ('launcher and metainfo', lambda t, s: desktop_files(t, s, license)),
        ('MIME detection', mime_detection),
        ('manual pages', manual_pages),
        ('installed tree', installed_tree),
    ], meson=meson, build_root=build_root))
