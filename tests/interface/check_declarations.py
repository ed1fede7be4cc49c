#!/usr/bin/env python3
"""Checks the hosts' declarations of the driver's 26 operations against one another: the export
table (driver/Korvan.def), the stdcall companion's table (companion/_KorvanStd.def), korvan.h's
list of operations, Korvan.pas, Korvan.cs and the table of docs/exports.md. Each operation is
compared as (argument kinds, result), with kinds int, in (text in: `const char*`,
`const ...: PAnsiChar`, `string`), out (text out: `char*`, PAnsiChar, StringBuilder) and date;
and the buffer sizes of a delivery's ten text outputs in the page against the three files'
constants.

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


def read(path):
    return (root / path).read_text()


def def_names(path):
    pattern = r'^[ \t]+(\w+)(?:@(\d+))?(?:[ \t]+@(\d+))?[ \t]*$'
    return {m[1]: (m[2], m[3]) for m in re.finditer(pattern, read(path), re.M)}


def reference_page():
    """docs/exports.md: ordinal, arguments and result of each operation, from its table; the
    two long operations are checked by count only."""
    ops = {}
    for m in re.finditer(r'^\| (\d+) \| `((?:AUT|DRV)_\w+)` \| ([^|]*) \| ([^|]*) \|$',
                         read('docs/exports.md'), re.M):
        args = m.group(3).strip()
        counted = {'none': 0, 'eleven,': 11, 'eight,': 8}.get(args.split(' ')[0])
        kinds = ['*'] * counted if counted is not None else [
            k.group(1) if (k := re.search(r': (int|in|out)\b', a)) else f'?{a}'
            for a in args.split(';')]
        ops[m.group(2)] = (int(m.group(1)), kinds,
                           'none' if m.group(4).strip() == 'none' else 'bool')
    return ops


def c_kind(param):
    param = ' '.join(param.split())
    return next((kind for prefix, kind in {'int': 'int', 'const char*': 'in', 'char*': 'out',
                                           'double*': 'date'}.items()
                 if param == prefix or param.startswith(prefix + ' ')), f'?{param}')


def c_params(text):
    return [] if text.strip() in ('', 'void') else [p.strip() for p in text.split(',')]


def header():
    """korvan.h: its one list of the operations, from which every form is made, and the
    register convention's reordering of long lists."""
    text = read('include/korvan.h').replace('\\\n', ' ')
    ops = {}
    for m in re.finditer(r'X\((B|V), (\w+),\s*\(([^)]*)\),\s*\(([^)]*)\)\)', text):
        params = c_params(m.group(3))
        arguments = [a.strip() for a in m.group(4).split(',') if a.strip()]
        differ(f'korvan.h {m.group(2)}: arguments', arguments,
               [p.split()[-1].lstrip('*') for p in params])
        ops[m.group(2)] = ([c_kind(p) for p in params], 'bool' if m.group(1) == 'B' else 'none')
    # Register order: the first three in registers, the rest pushed left to right, which GCC's
    # regparm(3) stdcall is told as reversed.
    for n in (8, 11):
        m = re.search(r'#define KORVAN_ORDER_%d\(([^)]*)\)\s*\\?\s*\(([^)]*)\)' % n, text)
        natural, ordered = ([a.strip() for a in m.group(g).split(',')] if m else [] for g in (1, 2))
        differ(f'korvan.h KORVAN_ORDER_{n}', ordered, natural[:3] + natural[:2:-1])
    return ops


def pascal():
    ops = {}
    for m in re.finditer(r'(function|procedure) (\w+)(?:\(([^)]*)\))?(?:: (\w+))?;\s*register; '
                         r'external KorvanDll;', read('include/Korvan.pas')):
        kinds = []
        for group in filter(None, (m.group(3) or '').split(';')):
            names, _, type_ = group.partition(':')
            first = names.split()[0]
            kind = {'Integer': 'int', 'PAnsiChar': 'in' if first == 'const' else 'out',
                    'TDateTime': 'date' if first == 'var' else '?date not var'}
            kinds += [kind.get(type_.strip(), f'?{type_}')] * len(names.split(','))
        result = 'bool' if m.group(4) == 'Boolean' else \
            'none' if m.group(1) == 'procedure' else f'?{m.group(4)}'
        ops[m.group(2)] = (kinds, result)
    return ops


def csharp():
    classes = {}
    for cls in re.finditer(r'class (\w+)\s*\{\s*const string Dll = "([^"]+)";\s*const '
                           r'CallingConvention Convention = CallingConvention\.(\w+);(.*?)\n    \}',
                           read('include/Korvan.cs'), re.S):
        ops = {}
        for m in re.finditer(r'public static extern (\w+) (\w+)\(([^)]*)\);', cls.group(4)):
            types = [' '.join(p.split()[:-1]) for p in c_params(m.group(3))]
            ops[m.group(2)] = ([{'int': 'int', 'string': 'in', 'StringBuilder': 'out',
                                 'out double': 'date'}.get(t, f'?{t}') for t in types],
                               'none' if m.group(1).strip() == 'void' else 'bool')
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
        differ(f'_KorvanStd.def {name}: bytes of arguments', suffix, str(4 * len(std[name][0])))
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
# The buffer sizes of a delivery's outputs, argument by argument: the page's table against the
# constants of korvan.h, Korvan.pas and Korvan.cs.
DELIVERY_TEXTS = ['Nozzle'] + ['Number'] * 5 + ['Time', 'Short', 'Code', 'Empty']
UPPER, CAMEL = '{upper}_TEXT', '{word}Text'
page_sizes = {int(m.group(1)): m.group(2) for m in re.finditer(
    r'^\| (\d+) \| [^|]*\| out (\d+) \|', read('docs/exports.md'), re.M)}
for where, pattern, path, name_of in (
        ('korvan.h KORVAN_{}_SIZE', r'#define KORVAN_(\w+)_SIZE (\d+)', 'include/korvan.h', UPPER),
        ('Korvan.pas KORVAN_{}_SIZE', r'KORVAN_(\w+)_SIZE = (\d+);', 'include/Korvan.pas', UPPER),
        ('Korvan.cs Sizes.{}', r'public const int (\w+) = (\d+);', 'include/Korvan.cs', CAMEL)):
    found = dict(re.findall(pattern, read(path)))
    for argument, word in enumerate(DELIVERY_TEXTS, 1):
        name = name_of.format(word=word, upper=word.upper())
        differ(f'{where.format(name)} (delivery argument {argument})', found.get(name),
               page_sizes.get(argument))

classes = csharp()
differ('Korvan.cs: classes', {c: v[:2] for c, v in classes.items()},
       {'KorvanStd': ('_KorvanStd.dll', 'StdCall'), 'Korvan64': ('_Korvan.dll', 'Winapi')})
for cls, (_, _, ops) in classes.items():
    compare(f'Korvan.cs {cls}', ops, std)

print('\n'.join(problems + [
    f'{len(problems)} difference(s) among the declarations of {len(exports)} exports']))
sys.exit(1 if problems else 0)
