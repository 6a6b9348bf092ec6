#!/usr/bin/env python3
"""Runs the shell examples of the README and of the man pages as a user
would type them.

Every ```sh block of the README runs, in order, with bash -e -o pipefail, unless the line
before it is a comment <!-- not run: WHY --> (blocks that build, install
system packages or run the whole suite); so does the EXAMPLES section of
each man page in docs/. They run in a scratch folder that
looks like both places the README speaks of: the source tree after a build
(build/bin, build/demo with the demo's samples, examples/) and the installed
package (the tree installed under a prefix that stands for /usr, its bin on
PATH, HOME a fresh folder). Usage:
examples_run.py README CMAKE BUILD_DIR SOURCE_DIR"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SKIP = re.compile(r"<!--\s*not run:")


def blocks(text):
    """(line number, code) of each sh block not marked as not run."""
    found = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        if lines[i].strip() == "```sh":
            start = i
            j = i + 1
            while j < len(lines) and lines[j].strip() != "```":
                j += 1
            skipped = start > 0 and SKIP.search(lines[start - 1])
            if not skipped:
                found.append((start + 1, "\n".join(lines[start + 1:j])))
            i = j
        i += 1
    return found


def man_examples(page):
    """(line number, code) of the .nf ... .fi text under .SH EXAMPLES."""
    lines = page.read_text(encoding="utf-8").splitlines()
    for i, line in enumerate(lines):
        if line.startswith(".SH EXAMPLES"):
            start = next(j for j in range(i, len(lines)) if lines[j] == ".nf")
            end = lines.index(".fi", start)
            code = "\n".join(lines[start + 1:end])
            return [(start + 2, code.replace("\\-", "-").replace("\\&", ""))]
    return []


def main():
    readme, cmake, build, source = sys.argv[1:5]
    build, source = Path(build).resolve(), Path(source).resolve()
    scratch = Path(tempfile.mkdtemp(prefix="examples-run-"))
    try:
        usr = scratch / "usr"
        subprocess.run([cmake, "--install", str(build), "--prefix", str(usr)],
                       check=True, stdout=subprocess.DEVNULL)
        (scratch / "build").mkdir()
        (scratch / "build" / "bin").symlink_to(build / "bin")
        (scratch / "examples").symlink_to(source / "examples")
        subprocess.run([sys.executable, str(source / "examples" / "make_samples.py"),
                        str(scratch / "build" / "demo")], check=True)
        (scratch / "home").mkdir()
        env = dict(os.environ, HOME=str(scratch / "home"),
                   PATH=f"{usr / 'bin'}{os.pathsep}{os.environ.get('PATH', '')}",
                   LC_ALL="C.UTF-8", XDG_CONFIG_HOME=str(scratch / "home" / ".config"))
        env.pop("ANSI_CODEPAGE", None)
        failures = 0
        found = [(readme, line, code)
                 for line, code in blocks(Path(readme).read_text(encoding="utf-8"))]
        for page in sorted((source / "docs").glob("*.1")):
            found += [(page, line, code) for line, code in man_examples(page)]
        for name, line, code in found:
            code = code.replace("/usr/", f"{usr}/")
            result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", code], cwd=scratch,
                                    env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                    text=True, errors="replace", timeout=120)
            if result.returncode != 0:
                failures += 1
                print(f"{name}:{line}: the block exits {result.returncode}\n{code}\n"
                      f"-- stdout:\n{result.stdout}-- stderr:\n{result.stderr}")
        print(f"{len(found)} blocks run, {failures} failed")
        return 1 if failures or not found else 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
