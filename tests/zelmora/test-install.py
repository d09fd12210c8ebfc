#!/usr/bin/python3
"""Installs the build into a temporary DESTDIR and checks what a system gets:
the software-centre metadata validates and agrees with the launcher and the
project; every program has a manual page that lists the options its --help
lists; the icons, no interface definitions and no caches.  Prints TAP.

usage: test-install.py MESON BUILD_ROOT"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET
from configparser import ConfigParser

from zelm_install import install_and_run, run

ICON_SIZES = (16, 32, 48, 64, 128, 256)
HELP_OPTION = re.compile(r'^\s+(?:-(\w), )?--([\w-]+)(?:=(\S+))?(?:\s|$)')


def metainfo(s):
    """The one installed metainfo file: its path and its root element."""
    name, = os.listdir(s.dir('datadir', 'metainfo'))
    path = s.dir('datadir', 'metainfo', name)
    return path, ET.parse(path).getroot()


def desktop_files(t, s):
    metainfo_path, meta = metainfo(s)
    app_id = meta.findtext('id')
    status, out, err = run(['appstreamcli', 'validate', '--no-net', '--explain', metainfo_path])
    t.check(status == 0, f'appstreamcli validate:\n{out}{err}')
    # The newest release comes first.
    newest = meta.find('releases/release').get('version')
    t.check(newest == s.version, f'newest release in metainfo is {newest}, the project is {s.version}')
    parser = ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    parser.read(s.dir('datadir', 'applications', app_id + '.desktop'), encoding='utf-8')
    desktop = parser['Desktop Entry']
    t.check(desktop['Icon'] == app_id, f'Icon={desktop["Icon"]}, expected {app_id}')
    # The launcher runs an installed program and hands it the files to open.
    program, *arguments = desktop['Exec'].split()
    t.check(os.access(s.dir('bindir', program), os.X_OK), f'Exec: {program} is not installed')
    t.check(set(arguments) & {'%f', '%F', '%u', '%U'}, f'Exec={desktop["Exec"]} takes no file')


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


def manual_pages(t, s):
    # The offline renderer is built only where its libraries are.
    man1 = s.dir('mandir', 'man1')
    programs = sorted({'zelmora', 'zelmora-play'} | ({'zelmora-render'} & set(os.listdir(s.dir('bindir')))))
    t.check(set(os.listdir(man1)) == {p + '.1' for p in programs}, f'{os.listdir(man1)} for {programs}')
    # The installed programs run with the installed library; --help exits
    # from inside option parsing, with everything still held.
    env = s.env(ASAN_OPTIONS=os.environ.get('ASAN_OPTIONS', '') + ':detect_leaks=0')
    env.pop('DISPLAY', None)
    env.pop('WAYLAND_DISPLAY', None)
    for program in programs:
        page = os.path.join(man1, program + '.1')
        status, out, err = run([s.dir('bindir', program), '--help'], env=env)
        listed = help_options(out)
        t.check(status == 0 and any(long != 'help' for _, long, _ in listed), f'{program} --help:\n{out}{err}')
        # On lines long enough not to wrap, with groff's typographic hyphens
        # and minus signs made plain.
        status, text, err = run(['groff', '-man', '-Tutf8', '-rLL=250n', '-P-cbou', page])
        text = text.replace('\u2010', '-').replace('\u2212', '-')
        forms = [(f'-{short}, ' if short else '') + f'--{long}' + (f'={arg}' if arg else '')
                 for short, long, arg in listed]
        t.check(status == 0 and all(form in text for form in forms), f'{page} lacks options of --help: {forms}')


def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    return struct.unpack('>II', head[16:24]) if head[:8] == b'\x89PNG\r\n\x1a\n' else None


def installed_tree(t, s):
    prefix = s.dir('prefix')
    outside = [os.path.join(d, f) for d, _, fs in os.walk(s.destdir) for f in fs
               if not os.path.join(d, f).startswith(prefix + os.sep)]
    t.check(not outside, f'installed outside the prefix: {outside}')
    app_id, share = metainfo(s)[1].findtext('id'), s.dir('datadir')
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
    meson, build_root = sys.argv[1:3]
    sys.exit(install_and_run([
        ('launcher and metainfo', desktop_files),
        ('manual pages', manual_pages),
        ('installed tree', installed_tree),
    ], meson=meson, build_root=build_root))
