#!/usr/bin/env python3
"""Feeds korvan-host's console (and its command line) one case and checks what it says. Each
case runs in a fresh working folder, so the driver's log goes there.

    console_cases.py --wine WINE-RUN --bin BIN-FOLDER --examples FOLDER CASE
    console_cases.py --list"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

PUMP_2 = 'pump 2 id 12\nhose 41 pump 2 price 6.099 totalizer 100\n'
SMALL = PUMP_2 + 'delivery hose 41 volume 0.0004\n'
LOCKED = PUMP_2 + 'delivery hose 41 volume 20 lockedby 5\n'
BAD = 'pump 1 id 11\nhose 31 pump 9 price 5\n'
SESSION = {'QXSIM_SCENARIO': '{examples}/example.scenario'}

# name: (arguments, standard input, environment, files in the working folder, what must appear
# (regular expressions, in order), exit code). A file named LOG stops the driver from making its
# log folder; the folder 'bare' holds the host and the driver without QXClient.dll.
CASES = {
    'help': (['console'], 'help\n', {}, {}, [
        r'registra <hose id> <bomba> <casas-litragem> <casas-preco> <casas-total>\s+'
        r'<casas-encerrante> \[configuracao\]', r'preco <hose id>', r'encerrante <hose id>',
        r'autoriza <hose id>', r'altera <ordinal> <preco>', r'bloqueia <ordinal>',
        r'desbloqueia <ordinal>'], 0),
    'zero-shows-log-lines': (['console'], 'inicia\npreco 99\n', SESSION, {}, [
        r'logged on to 127\.0\.0\.1', r'0: no price\n   \| <AUT_ObtemPreco>\n   \| Error: 3\n'
        r'   \| <AUT_ObtemPreco> Falha ao obter pre\xe7o do bico: 99\n'], 0),
    'zero-before-a-session': (['console'], 'confirm\n', {}, {}, [
        r'0: not confirmed\n   \| <AUT_ConfirmaAbastecimento>\n   \| .+'], 0),
    'registra-checks-arguments': (
        ['console'], 'registra 41\nregistra 41 2 3 x 2 3\nregistra 07 2 3 3 2 3\n', {}, {}, [
            r'usage: registra <hose id>', r"casas-preco 'x' is not a whole number\nusage: registra",
            r"hose id '07' would never match a delivery: the driver writes it as 7\n"
            r'usage: registra'], 0),
    'session': (['console'], 'inicia\nregistra 41 2 3 3 2 3\npoll\nconfirm\npoll\n', SESSION, {}, [
        r'registered hose id 41: pump 2, places 3/3/2/3',
        r'nozzle 41 volume 20 price 6\.099 amount 121\.98 totalizers 45678\.9\.\.45698\.9 '
        r'time \d\d:\d\d:\d\d code 000000FF',
        r'> ok\n', r'0: no delivery waiting\n.*Sem abastecimento pendente'], 0),
    'poll-unregistered': (['console'], 'inicia\npoll\n', SESSION, {}, [
        r"0: delivery discarded by the driver's rule: its nozzle is not registered",
        r'Abastecimento de um bico n\xe3o registrado\.'], 0),
    'poll-too-small': (['console', '--scenario', 'small.scenario'],
                       'inicia\nregistra 41 2 3 3 2 3\npoll\n', {}, {'small.scenario': SMALL}, [
        r"0: delivery discarded by the driver's rule: volume too small",
        r'O abastecimento veio litragem muito pequena'], 0),
    'poll-locked': (['console', '--scenario', 'locked.scenario'],
                    'inicia\nregistra 41 2 3 3 2 3\npoll\n', {}, {'locked.scenario': LOCKED}, [
        r'0: delivery left in the controller: another client holds its lock'], 0),
    'altera-old-and-new': (['console'], 'inicia\naltera 1 6.199\n', SESSION, {}, [
        r'price of hose id 31 \(ordinal 1\): 5\.799 -> 6\.199'], 0),
    'altera-asks-first': (['console'], 'inicia\naltera 1 1000\nn\npreco 31\n', SESSION, {}, [
        r"price '1000' is not a positive number below 100 .*\[y/N\] price not changed\n",
        r'> 5\.799\n'], 0),
    'log-words': (['console'], 'log maybe\nlog on off\nlog off\n', {}, {}, [
        r'usage: log on \| log off\n> usage: log on \| log off\n> log off'], 0),
    'unknown-option': (['console', '--bogus', 'x'], '', {}, {}, [
        r"unknown option '--bogus' for console\nusage: korvan-host demo"], 2),
    'demo-option-not-a-number': (['demo', '--seconds', '3x'], '', {}, {}, [
        r"--seconds takes a whole number of seconds, not '3x'\nusage:"], 2),
    'demo-option-without-value': (['demo', '--deliveries'], '', {}, {}, [
        r'--deliveries needs a value\nusage:'], 2),
    'console-refuses-demo-option': (['console', '--seconds', '5'], '', {}, {}, [
        r"unknown option '--seconds' for console"], 2),
    'missing-client': (['console'], 'inicia\n', {}, {'bare': None}, [
        r'QXClient\.dll not found beside korvan-host\.exe or on the PATH',
        r'0: no logon to 127\.0\.0\.1', r'QXClient\.dll not found'], 0),
    'bad-scenario-at-logon': (['console'], 'inicia\n', {'QXSIM_SCENARIO': '{work}/bad.scenario'},
                              {'bad.scenario': BAD}, [
        r'0: no logon', r'Error: 11', r"the simulator's scenario did not load: .*pump 9"], 0),
    'bad-scenario-option': (['console', '--scenario', 'bad.scenario'], '', {},
                            {'bad.scenario': BAD}, [r'scenario .*bad\.scenario: .*pump 9'], 1),
    'log-folder-unwritable': (['console'], 'inicia\npreco 99\n', SESSION, {'LOG': 'not a folder'}, [
        r"cannot write the driver's log .*LOG.*: the causes of 0 results cannot be shown",
        r"0: no price\n   \(the driver's log cannot be written"], 0),
}


def run(case, wine, bin_, examples):
    args, stdin, env_extra, files, wanted, code = CASES[case]
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        host_folder = bin_
        for name, text in files.items():
            if name == 'bare':
                host_folder = work / 'bare'
                host_folder.mkdir()
                for f in ('korvan-host.exe', '_Korvan.dll'):
                    shutil.copy(bin_ / f, host_folder)
            else:
                (work / name).write_text(text)
        env = dict(os.environ)
        for key, value in env_extra.items():  # as Windows paths
            env[key] = 'Z:' + value.format(examples=examples, work=work).replace('/', '\\')
        done = subprocess.run([wine, str(host_folder / 'korvan-host.exe')] + args,
                              input=stdin.encode('cp1252'), cwd=work, env=env,
                              capture_output=True, timeout=300)
    out = done.stdout.decode('cp1252', 'replace').replace('\r\n', '\n')
    problems = [] if done.returncode == code else [
        f'exit code: got {done.returncode}, wanted {code}']
    at = 0
    for pattern in wanted:
        found = re.compile(pattern, re.S).search(out, at)
        if found:
            at = found.end()
        else:
            problems.append(f'not found after offset {at}: {pattern!r}')
    if problems:
        print(f'--- output of korvan-host {" ".join(args)}:\n{out}---')
        print('\n'.join(problems))
    return not problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--list', action='store_true')
    for option in ('--wine', '--bin', '--examples'):
        ap.add_argument(option)
    ap.add_argument('case', nargs='?')
    a = ap.parse_args()
    if a.list:
        print(';'.join(CASES), end='')
        return 0
    return 0 if run(a.case, a.wine, Path(a.bin), Path(a.examples)) else 1


if __name__ == '__main__':
    sys.exit(main())
