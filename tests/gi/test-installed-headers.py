#!/usr/bin/python3
"""Installs the build into a temporary DESTDIR and uses libvornadel as an
outside C program would: only through pkg-config and the installed headers.
Every installed header must compile on its own as C, the umbrella header must
name exactly the installed headers, no render internal may be installed, and
(outside sanitizer builds) a small program built with `pkg-config --cflags
--libs` must render a note.  Prints TAP.

usage: test-installed-headers.py MESON BUILD_ROOT CC GIR"""
import os
import re
import shlex
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'zelmora'))
from zelm_install import install_and_run, run  # noqa: E402

UMBRELLA = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'libvornadel', 'vornadel.h')

# Render internals: never installed.
INTERNAL = re.compile(r'(-private|-kernel|-lanes|-tsan|-eval|-scalar)\.h$|'
                      r'^vorn-(aligned|msg-queue|thread-pit|wave-gen|synth-ring)\.h$')

PROGRAM = r'''
#include <vornadel.h>
#include <stdio.h>

int
main (void)
{
  vorn_init ("Installed 0.9.0");
  VornSynth *synth = vorn_synth_cpu_new ();
  vorn_synth_start (synth, NULL);
  vorn_synth_set_inst (synth, 0, vorn_inst_new_default ());
  vorn_synth_note_on (synth, (guint16) vorn_synth_get_device_id (synth), 0, 0, 69, 127, NULL);
  float out[2 * 4800];
  float peak = 0;
  for (int block = 0; block < 4; block++)
    {
      vorn_synth_render_interleaved (synth, out, 4800);
      for (int i = 0; i < 2 * 4800; i++)
        peak = out[i] > peak ? out[i] : peak;
    }
  vorn_synth_stop (synth);
  g_object_unref (synth);
  printf ("%g\n", peak);
  return peak > 0.05f ? 0 : 1;
}
'''


def compile_c(s, source, output, link):
    """Compiles C @source into @output against the installed library, with
    warnings as errors, and links it if @link; returns (exit status, stdout,
    stderr)."""
    # The installed .pc file names the real prefix: pkg-config reads a copy
    # that points into the DESTDIR (--define-variable would move GLib's too).
    pcdir = os.path.join(s.tmp, 'pkgconfig')
    if not os.path.isdir(pcdir):
        with open(s.dir('libdir', 'pkgconfig', 'vornadel.pc')) as f:
            text = f.read().replace(f'prefix={s.configured("prefix")}\n', f'prefix={s.dir("prefix")}\n', 1)
        os.mkdir(pcdir)
        with open(os.path.join(pcdir, 'vornadel.pc'), 'w') as f:
            f.write(text)
    env = dict(os.environ, PKG_CONFIG_PATH=pcdir + os.pathsep + os.environ.get('PKG_CONFIG_PATH', ''))
    status, flags, err = run(['pkg-config', '--cflags'] + (['--libs'] if link else []) + ['vornadel'], env=env)
    if status != 0:
        return status, flags, err
    path = os.path.join(s.tmp, 'one.c')
    with open(path, 'w') as f:
        f.write(source)
    return run(shlex.split(CC) + ['-std=c11', '-Wall', '-Wextra', '-Werror', path, '-o', output]
               + ([] if link else ['-c']) + flags.split())


def headers(s):
    return sorted(f for f in os.listdir(s.dir('includedir', 'vornadel')) if f.endswith('.h'))


def public_headers(t, s):
    internal = [h for h in headers(s) if INTERNAL.search(h)]
    t.check(not internal, f'render internals installed: {internal}')
    with open(UMBRELLA) as f:
        # Only the part outside the in-tree block is public.
        public = re.sub(r'#ifdef VORN_IN_TREE_INTERNALS.*?#endif', '', f.read(), flags=re.S)
    named, installed = set(re.findall(r'#include "([^"]+)"', public)), set(headers(s)) - {'vornadel.h'}
    t.check(named == installed, f'vornadel.h names {sorted(named - installed)} not installed, '
            f'misses {sorted(installed - named)}')
    for h in headers(s):
        status, out, err = compile_c(s, f'#include <{h}>\n', os.devnull, False)
        t.check(status == 0, f'{h} does not compile on its own as C:\n{err}')


def program_plays(t, s):
    if s.options['b_sanitize'] != 'none':
        return 'a plain C program cannot link the sanitized library'
    exe = os.path.join(s.tmp, 'play')
    status, out, err = compile_c(s, PROGRAM, exe, True)
    if t.check(status == 0, f'compile and link:\n{err}'):
        status, out, err = run([exe], env=s.env())
        t.check(status == 0, f'the program played nothing (peak {out.strip()}):\n{err}')


def introspection_files(t, s):
    if GIR != 'true':
        return 'the build made no introspection data'
    typelib = s.dir('libdir', 'girepository-1.0', 'Vornadel-0.9.typelib')
    t.check(os.path.isfile(typelib), f'not installed: {typelib}')
    with open(s.dir('datadir', 'gir-1.0', 'Vornadel-0.9.gir')) as f:
        text = f.read()
    for line in ('<package name="vornadel"/>', '<c:include name="vornadel.h"/>'):
        t.check(line in text, f'the .gir lacks {line}')


if __name__ == '__main__':
    # CC is the compiler command, a launcher such as ccache included.
    meson, build_root, CC, GIR = sys.argv[1:5]
    sys.exit(install_and_run([
        ('public headers', public_headers),
        ('a program built with pkg-config plays', program_plays),
        ('introspection files', introspection_files),
    ], meson=meson, build_root=build_root, tags='devel,runtime,typelib', timeout=580))
