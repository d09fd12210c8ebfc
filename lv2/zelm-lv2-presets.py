#!/usr/bin/python3
"""Writes the bundle's manifest.ttl and presets.ttl: one preset per
instrument of the built-in bank, each holding a document with that
instrument alone, so that a preset restores as a saved session does.

Usage: zelm-lv2-presets.py BANK.vvi MODULE MANIFEST.ttl PRESETS.ttl"""
import json
import sys

PLUGIN = 'urn:zelmora:synth'
PREFIXES = '''@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix zelm: <urn:zelmora:synth#> .
'''


def turtle_string(text):
    out = text.replace('\\', '\\\\').replace('"', '\\"')
    return '"' + out.replace('\n', '\\n').replace('\r', '\\r').replace('\t', '\\t') + '"'


def preset_uri(number):
    return f'<urn:zelmora:synth:preset:{number:02d}>'


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    bank_path, module, manifest_path, presets_path = sys.argv[1:]
    with open(bank_path, encoding='utf-8') as f:
        bank = json.load(f)
    insts = [node for node in bank.get('nodes', []) if node.get('type') == 'VornInst']
    if not insts:
        sys.exit(f'{bank_path} holds no instrument')

    manifest = [PREFIXES,
                f'<{PLUGIN}>\n\ta lv2:Plugin , lv2:InstrumentPlugin ;\n'
                f'\tlv2:binary <{module}> ;\n\trdfs:seeAlso <zelmora.ttl> , <presets.ttl> .\n']
    presets = [PREFIXES]
    for number, inst in enumerate(insts, 1):
        document = {key: value for key, value in bank.items() if key not in ('nodes', 'uuid')}
        document['name'] = inst.get('name', f'Instrument {number}')
        document['nodes'] = [inst]
        text = json.dumps(document, ensure_ascii=False, separators=(',', ':'))
        label = turtle_string(document['name'])
        manifest.append(f'{preset_uri(number)}\n\ta pset:Preset ;\n\tlv2:appliesTo <{PLUGIN}> ;\n'
                        f'\trdfs:label {label} ;\n\trdfs:seeAlso <presets.ttl> .\n')
        presets.append(f'{preset_uri(number)}\n\ta pset:Preset ;\n\tlv2:appliesTo <{PLUGIN}> ;\n'
                       f'\trdfs:label {label} ;\n\tstate:state [\n'
                       f'\t\tzelm:instrument 0 ;\n\t\tzelm:document {turtle_string(text)}\n\t] .\n')
    with open(manifest_path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(manifest))
    with open(presets_path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(presets))


if __name__ == '__main__':
    main()
