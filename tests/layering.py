#!/usr/bin/env python3
"""Checks which way the library's #include lines run (see docs/architecture.md).

Usage: layering.py SOURCE_DIR FOLDER...   (the folders built into the library, bottom up)
       layering.py --self-test

Every broken rule is printed as "file:line: includes X: why"; the exit code is 1 when any is.
Quoted includes are resolved as the compiler does: beside the including file first, then in
the folders in the order given, then at the top of the tree.
"""
import os
import re
import sys
import tempfile

# The rule table. A folder that is not named here is a subsystem of the library.
LAYERS = {
    "platform/system": "system",
    "platform/framework": "framework",
    "platform/dom": "dom",
}
# What each platform layer may include of the library's own folders ("subsystem": any).
MAY_INCLUDE = {
    "system": {"system"},
    "framework": {"system", "framework"},
    "dom": {"system", "framework", "dom"},
    "subsystem": {"system", "framework", "dom", "subsystem"},
}
# Framework headers the system layer hands back or builds on. None today: the system's
# interfaces use only their own types (KstWinTypes.h, KstWin32*.h).
SYSTEM_MAY_USE_FRAMEWORK = set()
# Linux and POSIX headers: the platform layer's business, never a subsystem's.
POSIX_HEADERS = set(
    "aio.h cpio.h dirent.h dlfcn.h err.h error.h execinfo.h fcntl.h fmtmsg.h fnmatch.h ftw.h "
    "getopt.h glob.h grp.h iconv.h ifaddrs.h langinfo.h libgen.h link.h malloc.h mntent.h "
    "monetary.h mqueue.h ndbm.h netdb.h nl_types.h paths.h poll.h pthread.h pwd.h regex.h "
    "sched.h search.h semaphore.h shadow.h spawn.h strings.h stropts.h syslog.h tar.h "
    "termios.h ulimit.h unistd.h utime.h utmpx.h wordexp.h endian.h byteswap.h features.h".split()
)
POSIX_PREFIXES = ("sys/", "linux/", "asm/", "bits/", "net/", "netinet/", "arpa/", "netpacket/")
# The one kind of internal header a subsystem may take from another subsystem.
SHARED_INTERNAL = re.compile(r"^Shared[A-Za-z0-9]*\.h$")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def layer_of(folder):
    return LAYERS.get(folder, "subsystem")


def sources(root, folder):
    for sub in (folder, os.path.join(folder, "internal")):
        path = os.path.join(root, sub)
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                if name.endswith((".cpp", ".h")):
                    yield os.path.join(sub, name)


def resolve(root, folders, including, name, quoted):
    candidates = [os.path.join(os.path.dirname(including), name)] if quoted else []
    candidates += [os.path.join(folder, name) for folder in folders] + [name]
    for candidate in candidates:
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def folder_of(folders, path):
    owners = [f for f in folders if path.startswith(f + "/")]
    return max(owners, key=len) if owners else None


def check(root, folders):
    problems = []
    for folder in folders:
        layer = layer_of(folder)
        for source in sources(root, folder):
            with open(os.path.join(root, source), encoding="utf-8", errors="replace") as f:
                lines = f.readlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quoted, name = match.group(1) == '"', match.group(2)

                def report(why):
                    problems.append(f"{source}:{number}: includes {name}: {why}")

                if not quoted and layer == "subsystem" and (
                    name in POSIX_HEADERS or name.startswith(POSIX_PREFIXES)
                ):
                    report("a subsystem includes no Linux or POSIX header; call the platform layer")
                    continue
                target = resolve(root, folders, source, name, quoted)
                owner = folder_of(folders, target) if target else None
                if not owner or owner == folder:
                    continue
                target_layer = layer_of(owner)
                if layer == "system" and target_layer == "framework":
                    if os.path.basename(target) not in SYSTEM_MAY_USE_FRAMEWORK:
                        report("the system layer includes no framework header beyond its allowed list")
                elif target_layer not in MAY_INCLUDE[layer]:
                    report(f"the {layer} layer includes nothing of {owner}/ ({target_layer})")
                elif (
                    layer == "subsystem"
                    and target_layer == "subsystem"
                    and "/internal/" in target
                    and not SHARED_INTERNAL.match(os.path.basename(target))
                ):
                    report(
                        f"{target} is internal to {owner}/; include its public headers or "
                        "a shared internal header (internal/Shared*.h)"
                    )
    return problems


def self_test():
    """Builds a small tree that breaks each rule once and checks that each is reported."""
    files = {
        "platform/system/A.cpp": '#include "KstString.h"\n#include "KstWinTypes.h"\n',
        "platform/system/KstWinTypes.h": "",
        "platform/framework/KstString.h": '#include "KstTrace.h"\n',
        "frame/KstTrace.h": "#include <unistd.h>\n#include <vector>\n#include <sys/stat.h>\n",
        "zip/B.cpp": '#include "files/internal/Parts.h"\n#include "files/internal/SharedHelp.h"\n'
        '#include "internal/Codes.h"\n#include "internal/Own.h"\n',
        "zip/internal/Own.h": "",
        "files/internal/Parts.h": "",
        "files/internal/SharedHelp.h": "",
        "platform/system/internal/Codes.h": "",
    }
    expected = [
        "platform/system/A.cpp:1: includes KstString.h",
        "platform/framework/KstString.h:1: includes KstTrace.h",
        "frame/KstTrace.h:1: includes unistd.h",
        "frame/KstTrace.h:3: includes sys/stat.h",
        "zip/B.cpp:1: includes files/internal/Parts.h",
    ]
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        found = [p.split(": ", 1)[0] + ": " + p.split(": ")[1] for p in check(
            root, ["platform/system", "platform/framework", "frame", "files", "zip"])]
    if sorted(found) != sorted(expected):
        print("layering self-test: expected", expected, "found", found)
        return 1
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root, folders = argv[1], argv[2:]
    problems = check(root, folders)
    for problem in problems:
        print(problem)
    print(f"layering: {len(problems)} broken include rule(s) in {len(folders)} folders")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
