#!/usr/bin/env python3
"""Fails when docs/exports.md does not list a text that the driver can write to its log.

Every string literal of the driver's sources (base/, client/, deliveries/, pumps/, driver/) is
taken as a log text, or a part of one, unless it is listed below as something else: so a log
line added anywhere, through whatever helper, is caught. Literals without a letter (separators,
digits) and those of asm statements, static_assert and extern "C" are not texts. A text is
listed when it stands, exactly, inside a "quoted" or `code` span of the page (a line break in
the page reads as one blank).

    check_log_texts.py <source folder> [--list]
Prints each text that the page lacks, with where it is written; exit code 1 on any. --list
prints every text taken, with its place."""
import re
import sys
from pathlib import Path

FOLDERS = ['base', 'client', 'deliveries', 'pumps', 'driver']

# Literals of the driver that never reach the log, by file.
NOT_LOGGED = {
    **{('base/number_texts.cpp', text): 'number text of a value that is not finite'
       for text in ('-NAN', 'NAN', '-INF', 'INF')},
    ('base/number_texts.h', 'm/d/yy'): "short date format when Windows gives none",
    ('base/platform_win.cpp', 'Korvan'): "the message box's title",
    ('deliveries/delivery_texts.cpp', '0123456789ABCDEF'): 'hexadecimal digits',
}

LITERAL = r'"(?:\\.|[^"\\\n])*"'
# A run of adjacent literals is one token: one text, as the compiler joins them.
TOKENS = re.compile(r'//[^\n]*|/\*.*?\*/|^[ \t]*#[ \t]*include[^\n]*'
                    r'|(?:%s\s*)+|\'(?:\\.|[^\'\\\n])*\'' % LITERAL, re.S | re.M)
# Statements whose strings are not texts: inline assembly, compile-time assertions.
NOT_TEXT = re.compile(r'__asm__[^;]*;|static_assert\s*\(.*?\);', re.S)
ESCAPES = {'n': '\n', 'r': '\r', 't': '\t', '\\': '\\', '"': '"', "'": "'", '0': '\0'}


def unescape(body):
    return re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), m.group(0)), body)


def literals(root):
    """(file, line, text) of every literal that may reach the log."""
    found = []
    for folder in FOLDERS:
        for path in sorted(p for p in (root / folder).glob('*') if p.suffix in ('.cpp', '.h')):
            source = NOT_TEXT.sub(lambda m: '\n' * m.group(0).count('\n'),
                                  path.read_text(encoding='utf-8'))
            for m in TOKENS.finditer(source):
                if m[0].startswith('"') and not source[:m.start()].rstrip().endswith('extern'):
                    text = ''.join(unescape(t[1:-1]) for t in re.findall(LITERAL, m[0]))
                    found.append((f'{folder}/{path.name}', source.count('\n', 0, m.start()) + 1,
                                  text))
    return [(f, n, t) for f, n, t in found if re.search(r'[A-Za-zÀ-ÿ]', t)]


def spans(page):
    """The page's `code` and "quoted" spans, a line break read as a blank."""
    text = re.sub(r'[ \t]*\n[ \t]*', ' ', page)
    code = re.findall(r'`([^`]*)`', text)
    rest = re.sub(r'`[^`]*`', ' ', text)
    return code + re.findall(r'"([^"]*)"', rest)


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 and not sys.argv[1].startswith('--') else '.')
    every = literals(root)
    texts = [(f, n, t) for f, n, t in every if (f, t) not in NOT_LOGGED]
    if '--list' in sys.argv:
        for file, line, text in texts:
            print(f'{file}:{line}: {text!r}')
    listed = spans((root / 'docs/exports.md').read_text(encoding='utf-8'))
    missing = [(f, n, t) for f, n, t in texts if not any(t in s for s in listed)]
    for file, line, text in missing:
        print(f'{file}:{line}: docs/exports.md does not list {text!r}')
    # A stale entry would let a new log text of the same words through.
    unused = [key for key in NOT_LOGGED if key not in {(f, t) for f, _, t in every}]
    for file, text in unused:
        print(f'{file}: listed as not logged, but has no literal {text!r}')
    # The driver writes well over a hundred texts: far fewer means the
    # sources were not read, not that the page is complete.
    if few := len(texts) < 100:
        print(f'only {len(texts)} texts found in {", ".join(FOLDERS)} under {root}')
    print(f'{len(missing)} of {len(texts)} log texts missing from docs/exports.md')
    sys.exit(1 if missing or unused or few else 0)


if __name__ == '__main__':
    main()
