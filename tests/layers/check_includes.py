#!/usr/bin/env python3
"""Fails on an #include that points the wrong way between the project's layers and
components: each folder names the folders it may include from. The driver's layers go one way,
base -> client -> deliveries, pumps -> driver; the contracts between separately built binaries
(contract/, include/) include nothing of anyone's; no program reaches into another's sources.

    check_includes.py <source folder>
Prints one line per include that is not allowed; exit code 1 on any."""
import re
import subprocess
import sys
from pathlib import Path

root = Path(sys.argv[1] if len(sys.argv) > 1 else '.')

# Folder -> the folders its files may include from (itself always).
ALLOWED = {
    'base': set(), 'contract': set(), 'include': set(),
    'client': {'base', 'contract'},
    'deliveries': {'base', 'client'},
    'pumps': {'base', 'client'},
    'driver': {'base', 'client', 'deliveries', 'pumps', 'include'},
    'companion': {'include'},
    'trace': {'contract'},
    'sim/model': {'contract', 'trace'},
    'sim/dll': {'sim/model', 'contract'},
    'server': {'sim/model', 'contract'},
    'host_api': {'include'},
    # The program also judges traced deliveries by the driver's own rules.
    'host': {'host_api', 'include', 'contract', 'trace', 'base', 'deliveries'},
    'bench': {'host_api', 'include', 'contract', 'sim/model'},
    'examples': {'include'},
}
# Folders that are not code of a layer: the tests may include anything.
SKIPPED = ('tests/', 'packaging/', 'scripts/', 'docs/', 'cmake/')


def folder_of(path):
    """The table's folder that holds `path`, the longest that fits."""
    fits = [f for f in ALLOWED if path == f or path.startswith(f + '/')]
    return max(fits, key=len) if fits else None


def source_files():
    """The tree's C and C++ files: git's list, or a walk of a copy without .git."""
    listed = subprocess.run(['git', 'ls-files', '*.c', '*.cpp', '*.h'], cwd=root,
                            capture_output=True, text=True)
    if listed.returncode == 0:
        return listed.stdout.split()
    return sorted(str(p.relative_to(root)) for p in root.rglob('*')
                  if p.suffix in ('.c', '.cpp', '.h') and p.is_file()
                  and not str(p.relative_to(root)).startswith(('build/', '.git/')))


files = source_files()
problems = []
for name in files:
    if name.startswith(SKIPPED):
        continue
    own = folder_of(name)
    if own is None:
        problems.append(f'{name}: in no layer of the table; add its folder to {__file__}')
        continue
    for number, line in enumerate((root / name).read_text(errors='replace').splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
        if not m:
            continue
        target, beside = m.group(1), Path(name).parent / m.group(1)
        if '/' not in target:  # beside the file, or korvan.h through the include path
            target = str(beside) if (root / beside).exists() else 'include/' + target
        to = folder_of(target)
        if to is None and target.startswith('server/'):
            to = 'server'  # a header generated into the build folder
        if to != own and to not in ALLOWED[own]:
            problems.append(f'{name}:{number}: {own} includes "{m.group(1)}" ({to or "no layer"}); '
                            f'{own} may include only {sorted(ALLOWED[own] | {own})}')

print('\n'.join(problems + [
    f'{len(problems)} include(s) pointing the wrong way in {len(files)} files']))
sys.exit(1 if problems else 0)
