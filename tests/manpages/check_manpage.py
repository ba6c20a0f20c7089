#!/usr/bin/env python3
"""Checks that a program's manual page says what the program's --help says.

Every word of the usage text must appear in the page, in the same order (a
page made from another build, or from a text help2man misreads, loses or
reorders words), and every command or option that begins a usage line (two
spaces in) must head an entry of its own in the page, which help2man does not
make of a head wrapped onto a second line.

    check_manpage.py PROGRAM PAGE
"""
import os
import re
import subprocess
import sys


def render(page):
    # Wide enough that no line is wrapped, so no word is hyphenated.
    env = dict(os.environ, LC_ALL="C", MANWIDTH="1000")
    return subprocess.run(["man", "-l", "-P", "cat", page], env=env, capture_output=True,
                          text=True, check=True).stdout


def comparable(word):
    return word.rstrip(":").lower()


def first_missing(words, text_words):
    """The index of the first of words not found, in order, in text_words."""
    rest = iter(text_words)
    for index, word in enumerate(words):
        if not any(word == candidate for candidate in rest):
            return index
    return None


def main():
    program, page = sys.argv[1], sys.argv[2]
    usage = subprocess.run([program, "--help"], capture_output=True, text=True,
                           check=True).stdout
    shown = render(page)
    failures = []

    # help2man turns "Usage:" into the SYNOPSIS heading and "Options:" into
    # the OPTIONS heading.
    words = usage.split()
    if words and words[0] == "Usage:":
        words = words[1:]
    missing = first_missing([comparable(word) for word in words],
                            [comparable(word) for word in shown.split()])
    if missing is not None:
        failures.append("the page lacks, or has out of order, '%s' in: %s"
                        % (words[missing], " ".join(words[max(0, missing - 5):missing + 5])))

    lines = shown.splitlines()
    for head in re.findall(r"^  (\S.*?)(?:  |$)", usage, re.M):
        entry = re.compile(" {7}" + re.escape(head) + "( |$)")
        if not any(entry.match(line) for line in lines):
            failures.append("no entry of the page is headed '%s'" % head)

    for failure in failures:
        print("%s: %s" % (os.path.basename(page), failure))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
