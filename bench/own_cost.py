#!/usr/bin/env python3
"""Splits a callgrind profile of a page process by whose code ran.

    own_cost.py PROFILE PROGRAM ARCHIVE...

Prints "TOTAL OWN": all instructions, and those in PROGRAM's own code, that
is PROGRAM's functions other than those the ARCHIVEs define (ClearSilver,
zlib). The C library and the loader are other objects and never count."""
import re
import subprocess
import sys
from collections import defaultdict

NAME = re.compile(r'^(c?(?:ob|fn|fl|fi|fe))=(?:\((\d+)\))?\s*(.*)$')


def archive_symbols(paths):
    out = subprocess.run(['nm', '--defined-only', '--format=posix', *paths],
                         capture_output=True, text=True, check=True).stdout
    return {line.split()[0] for line in out.splitlines()
            if len(line.split()) >= 2 and line.split()[1] in 'TtWw'}


def self_costs(profile):
    names = {'ob': {}, 'fn': {}}
    cost = defaultdict(int)
    total = 0
    ob = fn = None
    skip_next = False
    for line in open(profile):
        line = line.rstrip('\n')
        m = NAME.match(line)
        if m:
            kind, ident, text = m.groups()
            base = kind.lstrip('c') if kind in ('cob', 'cfn') else kind
            if base in names:
                table = names[base]
                if ident is not None:
                    if text:
                        table[ident] = text
                    text = table.get(ident, text)
                if kind == 'ob':
                    ob = text
                elif kind == 'fn':
                    fn = text
            continue
        if line.startswith('summary:'):
            total = int(line.split()[1])
            continue
        if line.startswith('calls='):
            skip_next = True
            continue
        if line and (line[0].isdigit() or line[0] in '+-*'):
            if skip_next:
                skip_next = False
                continue
            parts = line.split()
            if len(parts) >= 2:
                cost[(ob, fn)] += int(parts[1])
    return total, cost


def base_name(fn):
    fn = re.sub(r"'\d+$", '', fn)
    return re.sub(r'\.(part|isra|constprop|cold|lto_priv)(\.\d+)*', '', fn)


def main():
    profile, program, archives = sys.argv[1], sys.argv[2], sys.argv[3:]
    theirs = archive_symbols(archives)
    total, cost = self_costs(profile)
    own = sum(c for (ob, fn), c in cost.items()
              if ob and ob.endswith('/' + program.rsplit('/', 1)[-1]) and base_name(fn) not in theirs)
    print(total, own)


main()
