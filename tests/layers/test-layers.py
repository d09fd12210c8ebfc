#!/usr/bin/python3
"""Checks the layer order of the engine's folders: every #include "..." in
libvornadel/ names a header of the including file's own layer or of a layer
below it.  Kernel folders belong to their parent's layer; the umbrella header
and vorn-init.cpp in libvornadel/ itself sit on top.  Prints every include
that climbs and fails if there is one."""
import os
import re
import sys

# Lowest first.  '' is libvornadel/ itself.
LAYERS = ['util', 'model', 'curve', 'gen', 'synth', 'driver', '']

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(root, path):
    folder = os.path.relpath(os.path.dirname(path), root).split(os.sep)[0]
    return '' if folder == '.' else folder


def main():
    root = os.path.abspath(sys.argv[1])
    headers = {}
    sources = []
    for folder, _, files in os.walk(root):
        for name in files:
            if name.endswith(('.h', '.cpp', '.c')):
                path = os.path.join(folder, name)
                sources.append(path)
                if name.endswith('.h'):
                    if name in headers:
                        print(f'two headers named {name}: {headers[name]} and {path}')
                        return 1
                    headers[name] = path

    unknown = [l for l in {layer_of(root, p) for p in sources} if l not in LAYERS]
    if unknown:
        print(f'folders without a layer: {unknown}; add them to LAYERS')
        return 1

    problems = []
    checked = 0
    for path in sorted(sources):
        with open(path, encoding='utf-8') as f:
            text = f.read()
        own = LAYERS.index(layer_of(root, path))
        for name in INCLUDE.findall(text):
            target = headers.get(os.path.basename(name))
            rel = os.path.relpath(path, root)
            if target is None:
                problems.append(f'{rel}: includes "{name}", which is no engine header')
                continue
            checked += 1
            theirs = LAYERS.index(layer_of(root, target))
            if theirs > own:
                problems.append(f'{rel} ({LAYERS[own] or "top"}) includes "{name}" '
                                f'from {LAYERS[theirs] or "top"}')

    for p in problems:
        print(p)
    print(f'{checked} includes checked in {len(sources)} files')
    return 1 if problems or checked == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
