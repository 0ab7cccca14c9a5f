#!/usr/bin/env python3
"""Copies the header and the chosen key blocks of a Wine hive, byte for byte.

usage: extract-blocks.py HIVE PATTERN... > excerpt.reg

A block is a key line ("[Path] <time>") with the lines after it up to the
blank line before the next key line; PATTERN is a regular expression that
must match the whole path as written between the brackets.  The header is
everything before the first key block.
"""
import re
import sys


def main():
    hive, patterns = sys.argv[1], [re.compile(p) for p in sys.argv[2:]]
    data = open(hive, 'rb').read()
    first = data.index(b'\n\n[') + 1
    out = bytearray(data[:first])  # the header, up to the blank line before the first key
    for block in data[first:].split(b'\n\n'):
        # Each block is the key line and its option and value lines; Wine puts
        # one blank line in front of every key line.
        block = block.strip(b'\n')
        key_line = block.split(b'\n', 1)[0]
        path = key_line[1:key_line.rindex(b']')].decode('ascii')
        if any(p.fullmatch(path) for p in patterns):
            out += b'\n' + block + b'\n'
    sys.stdout.buffer.write(bytes(out))


main()
