#!/usr/bin/python3
"""Checks the layer order of the engine's and the application's folders:
every #include "..." names a header of the including file's own layer or of
a layer below it.

Engine (libvornadel/): util, model, curve, gen, synth, driver, then the
umbrella header and vorn-init.cpp in libvornadel/ itself; kernel folders
belong to their parent's layer; an engine file includes engine headers only
(never the application's).  Application (zelmora/): models, widgets, then
zelmora/ itself (window, actions, application); the whole engine lies below
it, and headers found in neither tree (generated ones) are left alone.

Usage: test-layers.py LIBVORNADEL-DIR [ZELMORA-DIR].  Prints every include
that climbs and fails if there is one."""
import os
import re
import sys

# Lowest first.  '' is the root folder itself.
ENGINE_LAYERS = ['util', 'model', 'curve', 'gen', 'synth', 'driver', '']
APP_LAYERS = ['models', 'widgets', '']

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(root, path):
    folder = os.path.relpath(os.path.dirname(path), root).split(os.sep)[0]
    return '' if folder == '.' else folder


def scan(root, layers, problems):
    """The sources below @root and their headers by name; reports folders
    outside @layers and headers named twice."""
    headers, sources = {}, []
    for folder, _, files in os.walk(root):
        for name in files:
            if name.endswith(('.h', '.cpp', '.c')):
                path = os.path.join(folder, name)
                sources.append(path)
                if name.endswith('.h'):
                    if name in headers:
                        problems.append(f'two headers named {name}: {headers[name]} and {path}')
                    headers[name] = path
    unknown = sorted({l for l in (layer_of(root, p) for p in sources) if l not in layers})
    if unknown:
        problems.append(f'folders without a layer in {root}: {unknown}; add them to its layers')
    return headers, [p for p in sources if layer_of(root, p) in layers]


def check(root, layers, headers, sources, below, problems):
    """Checks every include of @sources; @below holds the headers of the
    trees underneath (None: anything else is an error).  Returns the count
    of includes checked."""
    checked = 0
    for path in sorted(sources):
        with open(path, encoding='utf-8') as f:
            text = f.read()
        own = layers.index(layer_of(root, path))
        rel = os.path.relpath(path, os.path.dirname(root))
        for name in INCLUDE.findall(text):
            base = os.path.basename(name)
            target = headers.get(base)
            if target is None:
                if below is not None and base in below:
                    checked += 1
                elif below is None:
                    problems.append(f'{rel}: includes "{name}", which is no engine header')
                continue
            checked += 1
            theirs = layers.index(layer_of(root, target))
            if theirs > own:
                problems.append(f'{rel} ({layers[own] or "top"}) includes "{name}" '
                                f'from {layers[theirs] or "top"}')
    return checked


def main():
    problems = []
    engine = os.path.abspath(sys.argv[1])
    engine_headers, engine_sources = scan(engine, ENGINE_LAYERS, problems)
    checked = check(engine, ENGINE_LAYERS, engine_headers, engine_sources, None, problems)
    files = len(engine_sources)
    if len(sys.argv) > 2:
        app = os.path.abspath(sys.argv[2])
        app_headers, app_sources = scan(app, APP_LAYERS, problems)
        for name in app_headers.keys() & engine_headers.keys():
            problems.append(f'{name} names both an engine and an application header')
        app_checked = check(app, APP_LAYERS, app_headers, app_sources, engine_headers, problems)
        if app_checked == 0:
            problems.append(f'no includes found in {app}')
        checked += app_checked
        files += len(app_sources)

    for p in problems:
        print(p)
    print(f'{checked} includes checked in {files} files')
    return 1 if problems or checked == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
