#!/usr/bin/env python3
"""Mutation check of the portable code: is every listed fault noticed by a test?

Copies the working tree's tracked files to build/mutation/src (the clone itself is never changed),
builds the native preset's test programs there once, then for each mutation in MUTATIONS: changes the
copy, rebuilds, runs the mutation's check, and puts the copy's file back (also when the check fails,
when a build breaks and on Ctrl-C). A mutation the check does not notice is a survivor; the script
exits 1 when there is one, 2 when a mutation no longer applies or builds (the code it changes has
moved on).

  tests/mutation/mutate.py [--fuzz-seconds N] [--jobs N] [NAME ...]

The checks: "unit" runs the native settings_tests and durable_file_tests (sanitizers on); "fuzz" runs
the settings fuzzer alone for --fuzz-seconds (60 by default) from its committed seeds, to show that its
own oracle notices the fault without the unit tests.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

# name, check, file, text as it is, text as mutated, what the mutation does
MUTATIONS = [
    ("reserve-failure-kept", "unit", "src/settings/config_text.cpp",
     "    if (room < bytes.size() || !out.Reserve(room)) {\n        out.Clear();\n    }\n",
     "    if (room < bytes.size()) {\n        out.Clear();\n    }\n    out.Reserve(room);\n",
     "a refused reservation is not cleared before the text is written"),
    ("no-retry-at-exact-size", "unit", "src/bytes/byte_buffer.cpp",
     "if (block == nullptr && capacity > needed) {",
     "if (false) {",
     "growth that does not fit is not tried again at the exact size"),
    ("clear-keeps-failure", "unit", "src/bytes/byte_buffer.cpp",
     "    size_ = 0;\n    failed_ = false;\n",
     "    size_ = 0;\n",
     "Clear keeps an earlier failure"),
    ("resize-not-zeroing", "unit", "src/bytes/byte_buffer.cpp",
     "        std::memset(data_ + size_, 0, size - size_);\n",
     "",
     "Resize leaves the bytes it adds as they were"),
    ("key-read-past-end", "unit", "src/settings/config_text.cpp",
     "if (text.size() > name.size() && IsWordByte(text[name.size()])) {",
     "if (text.size() >= name.size() && IsWordByte(text[name.size()])) {",
     "a key at the end of the bytes looks at the byte after them"),
    ("2147483648-accepted", "fuzz", "src/settings/config_text.cpp",
     "if (!negative && magnitude == kLimit) {",
     "if (false) {",
     "2147483648 is read as a value (as -2147483648)"),
    ("high-bytes-end-a-key", "fuzz", "src/settings/config_text.cpp",
     "byte == '_' || byte >= 0x80;",
     "byte == '_';",
     "a byte from 0x80 up after a key name does not make it another key"),
    ("zero-written-empty", "fuzz", "src/bytes/decimal.cpp",
     "    do {\n        digits[count++] = static_cast<char>('0' + magnitude % 10);\n"
     "        magnitude /= 10;\n    } while (magnitude != 0);\n",
     "    while (magnitude != 0) {\n        digits[count++] = static_cast<char>('0' + magnitude % 10);\n"
     "        magnitude /= 10;\n    }\n",
     "0 is written as no digits at all"),
    ("overflow-checked-after-loop", "fuzz", "src/settings/config_text.cpp",
     "        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');\n"
     "        if (magnitude > kLimit) {\n            return false;\n        }\n    }\n",
     "        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');\n    }\n"
     "    if (magnitude > kLimit) {\n        return false;\n    }\n",
     "the range is checked once all digits are in (a long number wraps around)"),
    ("lone-cr-line-gets-platform-end", "unit", "src/settings/config_text.cpp",
     "out.Append(!line.empty() && line.back() == '\\r' ? std::string_view(\"\\r\\n\") : lineEnd);",
     "out.Append(lineEnd);",
     "a line whose text ends in CR loses that CR on the next read"),
    ("bom-dropped", "unit", "src/settings/config_text.cpp",
     "        out.Append(kByteOrderMark);\n",
     "",
     "the byte-order mark is not written back"),
]

TARGETS = ["settings_tests", "durable_file_tests", "settings_fuzz"]
UNIT_PROGRAMS = ["tests/unit/settings/settings_tests", "tests/unit/durable_file/durable_file_tests"]


def run(command, cwd, log, timeout=None):
    """The command's exit status; -1 when it ran out of time (and was ended)."""
    with open(log, "w") as out:
        try:
            return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            out.write("\nended after %s s\n" % timeout)
            return -1


def copy_tree(repo, copy):
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=repo, check=True, capture_output=True).stdout
    for name in files.decode().split("\0"):
        source = os.path.join(repo, name)
        if not name or not os.path.isfile(source):
            continue
        target = os.path.join(copy, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # Only changed files are copied, so the build keeps what it has from the last run.
        if not os.path.exists(target) or open(source, "rb").read() != open(target, "rb").read():
            shutil.copy2(source, target)


def check(kind, copy, build, fuzz_seconds, log):
    if kind == "unit":
        for program in UNIT_PROGRAMS:
            if run([os.path.join(build, program)], build, log, timeout=600) != 0:
                return "killed by " + os.path.basename(program)
        return None
    with tempfile.TemporaryDirectory(prefix="tavaren-mutation-corpus-") as corpus:
        seeds = os.path.join(copy, "tests", "fuzz", "corpus")
        command = [os.path.join(build, "tests/fuzz/settings_fuzz"), "-max_total_time=%d" % fuzz_seconds,
                   "-timeout=10", corpus, seeds]
        if run(command, build, log, timeout=fuzz_seconds + 300) != 0:
            return "killed by settings_fuzz"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fuzz-seconds", type=int, default=60)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("names", nargs="*", help="only these mutations")
    args = parser.parse_args()
    unknown = set(args.names) - {m[0] for m in MUTATIONS}
    if unknown:
        parser.error("no such mutation: " + ", ".join(sorted(unknown)))

    repo = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True, capture_output=True,
                          text=True, cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
    copy = os.path.join(repo, "build", "mutation", "src")
    build = os.path.join(copy, "build", "native")
    logs = os.path.join(repo, "build", "mutation", "logs")
    os.makedirs(logs, exist_ok=True)
    copy_tree(repo, copy)

    build_command = ["cmake", "--build", build, "-j%d" % args.jobs, "--target"] + TARGETS
    if run(["cmake", "--preset", "native"], copy, os.path.join(logs, "configure.log")) != 0 or \
            run(build_command, copy, os.path.join(logs, "build.log")) != 0:
        sys.exit("the unmutated copy does not build: see " + logs)
    for kind in ("unit", "fuzz"):
        if check(kind, copy, build, min(args.fuzz_seconds, 10), os.path.join(logs, "unmutated-%s.log" % kind)):
            sys.exit("the unmutated code fails its %s check: see %s" % (kind, logs))

    survivors, stale = [], []
    for name, kind, path, before, after, what in MUTATIONS:
        if args.names and name not in args.names:
            continue
        source = os.path.join(copy, path)
        original = open(source).read()
        if original.count(before) != 1:
            print("%-32s does not apply: %s no longer holds its text once" % (name, path))
            stale.append(name)
            continue
        log = os.path.join(logs, name + ".log")
        # The copy's file goes back whatever happens, a Ctrl-C included.
        previous = signal.signal(signal.SIGTERM, signal.default_int_handler)
        try:
            with open(source, "w") as out:
                out.write(original.replace(before, after))
            built = run(build_command, copy, log) == 0
            result = check(kind, copy, build, args.fuzz_seconds, log) if built else None
        finally:
            with open(source, "w") as out:
                out.write(original)
            signal.signal(signal.SIGTERM, previous)
        if not built:
            print("%-32s does not build: see %s" % (name, log))
            stale.append(name)
            continue
        if result is None:
            survivors.append(name)
            result = "SURVIVES its %s check (see %s)" % (kind, log)
        print("%-32s %s: %s" % (name, what, result), flush=True)

    print("%d survivor(s)%s" % (len(survivors), ": " + ", ".join(survivors) if survivors else ""))
    if stale:
        sys.exit(2)
    sys.exit(1 if survivors else 0)


if __name__ == "__main__":
    main()
