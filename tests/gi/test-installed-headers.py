#!/usr/bin/python3
"""Installs the build into a temporary DESTDIR and uses libvornadel as an
outside C program would: only through pkg-config and the installed headers.
Every installed header must compile on its own as C, the umbrella header must
name exactly the installed headers, no render internal may be installed, and
(outside sanitizer builds) a small program linked with `pkg-config --libs`
must render a note.  Prints TAP."""
import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile
import traceback

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
  vorn_synth_start (synth);
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


def run(cmd, env=None, timeout=120):
    p = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=timeout)
    return p.returncode, p.stdout, p.stderr


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Installed:
    def __init__(self, a, tmp):
        self.a, self.tmp = a, tmp
        self.destdir = os.path.join(tmp, 'destdir')

    def staged(self, path):
        return os.path.join(self.destdir, path.lstrip('/'))

    def pkg_config(self, *args):
        # The installed .pc file names the real prefix: use a copy whose
        # prefix points into the DESTDIR (--define-variable would move the
        # prefix of GLib's files too).
        pcdir = os.path.join(self.tmp, 'pkgconfig')
        if not os.path.isdir(pcdir):
            with open(os.path.join(self.staged(self.a.libdir), 'pkgconfig', 'vornadel.pc')) as f:
                text = f.read()
            check(re.search(r'^prefix=' + re.escape(self.a.prefix) + '$', text, re.M),
                  f'vornadel.pc has another prefix:\n{text}')
            os.mkdir(pcdir)
            with open(os.path.join(pcdir, 'vornadel.pc'), 'w') as f:
                f.write(re.sub(r'^prefix=.*$', 'prefix=' + self.staged(self.a.prefix), text,
                               count=1, flags=re.M))
        env = dict(os.environ)
        env['PKG_CONFIG_PATH'] = pcdir + os.pathsep + env.get('PKG_CONFIG_PATH', '')
        status, out, err = run(['pkg-config'] + list(args) + ['vornadel'], env=env)
        check(status == 0, f'pkg-config {" ".join(args)}: {err}')
        return out.split()

    def test_install(self):
        # No --no-rebuild: `meson test --suite gi` builds only what the tests
        # name, the install builds the rest.
        status, out, err = run([self.a.meson, 'install', '--quiet', '--destdir', self.destdir,
                                '--tags', 'devel,runtime,typelib', '-C', self.a.build_root],
                               timeout=580)
        check(status == 0, f'meson install:\n{out}{err}')
        self.incdir = os.path.join(self.staged(self.a.includedir), 'vornadel')
        check(os.path.isdir(self.incdir), f'no {self.incdir}')
        self.headers = sorted(f for f in os.listdir(self.incdir) if f.endswith('.h'))

    def test_pkg_config(self):
        check(self.pkg_config('--modversion') == [self.a.version], 'version')
        requires = set(self.pkg_config('--print-requires'))
        for req in ('glib-2.0', 'gobject-2.0', 'gio-2.0', 'json-glib-1.0'):
            check(req in requires, f'Requires lacks {req}: {requires}')
        check('-I' + self.incdir in self.pkg_config('--cflags'), 'Cflags miss the header folder')
        libs = self.pkg_config('--libs')
        check('-lvornadel' in libs, f'Libs: {libs}')

    def test_no_internals(self):
        internal = [h for h in self.headers if INTERNAL.search(h)]
        check(not internal, f'render internals installed: {internal}')

    def test_umbrella_names_installed_headers(self):
        with open(self.a.umbrella) as f:
            text = f.read()
        # Only the part outside the in-tree block is public.
        public = re.sub(r'#ifdef VORN_IN_TREE_INTERNALS.*?#endif', '', text, flags=re.S)
        named = set(re.findall(r'#include "([^"]+)"', public))
        installed = set(self.headers) - {'vornadel.h'}
        check(named == installed, f'vornadel.h names {sorted(named - installed)} not installed, '
              f'misses {sorted(installed - named)}')

    def test_headers_compile_as_c(self):
        cflags = self.pkg_config('--cflags')
        failed = []
        for h in self.headers:
            src = os.path.join(self.tmp, 'one.c')
            with open(src, 'w') as f:
                f.write(f'#include <{h}>\n')
            status, out, err = run(shlex.split(self.a.cc)
                                   + ['-std=c11', '-Wall', '-Wextra', '-Werror', '-c', src,
                                      '-o', os.devnull] + cflags)
            if status != 0:
                failed.append(f'{h}:\n{err}')
        check(not failed, 'headers that do not compile on their own as C:\n' + '\n'.join(failed))

    def test_program_links_and_plays(self):
        if self.a.sanitized == 'true':
            return 'skip sanitizer build: a plain C program cannot link the sanitized library'
        src = os.path.join(self.tmp, 'play.c')
        exe = os.path.join(self.tmp, 'play')
        with open(src, 'w') as f:
            f.write(PROGRAM)
        status, out, err = run(shlex.split(self.a.cc)
                               + ['-std=c11', '-Wall', '-Wextra', '-Werror', src, '-o', exe]
                               + self.pkg_config('--cflags', '--libs'))
        check(status == 0, f'compile and link:\n{err}')
        env = dict(os.environ)
        env['LD_LIBRARY_PATH'] = self.staged(self.a.libdir)
        status, out, err = run([exe], env=env)
        check(status == 0, f'the program played nothing (peak {out.strip()}):\n{err}')

    def test_introspection_files(self):
        if self.a.gir != 'true':
            return 'skip the build made no introspection data'
        gir = os.path.join(self.staged(self.a.datadir), 'gir-1.0', 'Vornadel-0.9.gir')
        typelib = os.path.join(self.staged(self.a.libdir), 'girepository-1.0', 'Vornadel-0.9.typelib')
        for path in (gir, typelib):
            check(os.path.isfile(path), f'not installed: {path}')
        with open(gir) as f:
            text = f.read()
        check('<package name="vornadel"/>' in text, 'the .gir names no pkg-config package')
        check('<c:include name="vornadel.h"/>' in text, 'the .gir names no header')


def main():
    p = argparse.ArgumentParser()
    # --cc is the compiler command, a launcher such as ccache included.
    for opt in ('meson', 'build-root', 'prefix', 'includedir', 'libdir', 'datadir', 'cc',
                'version', 'umbrella', 'sanitized', 'gir'):
        p.add_argument('--' + opt, required=True)
    a = p.parse_args()
    names = [n for n in Installed.__dict__ if n.startswith('test_')]
    print(f'1..{len(names)}')
    failed = 0
    with tempfile.TemporaryDirectory(prefix='vorn-installed-') as tmp:
        t = Installed(a, tmp)
        for i, name in enumerate(names, 1):
            try:
                skip = getattr(t, name)()
                print(f'ok {i} {name}' + (f' # {skip}' if skip else ''))
            except Exception:
                failed += 1
                print(f'not ok {i} {name}')
                for line in traceback.format_exc().splitlines():
                    print('# ' + line)
                if name == 'test_install':
                    for j, rest in enumerate(names[i:], i + 1):
                        print(f'not ok {j} {rest} # nothing installed')
                    failed += len(names) - i
                    break
    sys.stdout.flush()
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
