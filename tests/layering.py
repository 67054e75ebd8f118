#!/usr/bin/env python3
"""Checks which way the library's #include lines run (see docs/architecture.md).

Usage: layering.py SOURCE_DIR FOLDER...   (the folders built into the library, bottom up)
       layering.py --self-test

The opt-in compat/ headers (for hosts in the framework's idiom) are checked too, as hosts see
them: over the library's public headers only. The library includes nothing of compat/.

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
# The C and C++ standard headers: all that a subsystem includes besides the library's own.
STANDARD_HEADERS = set(
    "algorithm any array atomic barrier bit bitset cassert ccomplex cctype cerrno cfenv cfloat "
    "charconv chrono cinttypes ciso646 climits clocale cmath codecvt compare complex concepts "
    "condition_variable coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib "
    "cstring ctime cuchar cwchar cwctype deque exception execution filesystem format "
    "forward_list fstream functional future initializer_list iomanip ios iosfwd iostream "
    "istream iterator latch limits list locale map memory memory_resource mutex new numbers "
    "numeric optional ostream queue random ranges ratio regex scoped_allocator semaphore "
    "set shared_mutex source_location span sstream stack stdexcept stop_token streambuf string "
    "string_view syncstream system_error thread tuple type_traits typeindex typeinfo "
    "unordered_map unordered_set utility valarray variant vector version "
    "assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h "
    "math.h setjmp.h signal.h stdalign.h stdarg.h stdbool.h stddef.h stdint.h stdio.h "
    "stdlib.h string.h tgmath.h time.h uchar.h wchar.h wctype.h".split()
)
# Host-facing folders outside the library, checked as hosts see them when they exist.
HOST_FOLDERS = ("compat",)
# The one kind of internal header a subsystem may take from another subsystem.
SHARED_INTERNAL = re.compile(r"^Shared[A-Za-z0-9]*\.h$")
# How a shared internal header opens, so that sharing one is a choice its owner wrote down.
SHARED_MARK = "// Shared internal header"


def says_shared(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.readline().startswith(SHARED_MARK)

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


def includes(root, folder):
    """Every include line of a folder's sources: (source, line number, quoted, name)."""
    for source in sources(root, folder):
        with open(os.path.join(root, source), encoding="utf-8", errors="replace") as f:
            lines = f.readlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if match:
                yield source, number, match.group(1) == '"', match.group(2)


def check(root, folders):
    problems = []
    for folder in folders:
        layer = layer_of(folder)
        for source, number, quoted, name in includes(root, folder):
            def report(why):
                problems.append(f"{source}:{number}: includes {name}: {why}")

            target = resolve(root, folders, source, name, quoted)
            if not target:
                if quoted:
                    report("names no header of the library (compat/ is for hosts only)")
                elif layer != "subsystem" or name in STANDARD_HEADERS:
                    pass
                elif name in POSIX_HEADERS or name.startswith(POSIX_PREFIXES):
                    report("a subsystem includes no Linux or POSIX header; call the platform layer")
                else:
                    report("a subsystem includes only the C and C++ standard libraries beyond "
                           "the library's own headers; other libraries are the platform's")
                continue
            owner = folder_of(folders, target)
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
            elif (
                layer == "subsystem"
                and target_layer == "subsystem"
                and "/internal/" in target
                and not says_shared(os.path.join(root, target))
            ):
                report(f"{target} does not say that it is shared: its first line begins "
                       f"with \"{SHARED_MARK}\"")
    for host in HOST_FOLDERS:
        problems += check_host(root, folders, host)
    return problems


def check_host(root, folders, host):
    """A host-facing folder sees the library as installed: its public headers, flat."""
    problems = []
    for source, number, quoted, name in includes(root, host):
        target = resolve(root, [host] + list(folders), source, name, quoted)
        if not target:
            if quoted:
                problems.append(f"{source}:{number}: includes {name}: names no header")
            continue
        owner = folder_of([host] + list(folders), target)
        if owner == host:
            continue
        public = target == name if owner is None else target == f"{owner}/{name}"
        if not public or "/internal/" in target:
            problems.append(
                f"{source}:{number}: includes {name}: {host}/ takes the library's public "
                "headers only, by their installed (flat) names"
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
        '#include "internal/Codes.h"\n#include "internal/Own.h"\n'
        '#include "files/internal/SharedQuiet.h"\n',
        "zip/internal/Own.h": "",
        "files/internal/Parts.h": "",
        "files/internal/SharedHelp.h": "// Shared internal header: help\n",
        "files/internal/SharedQuiet.h": "// helpers\n",
        "platform/system/internal/Codes.h": "",
        "xml/C.cpp": "#include <libxml/tree.h>\n#include <cstdio>\n#include <locale.h>\n"
        '#include "afx.h"\n#include "Missing.h"\n#include <semaphore.h>\n',
        "compat/afx.h": '#include "KstString.h"\n#include "internal/Codes.h"\n'
        '#include "frame/KstTrace.h"\n#include "KstAfx.h"\n#include <strings.h>\n',
        "compat/KstAfx.h": "",
    }
    expected = [
        "platform/system/A.cpp:1: includes KstString.h",
        "platform/framework/KstString.h:1: includes KstTrace.h",
        "frame/KstTrace.h:1: includes unistd.h",
        "frame/KstTrace.h:3: includes sys/stat.h",
        "zip/B.cpp:1: includes files/internal/Parts.h",
        "zip/B.cpp:5: includes files/internal/SharedQuiet.h",
        "xml/C.cpp:1: includes libxml/tree.h",
        "xml/C.cpp:4: includes afx.h",
        "xml/C.cpp:5: includes Missing.h",
        "xml/C.cpp:6: includes semaphore.h",
        "compat/afx.h:2: includes internal/Codes.h",
        "compat/afx.h:3: includes frame/KstTrace.h",
    ]
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        found = [p.split(": ", 1)[0] + ": " + p.split(": ")[1] for p in check(
            root, ["platform/system", "platform/framework", "frame", "files", "zip", "xml"])]
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
