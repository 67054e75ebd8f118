#!/usr/bin/env python3
"""The shared library's exported interface: every member and global that hosts resolve in it
is exported (also the one-line members), and nothing internal is: no class or function marked
KST_INTERNAL in an internal/ header, nothing of namespace kst::detail.
Usage: exports.py LIBRARY SOURCE_DIR"""
import pathlib
import re
import subprocess
import sys

# Mangled names a host links against, one-line members included.
REQUIRED = [
    "_ZN9CTraceLogC1Ev", "_ZN9CTraceLogD1Ev", "_ZN9CTraceLogD0Ev",
    "_ZN9CTraceLog5TraceERK7CString", "_ZN9CTraceLog11WriteStringERK7CString",
    "_ZN9CTraceLog9ClearFileEv", "_ZN9CTraceLog10EnableFileEi",
    "_ZN9CTraceLog12EnableOutputEi", "_ZN9CTraceLog14EnableThreadIdEi",
    "_ZN9CTraceLog16SetByCommandLineEPKci", "_ZN9CTraceLog11SetPipeNameEPKcS1_",
    "_ZN9CTraceLog6AddTabEv", "_ZN9CTraceLog9RemoveTabEv", "_ZN9CTraceLog8OpenFileEv",
    "_Z15CTraceLog_TracePKcz", "cTraceLogGlobal", "theMessage",
    "_ZN3kst13SetMountTableERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
]


def internal_names(source):
    classes, functions = set(), set()
    for header in source.glob("**/internal/*.h"):
        if header.relative_to(source).parts[0].startswith("build"):
            continue
        text = header.read_text(errors="replace")
        classes.update(re.findall(r"\b(?:class|struct)\s+KST_INTERNAL\s+(\w+)", text))
        for declaration in re.findall(r"KST_INTERNAL\s+([^;{]*?)\(", text):
            functions.add(declaration.split()[-1].lstrip("*&"))
    return classes, functions


def exported(library, demangle):
    flags = ["-D", "--defined-only"] + (["-C"] if demangle else [])
    lines = subprocess.run(["nm", *flags, library], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    return [line.split(" ", 2)[2] for line in lines if line.count(" ") >= 2]


def main():
    library, source = sys.argv[1], pathlib.Path(sys.argv[2])
    classes, functions = internal_names(source)
    if len(classes) < 2 or len(functions) < 10:
        sys.exit(f"too few internal names found under {source}: the header scan is broken")
    names = exported(library, demangle=True)
    either = lambda words: "|".join(sorted(words))
    # Internal functions live in the library's inner namespaces (kst::detail, kst::files, ...);
    # a public class member or host hook of the same name (CFloppyAccessLow::ReadSector,
    # kst::AnsiCodePage) is not one of them.
    internal = re.compile(r"\bkst::detail::|\b(?:%s)::|(?:for|^) (?:%s)$|^(?:kst::[a-z]\w*::)?(?:%s)\(" %
                          (either(classes), either(classes), either(functions)))
    leaks = sorted({name for name in names if internal.search(name) or name in classes})
    missing = sorted(set(REQUIRED) - set(exported(library, demangle=False)))
    for name in leaks:
        print("exported internal symbol:", name)
    for name in missing:
        print("not exported:", name)
    print(f"{len(names)} exported symbols; {len(classes)} internal classes and "
          f"{len(functions)} internal functions checked")
    sys.exit(1 if leaks or missing else 0)


if __name__ == "__main__":
    main()
