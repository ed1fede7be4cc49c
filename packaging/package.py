#!/usr/bin/env python3
"""Builds the release package of one Windows build, reproducibly.

    package.py --source DIR --build DIR --arch win32|win64 --version V
               --triple i686-w64-mingw32 --out DIR

Gives OUT/korvan-V-ARCH.zip (stripped binaries, declarations, docs, the
simulator, the tracing client library in tools/trace/, SHA256SUMS) and
OUT/korvan-V-ARCH-symbols.zip (each binary's debug information, at the
binary's own path plus .debug, which the stripped binary names in
.gnu_debuglink).
Members are sorted and carry the commit's time (SOURCE_DATE_EPOCH, else the
last commit's date), so the same commit gives the same bytes."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path


def contents(source, build, arch):
    """(name in the package, file) pairs; binaries are marked."""
    bin_ = build / 'bin'
    binaries = ['_Korvan.dll', 'QXClient.dll', 'korvan-host.exe']
    if arch == 'win32':
        binaries.append('_KorvanStd.dll')
    files = {name: bin_ / name for name in binaries}
    # The tracing QXClient.dll, for recording a station (its guide beside it).
    binaries.append('tools/trace/QXClient.dll')
    files['tools/trace/QXClient.dll'] = bin_ / 'trace/QXClient.dll'
    files.update({
        'tools/trace/recording-a-station.md': source / 'trace/recording-a-station.md',
        'scenarios/station.scenario': source / 'sim/scenarios/station.scenario',
        '_Korvan.ini': source / 'packaging/_Korvan.ini',
        'include/korvan.h': source / 'include/korvan.h',
        'include/Korvan.pas': source / 'include/Korvan.pas',
        'include/Korvan.cs': source / 'include/Korvan.cs',
        'docs/exports.md': source / 'docs/exports.md',
        'docs/simulator.md': source / 'sim/README.md',
        'examples/station_session.c': source / 'examples/station_session.c',
        'examples/example.scenario': source / 'examples/example.scenario',
        'README.md': source / 'README.md',
        'CHANGELOG.md': source / 'CHANGELOG.md',
    })
    if arch == 'win32':
        files['lib/_KorvanStd.lib'] = build / 'lib/_KorvanStd.lib'
    return files, set(binaries)


def epoch(source):
    if 'SOURCE_DATE_EPOCH' in os.environ:
        return int(os.environ['SOURCE_DATE_EPOCH'])
    out = subprocess.run(['git', '-C', str(source), 'log', '-1', '--format=%ct'],
                         capture_output=True, text=True, check=True)
    return int(out.stdout.strip())


def split_debug(triple, binary, stripped, debug, stamp):
    """Debug information to `debug`, the binary without it to `stripped`.
    objcopy stamps the PE headers it writes with SOURCE_DATE_EPOCH when set,
    else with the time of day."""
    objcopy = f'{triple}-objcopy'
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(stamp))
    subprocess.run([objcopy, '--only-keep-debug', str(binary), str(debug)],
                   check=True, env=env)
    subprocess.run([objcopy, '--strip-all',
                    f'--add-gnu-debuglink={debug}', str(binary), str(stripped)],
                   check=True, cwd=debug.parent, env=env)


def write_zip(path, top, members, stamp):
    """members: {name: bytes}; written sorted, with fixed times and modes."""
    date = time.gmtime(max(stamp, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(members):
            info = zipfile.ZipInfo(f'{top}/{name}', date_time=date)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 3
            z.writestr(info, members[name])


def main():
    ap = argparse.ArgumentParser()
    for option in ('source', 'build', 'arch', 'version', 'triple', 'out'):
        ap.add_argument('--' + option, required=True)
    a = ap.parse_args()
    source, build, out = (Path(p).resolve() for p in (a.source, a.build, a.out))
    files, binaries = contents(source, build, a.arch)
    missing = [str(f) for f in files.values() if not f.is_file()]
    if missing:
        sys.exit('package: missing ' + ', '.join(missing))
    stamp = epoch(source)
    top = f'korvan-{a.version}-{a.arch}'
    package, symbols = {}, {}
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        for name, file in files.items():
            if name in binaries:
                debug = work / 'debug' / (name + '.debug')
                stripped = work / 'stripped' / name
                debug.parent.mkdir(parents=True, exist_ok=True)
                stripped.parent.mkdir(parents=True, exist_ok=True)
                split_debug(a.triple, file, stripped, debug, stamp)
                package[name] = stripped.read_bytes()
                symbols[name + '.debug'] = debug.read_bytes()
            else:
                package[name] = file.read_bytes()
    sums = ''.join(f'{hashlib.sha256(package[n]).hexdigest()}  {n}\n'
                   for n in sorted(package))
    package['SHA256SUMS'] = sums.encode()
    out.mkdir(parents=True, exist_ok=True)
    for path, members in ((out / f'{top}.zip', package),
                          (out / f'{top}-symbols.zip', symbols)):
        write_zip(path, top, members, stamp)
        digest = hashlib.sha256(path.read_bytes()).hexdigest()
        print(f'{digest}  {path.name}')


if __name__ == '__main__':
    main()
