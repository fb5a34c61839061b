#!/usr/bin/env python3
"""Checks that the integrator's guide lists every error text the driver can
leave: the texts are taken from the driver's sources, so a new one fails this
test until the guide lists it (verbatim, as a code span).

The driver sets its last error with setCommError(...) and appends the request
description with lastError += ...; a text reaches them as a string literal, as
a field of a struct initialised elsewhere in the file, as an array of formats,
or from the device (errorString()). An argument it cannot trace fails the test.

    error_texts_test.py DRIVER_DIR GUIDE
"""
import pathlib
import re
import sys

LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')


def strip_comments(source):
    return re.sub(r'//[^\n]*|/\*.*?\*/', '', source, flags=re.S)


def call_arguments(source, name):
    """The argument text of every call of name(...), with its offset."""
    for match in re.finditer(r'\b' + name + r'\s*\(', source):
        depth, i = 1, match.end()
        while depth and i < len(source):
            depth += {'(': 1, ')': -1}.get(source[i], 0)
            i += 1
        yield match.start(), source[match.end():i - 1]


def statements(source, pattern):
    for match in re.finditer(pattern + r'[^;]*;', source):
        yield match.start(), match.group(0)


def literals(text):
    return [bytes(m, 'utf-8').decode('unicode_escape') for m in LITERAL.findall(text)]


def field_literals(source, field):
    """Literals a struct field is initialised with: the field's position in
    its struct, then that position in each brace initialiser of the struct."""
    found = []
    for struct in re.finditer(r'struct\s+(?:\w+::)*(\w+)\s*\{(.*?)\};', source, re.S):
        members = [m.strip() for m in struct.group(2).split(';') if m.strip()]
        names = [member_name(m) for m in members]
        if field not in names:
            continue
        position = names.index(field)
        for init in re.finditer(r'\b' + struct.group(1) + r'\s+\w+\s*=\s*\{(.*?)\};', source, re.S):
            items = split_top_level(init.group(1))
            found += literals(items[position]) if position < len(items) else []
    return found


def member_name(member):
    pointer = re.search(r'\*\s*(\w+)\s*\)\s*\(', member)     # a pointer to a function
    plain = re.search(r'(\w+)\s*$', member)
    return pointer.group(1) if pointer else plain.group(1) if plain else None


def array_literals(source, name):
    found = []
    for init in re.finditer(r'\b' + name + r'\s*\[\s*\]\s*=\s*\{(.*?)\};', source, re.S):
        found += literals(init.group(1))
    return found


def split_top_level(text):
    items, depth, current = [], 0, ''
    for ch in text:
        depth += {'(': 1, '{': 1, ')': -1, '}': -1}.get(ch, 0)
        if ch == ',' and depth == 0:
            items.append(current)
            current = ''
        else:
            current += ch
    return items + [current]


def error_texts(driver_dir):
    """(text, where) pairs; a text of None names an argument not traced."""
    found = []
    for path in sorted(pathlib.Path(driver_dir).rglob('*.[ch]*')):
        source = strip_comments(path.read_text())
        where = lambda offset: f'{path.name}:{source.count(chr(10), 0, offset) + 1}'
        for offset, args in call_arguments(source, 'setCommError'):
            if re.match(r'\s*const\s', args):          # the declaration or definition
                continue
            texts = literals(args)
            if not texts:
                fields = re.findall(r'\.\s*(\w+)\b(?!\s*\()', args)
                texts = [t for f in fields for t in field_literals(source, f)]
            if not texts and 'errorString()' in args:
                texts = ['errorString()']
            found += [(t, where(offset)) for t in texts] or [(None, f'{where(offset)}: {args.strip()}')]
        for offset, statement in statements(source, r'\blastError\s*\+='):
            names = re.findall(r'\b([A-Z]\w*)\b', statement)
            texts = [t for n in names for t in array_literals(source, n)] + literals(statement)
            found += [(t, where(offset)) for t in texts] or [(None, f'{where(offset)}: {statement}')]
    return found


def main(driver_dir, guide_path):
    guide = re.sub(r'```.*?```', '', pathlib.Path(guide_path).read_text(), flags=re.S)
    spans = set(s.strip() for s in re.findall(r'`([^`]+)`', guide))
    failures = []
    texts = error_texts(driver_dir)
    for text, where in texts:
        if text is None:
            failures.append(f'cannot trace the error text at {where}')
        elif text.strip() not in spans:
            failures.append(f'{where}: `{text.strip()}` is not in {guide_path}')
    for failure in failures:
        print(failure)
    if not texts:
        failures.append('no error texts found')
        print(f'no error texts found in {driver_dir}')
    if not failures:
        print(f'{len(set(t for t, _ in texts))} error texts of the driver, all in the guide')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:3]))
