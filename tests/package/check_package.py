#!/usr/bin/env python3
"""Builds the release package twice and checks it: the same bytes both times, the archives' own
sums beside them, the expected members and nothing else, SHA256SUMS right for every member,
binaries stripped (their debug information in the symbols archive, named by .gnu_debuglink),
for the right machine, with a version resource that carries the copyright.

    check_package.py --arch win32|win64 --version V -- <package command...>
The package command is run with --out <folder> appended."""
import argparse
import hashlib
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

TEXTS = ['CHANGELOG.md', 'LICENSE', 'README.md', '_Korvan.ini', 'docs/exports.md',
         'docs/simulator.md', 'docs/troubleshooting.md', 'examples/example.scenario',
         'examples/station_session.c', 'include/Korvan.cs', 'include/Korvan.pas',
         'include/korvan.h', 'lib/_Korvan.def', 'lib/_Korvan.lib',
         'simulator/scenarios/station.scenario', 'tools/trace/recording-a-station.md', 'SHA256SUMS']
# The simulated QXClient.dll only in simulator/: nothing at the root may stand in for a
# station's real client library.
SHARED = ['simulator/QXClient.dll', 'simulator/_Korvan.dll', 'simulator/korvan-host.exe',
          'tools/trace/QXClient.dll']
BINARIES = {'win32': ['_Korvan.dll', '_KorvanStd.dll'] + SHARED, 'win64': ['_Korvan.dll'] + SHARED}
EXTRA = {'win32': ['lib/_KorvanStd.def', 'lib/_KorvanStd.lib'], 'win64': []}
# The simulator has control exports; the tracer, in front of a real library, must have nothing
# that the real one lacks.
CONTROL_EXPORT = b'SimReset'
TRACER = 'tools/trace/QXClient.dll'
MACHINE = {'win32': 0x14C, 'win64': 0x8664}
problems = []


def check(what, got, wanted):
    if got != wanted:
        problems.append(f'{what}: got {got!r}, wanted {wanted!r}')


def sections(image):
    """(machine, number of COFF symbols, section names) of a PE image. A name longer than 8
    characters is "/offset" into the string table that follows the symbols."""
    pe = struct.unpack_from('<I', image, 0x3C)[0]
    machine, count, _, table, symbols, optional, _ = struct.unpack_from('<HHIIIHH', image, pe + 4)
    strings, first, names = table + 18 * symbols, pe + 24 + optional, []
    for i in range(count):
        name = image[first + 40 * i:first + 40 * i + 8].rstrip(b'\0')
        if name.startswith(b'/'):
            start = strings + int(name[1:])
            name = image[start:image.index(b'\0', start)]
        names.append(name.decode())
    return machine, symbols, names


def check_binary(arch, name, image, symbols_zip, top):
    """`name` is the binary's path in the package; its debug file has the same path plus .debug
    in the symbols archive, and its own name in the link."""
    base = Path(name).name
    machine, symbols, names = sections(image)
    check(f'{name}: machine', hex(machine), hex(MACHINE[arch]))
    check(f'{name}: COFF symbols', symbols, 0)
    check(f'{name}: debug sections', [n for n in names if n.startswith('.debug')], [])
    check(f'{name}: has .gnu_debuglink', '.gnu_debuglink' in names, True)
    check(f'{name}: debug file named in the link', f'{base}.debug'.encode() in image, True)
    if base == 'QXClient.dll':
        check(f'{name}: control exports', CONTROL_EXPORT in image, name != TRACER)
    for text in ('FileVersion', '3.37', base, 'LegalCopyright',
                 'Copyright (c) 2026 Korvan developers'):
        check(f'{name}: version resource holds {text!r}', text.encode('utf-16-le') in image, True)
    check(f'{name}: symbols archive has its debug file',
          f'{top}/{name}.debug' in symbols_zip.namelist(), True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--arch', required=True)
    ap.add_argument('--version', required=True)
    ap.add_argument('command', nargs='+')
    a = ap.parse_args()
    top = f'korvan-{a.version}-{a.arch}'
    with tempfile.TemporaryDirectory() as work:
        runs = [Path(work) / str(n) for n in (1, 2)]
        for out in runs:
            subprocess.run(a.command + ['--out', str(out)], check=True, stdout=subprocess.DEVNULL)
        zips = (f'{top}.zip', f'{top}-symbols.zip')
        digest = lambda path: hashlib.sha256(path.read_bytes()).hexdigest()
        for zip_name in zips:
            check(f'{zip_name}: same bytes when built twice', *(digest(r / zip_name) for r in runs))
        # The archives' own sums, as sha256sum -c reads them.
        sums_file = runs[0] / f'{top}.sha256'
        check(f'{top}.sha256', sums_file.read_text().splitlines() if sums_file.is_file() else [],
              [f'{digest(runs[0] / z)}  {z}' for z in zips])
        package, symbols = (zipfile.ZipFile(runs[0] / z) for z in zips)
        wanted = TEXTS + BINARIES[a.arch] + EXTRA[a.arch]
        check('members', sorted(package.namelist()), sorted(f'{top}/{n}' for n in wanted))
        check('members in sorted order', package.namelist(), sorted(package.namelist()))
        lines = package.read(f'{top}/SHA256SUMS').decode().splitlines()
        sums = {name: listed for listed, _, name in (line.partition('  ') for line in lines)}
        check('names in SHA256SUMS', sorted(sums), sorted(n for n in wanted if n != 'SHA256SUMS'))
        for name, listed in sums.items():
            if f'{top}/{name}' in package.namelist():
                check(f'SHA256SUMS of {name}', listed,
                      hashlib.sha256(package.read(f'{top}/{name}')).hexdigest())
        for name in BINARIES[a.arch]:
            check_binary(a.arch, name, package.read(f'{top}/{name}'), symbols, top)
        check('symbols archive members', len(symbols.namelist()), len(BINARIES[a.arch]))
    print('\n'.join(problems + [f'{len(problems)} problem(s) in {top}']))
    sys.exit(1 if problems else 0)


if __name__ == '__main__':
    main()
