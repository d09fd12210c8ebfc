"""What the tests of the installed tree share: `meson install` into a
temporary DESTDIR with the build's configured directories, running commands,
and TAP cases whose failed checks fail the case without ending it."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import traceback


def run(cmd, env=None, timeout=120):
    """Runs @cmd and returns (exit status, stdout, stderr) as text."""
    p = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=timeout)
    return p.returncode, p.stdout, p.stderr


class Staged:
    """The build in @build_root installed under a temporary DESTDIR, removed
    by close().  Raises RuntimeError when the install fails."""

    def __init__(self, meson, build_root, tags=None, rebuild=True, timeout=280):
        info = os.path.join(build_root, 'meson-info')
        with open(os.path.join(info, 'intro-buildoptions.json')) as f:
            self.options = {o['name']: o['value'] for o in json.load(f)}
        with open(os.path.join(info, 'intro-projectinfo.json')) as f:
            self.version = json.load(f)['version']
        self.tmp = tempfile.mkdtemp(prefix='zelmora-install-')
        self.destdir = os.path.join(self.tmp, 'destdir')
        # `meson test` builds only what the tests name; without --no-rebuild
        # the install builds the rest.
        cmd = [meson, 'install', '--quiet', '--destdir', self.destdir, '-C', build_root]
        cmd += (['--tags', tags] if tags else []) + ([] if rebuild else ['--no-rebuild'])
        status, out, err = run(cmd, timeout=timeout)
        if status != 0:
            self.close()
            raise RuntimeError(f'meson install:\n{out}{err}')

    def configured(self, option):
        """The directory @option ('prefix', 'bindir', ...) as configured."""
        return os.path.join(self.options['prefix'], self.options[option])

    def dir(self, option, *parts):
        """The directory @option (and @parts below it) under the DESTDIR."""
        return os.path.join(self.destdir, self.configured(option).lstrip('/'), *parts)

    def env(self, **extra):
        """The environment for the installed programs: their run path names
        the real prefix, not the DESTDIR."""
        return dict(os.environ, LD_LIBRARY_PATH=self.dir('libdir'), **extra)

    def close(self):
        shutil.rmtree(self.tmp, ignore_errors=True)


class Tap:
    """TAP output for cases run one after another.  check() records a failed
    expectation and lets the case go on; a case fails when one did or when it
    raised."""

    def __init__(self, count):
        print(f'1..{count}', flush=True)
        self.number, self.failed, self.problems = 0, 0, []

    def check(self, ok, what):
        if not ok:
            self.problems.append(what)
        return ok

    def case(self, title, body, *args):
        """Runs body(*args); a string it returns is why it skipped."""
        self.number, self.problems, skip = self.number + 1, [], None
        try:
            skip = body(*args)
        except Exception:  # a crash fails this case, not the run
            self.problems.append(traceback.format_exc())
        self.failed += bool(self.problems)
        print(f'{"not ok" if self.problems else "ok"} {self.number} - {title}' + (f' # SKIP {skip}' if skip else ''))
        for line in '\n'.join(self.problems).splitlines():
            print(f'# {line}')
        sys.stdout.flush()


def install_and_run(cases, **staged):
    """Installs the build (Staged's arguments), runs @cases, pairs of a title
    and body(tap, staged), and returns the exit status."""
    tap = Tap(1 + len(cases))
    installed = []
    tap.case('meson install', lambda: installed.append(Staged(**staged)))
    try:
        for title, body in cases:
            tap.case(title, body if installed else lambda t: 'nothing installed', tap, *installed)
    finally:
        for s in installed:
            s.close()
    return 1 if tap.failed else 0
