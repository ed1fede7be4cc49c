#!/usr/bin/env python3
"""Checks the hosts' declarations of the driver's 26 operations against one
another: the export table (driver/Korvan.def), the stdcall companion's table
(companion/_KorvanStd.def), korvan.h's list of operations, Korvan.pas,
Korvan.cs and the table of docs/exports.md. Each operation is compared as
(argument kinds, result), with kinds int, in (text in: `const char*`,
`const ...: PAnsiChar`, `string`), out (text out: `char*`, PAnsiChar,
StringBuilder) and date.

    check_declarations.py <source folder>
Prints one line per difference, got against wanted; exit code 1 on any."""
import re
import sys
from pathlib import Path

root = Path(sys.argv[1] if len(sys.argv) > 1 else '.')
problems = []


def differ(where, got, wanted):
    if got != wanted:
        problems.append(f'{where}: got {got}, wanted {wanted}')


def def_names(path):
    names = {}
    for line in (root / path).read_text().splitlines():
        m = re.match(r'\s+(\w+)(?:@(\d+))?(?:\s+@(\d+))?\s*$', line)
        if m:
            names[m.group(1)] = (m.group(2), m.group(3))
    return names


def reference_page():
    """docs/exports.md: ordinal, arguments and result of each operation, from
    its table; the two long operations are checked by count only."""
    ops = {}
    for m in re.finditer(r'^\| (\d+) \| `((?:AUT|DRV)_\w+)` \| ([^|]*) \| ([^|]*) \|$',
                         (root / 'docs/exports.md').read_text(), re.M):
        args = m.group(3).strip()
        if args == 'none':
            kinds = []
        elif args.startswith(('eleven', 'eight')):
            kinds = ['*'] * (11 if args.startswith('eleven') else 8)
        else:
            kinds = [re.search(r': (int|in|out)\b', a).group(1)
                     if re.search(r': (int|in|out)\b', a) else f'?{a}'
                     for a in args.split(';')]
        result = 'none' if m.group(4).strip() == 'none' else 'bool'
        ops[m.group(2)] = (int(m.group(1)), kinds, result)
    return ops


def c_kind(param):
    param = ' '.join(param.split())
    table = {'int': 'int', 'const char*': 'in', 'char*': 'out',
             'double*': 'date'}
    for prefix, kind in table.items():
        if param == prefix or param.startswith(prefix + ' '):
            return kind
    return f'?{param}'


def c_params(text):
    text = text.strip()
    return [] if text in ('', 'void') else [p.strip() for p in text.split(',')]


def c_result(text):
    return 'none' if text.strip() == 'void' else 'bool'


def header():
    """korvan.h: its one list of the operations, from which every form is
    made, and the register convention's reordering of long lists."""
    text = (root / 'include/korvan.h').read_text().replace('\\\n', ' ')
    ops = {}
    for m in re.finditer(r'X\((B|V), (\w+),\s*\(([^)]*)\),\s*\(([^)]*)\)\)', text):
        params = c_params(m.group(3))
        names = [p.split()[-1].lstrip('*') for p in params]
        arguments = [a.strip() for a in m.group(4).split(',') if a.strip()]
        differ(f'korvan.h {m.group(2)}: arguments', arguments, names)
        ops[m.group(2)] = ([c_kind(p) for p in params],
                           'bool' if m.group(1) == 'B' else 'none')
    # Register order: the first three in registers, the rest pushed left to
    # right, which GCC's regparm(3) stdcall is told as reversed.
    for n in (8, 11):
        m = re.search(r'#define KORVAN_ORDER_%d\(([^)]*)\)\s*\\?\s*\(([^)]*)\)' % n, text)
        natural = [a.strip() for a in m.group(1).split(',')] if m else []
        ordered = [a.strip() for a in m.group(2).split(',')] if m else []
        differ(f'korvan.h KORVAN_ORDER_{n}', ordered, natural[:3] + natural[:2:-1])
    return ops


def pascal():
    text = (root / 'include/Korvan.pas').read_text()
    ops = {}
    for m in re.finditer(r'(function|procedure) (\w+)(?:\(([^)]*)\))?'
                         r'(?:: (\w+))?;\s*register; external KorvanDll;',
                         text):
        kinds = []
        for group in filter(None, (m.group(3) or '').split(';')):
            names, _, type_ = group.partition(':')
            words = names.split()
            count = len(names.split(','))
            kind = {'Integer': 'int', 'PAnsiChar': 'text',
                    'TDateTime': 'date'}.get(type_.strip(), f'?{type_}')
            if kind == 'date' and words[0] != 'var':
                kind = '?date not var'
            if kind == 'text':
                kind = 'in' if words[0] == 'const' else 'out'
            kinds += [kind] * count
        result = 'bool' if m.group(4) == 'Boolean' else \
            'none' if m.group(1) == 'procedure' else f'?{m.group(4)}'
        ops[m.group(2)] = (kinds, result)
    return ops


def csharp():
    text = (root / 'include/Korvan.cs').read_text()
    classes = {}
    for cls in re.finditer(r'class (\w+)\s*\{\s*const string Dll = "([^"]+)";'
                           r'\s*const CallingConvention Convention = '
                           r'CallingConvention\.(\w+);(.*?)\n    \}',
                           text, re.S):
        ops = {}
        for m in re.finditer(r'public static extern (\w+) (\w+)\(([^)]*)\);',
                             cls.group(4)):
            kinds = []
            for p in c_params(m.group(3)):
                type_ = ' '.join(p.split()[:-1])
                kinds.append({'int': 'int', 'string': 'in',
                              'StringBuilder': 'out',
                              'out double': 'date'}.get(type_, f'?{type_}'))
            ops[m.group(2)] = (kinds, c_result(m.group(1)))
        classes[cls.group(1)] = (cls.group(2), cls.group(3), ops)
    return classes


def compare(where, got, wanted):
    differ(f'{where}: operations', sorted(got), sorted(wanted))
    for name in sorted(set(got) & set(wanted)):
        differ(f'{where} {name}', got[name], wanted[name])


exports = def_names('driver/Korvan.def')
differ('Korvan.def: number of exports', len(exports), 26)
std = header()
compare('korvan.h', std, {n: std.get(n) for n in exports})
companion = def_names('companion/_KorvanStd.def')
differ('_KorvanStd.def: names', sorted(companion), sorted(exports))
for name, (suffix, _) in companion.items():
    if name in std:
        differ(f'_KorvanStd.def {name}: bytes of arguments', suffix,
               str(4 * len(std[name][0])))
compare('Korvan.pas', pascal(), std)
page = reference_page()
differ('exports.md: operations', sorted(page), sorted(exports))
for name, (ordinal, kinds, result) in page.items():
    if name in exports:
        differ(f'exports.md {name}: ordinal', str(ordinal), exports[name][1])
    if name in std:
        wanted = std[name]
        if '*' in kinds:
            wanted = (['*'] * len(wanted[0]), wanted[1])
        differ(f'exports.md {name}', (kinds, result), wanted)
classes = csharp()
differ('Korvan.cs: classes', {c: v[:2] for c, v in classes.items()},
       {'KorvanStd': ('_KorvanStd.dll', 'StdCall'),
        'Korvan64': ('_Korvan.dll', 'Winapi')})
for cls, (_, _, ops) in classes.items():
    compare(f'Korvan.cs {cls}', ops, std)

for line in problems:
    print(line)
print(f'{len(problems)} difference(s) among the declarations of '
      f'{len(exports)} exports')
sys.exit(1 if problems else 0)
