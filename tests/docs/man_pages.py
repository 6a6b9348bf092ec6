#!/usr/bin/env python3
"""The man pages say what --help says: every option and command of a
program's --help, with its description, is in its man page, and so is its
exit status. Usage: man_pages.py PROGRAM MANPAGE"""
import re
import subprocess
import sys


def plain(text):
    return re.sub(r"\s+", " ", text).strip()


def roff_text(source):
    """The words of a man page: macros' arguments and text, escapes gone."""
    words = []
    for line in source.splitlines():
        if line.startswith(".") and not line.startswith((".B", ".I", ".R")):
            continue
        line = re.sub(r"^\.(BR|RB|IR|RI|BI|IB|B|I|R)\s?", "", line)
        line = re.sub(r'" "', " ", line).replace('"', "")
        line = re.sub(r"\\f[BIRP]", "", line).replace("\\-", "-").replace("\\&", "")
        words.append(line)
    return plain(" ".join(words))


def help_entries(help_text):
    """[what, description] of each option or command line of --help."""
    entries = []
    for line in help_text.splitlines():
        match = re.match(r"^  (\S.*?)(?:\s{2,}(\S.*))?$", line)
        if match:
            entries.append([match.group(1), match.group(2) or ""])
        elif re.match(r"^ {6,}\S", line) and entries:
            entries[-1][1] += " " + line.strip()
    return entries


def main():
    program, page = sys.argv[1], sys.argv[2]
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True).stdout
    man = roff_text(open(page, encoding="utf-8").read())
    missing = []
    for what, description in help_entries(help_text):
        for word in re.findall(r"--?[a-z][a-z-]*", what):
            if word not in man:
                missing.append(f"option {word}")
        if description and plain(description) not in man:
            missing.append(f"the description of {what}: {plain(description)!r}")
    status = plain(help_text[help_text.find("Exit status"):]).split(": ", 1)[-1]
    if status not in man:
        missing.append(f"the exit status: {status!r}")
    for item in missing:
        print(f"{page} lacks {item}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
