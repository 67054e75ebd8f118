#!/usr/bin/env python3
"""Prints the sections, keys and values that configparser reads from the ini-style files
under the given folders, for the files whose every line the ini reader takes the same way.

Output, one record a line, fields in hexadecimal (latin-1 bytes):
  F <path>            a file that follows
  E <section> <key> <value>
A section without keys gives one record with an empty key and value."""
import configparser
import os
import re
import sys

HEADER = re.compile(r"\[[^\[\]]+\]")
MAX_SIZE = 64 * 1024


def hexed(text):
    return text.encode("latin-1").hex() or "-"


def same_constructs(text):
    """No construct that the ini reader reads otherwise: keys before the first header,
    indented (continuation) lines, ":" delimiters, "#" lines with "=", "[" outside a header,
    ";" before the first header, backslash-n, or a blank, tab or ";" ending the text."""
    if "\0" in text or "\\n" in text or not text.strip():
        return False
    if text[-1] in " \t;":
        return False
    seen_header = False
    for line in re.split(r"\r\n|\r|\n", text):
        if not line.strip():
            continue
        if line[0] in " \t":
            return False
        if HEADER.fullmatch(line):
            seen_header = True
            continue
        if "[" in line or "]" in line or (";" in line and not seen_header):
            return False
        if line[0] == ";":
            if not seen_header:
                return False
            continue
        if line[0] == "#":
            if "=" in line:
                return False
            continue
        if not seen_header or "=" not in line or ":" in line.split("=", 1)[0]:
            return False
    return seen_header


def read(path):
    try:
        if os.path.islink(path) or not os.path.isfile(path) or os.path.getsize(path) > MAX_SIZE:
            return None
        with open(path, "rb") as f:
            raw = f.read()
    except OSError:
        return None
    text = raw.decode("latin-1")
    if not text.lstrip().startswith(("[", ";", "#")) or not same_constructs(text):
        return None
    parser = configparser.ConfigParser(interpolation=None, default_section="\0")
    parser.optionxform = str
    try:
        parser.read_string(text, path)
    except (configparser.Error, ValueError):
        return None
    entries = []
    for section in parser.sections():
        items = parser.items(section, raw=True)
        if not items:
            entries.append((section, "", ""))
        entries.extend((section, key, value) for key, value in items)
    return entries


def main():
    for top in sys.argv[1:]:
        for folder, dirs, files in os.walk(top):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                entries = read(path)
                if not entries:
                    continue
                print("F", hexed(path))
                for entry in entries:
                    print("E", *map(hexed, entry))


main()
