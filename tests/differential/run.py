#!/usr/bin/env python3
"""The differential test: every LISP script of this folder is run by the
Linux zchost and by zchost.exe under Wine, each in a fresh folder holding the
same files, under ANSI code pages 950 and 936. Standard output, standard
error, the exit status and the folder trees left behind (names and bytes)
must be equal, but for the differences the README's table lists, which
KNOWN below describes.

Usage: run.py WINDOWS_PRESET [SCRIPT.lsp...]
  (mingw: the 32-bit build, mingw64: the 64-bit; every script when none is named)
"""
import os
import shutil
import stat
import struct
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
CODE_PAGES = {"950": "", "936": "-936"}  # code page -> test preset suffix

# Where the platforms must answer differently, per script and code page:
# what Linux and what Windows write there. Each is a row of the README's
# table.
KNOWN = {
    # A drive names nothing on Linux: C:b.txt is b.txt here. On Windows it
    # is b.txt in the current folder of drive C:, which is not this one.
    **{("drives.lsp", cp): {"linux": b"DELETE->C:b.txt\n",
                            "windows": b"DELETE->C:b.txt\nDELETE FAIL\n",
                            "windows_only_files": ["b.txt"]} for cp in CODE_PAGES},
}


def prepare(folder):
    """The files every script starts from."""
    folder.mkdir(parents=True)
    subprocess.run([sys.executable, str(ROOT / "examples" / "make_samples.py"), str(folder)],
                   check=True, stdout=subprocess.DEVNULL)
    for sample in (ROOT / "tests" / "data" / "slides").iterdir():
        if sample.suffix.lower() in (".sld", ".slb"):
            shutil.copyfile(sample, folder / sample.name.split("__", 1)[1])
    for sample in (ROOT / "tests" / "data" / "dbf").glob("**/*.dbf"):
        shutil.copyfile(sample, folder / sample.name)
    make_tables(folder)
    for name, text in [("b.txt", "bb"), ("A.txt", "a"), ("a2.TXT", "a22"), ("Zeta.txt", "z"),
                       ("sub/inner.txt", "in"), ("Sub2/deeper/x.txt", "xx"),
                       ("圖檔/零件.txt", "part"), ("ro.txt", "read only")]:
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    shutil.copyfile(folder / "parts.dbf", folder / "ro.dbf")
    for name in ("ro.txt", "ro.dbf"):
        (folder / name).chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)


def make_table(path, fields, records, version=3, flags=0, driver=0):
    """A dBASE table of character fields: (name, width) pairs; records of
    values, "*" first for a deleted one."""
    header = struct.pack("<BBBBIHH16xBB2x", version, 124, 5, 17, len(records),
                         32 + 32 * len(fields) + 1, 1 + sum(w for _, w in fields), flags, driver)
    for name, width in fields:
        header += name.encode().ljust(11, b"\0") + b"C" + bytes(4) + bytes([width]) + bytes(15)
    body = b""
    for values in records:
        flag = b"*" if values[0] == "*" else b" "
        values = values[1:] if values[0] == "*" else values
        body += flag + b"".join(v.ljust(w, b" ") for v, (_, w) in zip(values, fields))
    path.write_bytes(header + b"\r" + body + b"\x1a")


def make_tables(folder):
    """Tables for the dBASE rules: exact and deleted keys, tables in their
    own code page, layouts refused for writing."""
    fields = [("NO1", 6), ("PNAME", 12), ("UNIT", 4)]
    make_table(folder / "keys.dbf", fields,
               [[b"A200", b"BOLT", b"PCS"], ["*", b"DEL", b"GONE", b"X"], [b"a3", b"NUT", b"BOX"]])
    for name, driver, encoding in (("big5", 0x78, "cp950"), ("gbk", 0x7A, "gbk")):
        make_table(folder / f"{name}.dbf", fields,
                   [["螺栓".encode(encoding), "六角".encode(encoding), "支".encode(encoding)]],
                   driver=driver)
    make_table(folder / "level7.dbf", fields, [[b"A1", b"X", b"Y"]], version=0x04)
    make_table(folder / "indexed.dbf", fields, [[b"A1", b"X", b"Y"]], flags=0x01)


def tree(folder):
    """Every file and folder below `folder`: relative name -> bytes (None
    for a folder)."""
    found = {}
    for path in sorted(folder.rglob("*")):
        found[str(path.relative_to(folder))] = None if path.is_dir() else path.read_bytes()
    return found


def wine_environment(preset):
    out = subprocess.run(["bash", str(ROOT / "scripts" / "wine-env.sh"), preset], check=True,
                         capture_output=True, text=True).stdout
    env = dict(os.environ)
    for line in out.splitlines():
        key, _, value = line.removeprefix("export ").partition("=")
        env[key] = value.strip("'")
    return env


def run(argv, cwd, env):
    proc = subprocess.run(argv, cwd=cwd, env=env, capture_output=True, timeout=300)
    return proc.stdout, proc.stderr, proc.returncode


def main():
    preset = sys.argv[1] if len(sys.argv) > 1 else "mingw64"
    linux = ROOT / "build" / "bin" / "zchost"
    windows = ROOT / f"build-{preset}" / "bin" / "zchost.exe"
    scripts = [HERE / name for name in sys.argv[2:]] or sorted(HERE.glob("*.lsp"))
    work = ROOT / f"build-{preset}" / "differential"
    failures = 0
    for code_page, suffix in CODE_PAGES.items():
        env = wine_environment(preset + suffix)
        wine = "/usr/lib/wine/wine" if env["WINEARCH"] == "win32" else "/usr/lib/wine/wine64"
        if not Path(env["WINEPREFIX"]).is_dir():
            subprocess.run(["bash", "-c", f"source {ROOT}/scripts/wine-prefix.sh"], env=env,
                           check=True)
        for script in scripts:
            shutil.rmtree(work, ignore_errors=True)
            sides = {}
            for side in ("linux", "windows"):
                folder = work / side
                prepare(folder)
                shutil.copyfile(script, folder / script.name)
                # Reals in full: the platforms must agree to the last bit.
                if side == "linux":
                    linux_env = dict(os.environ, ANSI_CODEPAGE=code_page)
                    result = run([str(linux), "--exact-reals", script.name], folder, linux_env)
                else:
                    result = run([wine, str(windows), "--exact-reals", script.name], folder, env)
                sides[side] = (*result, tree(folder))
            (l_out, l_err, l_status, l_tree), (w_out, w_err, w_status, w_tree) = (
                sides["linux"], sides["windows"])
            known = KNOWN.get((script.name, code_page))
            if known:
                # The script prints the difference; each side must print its own.
                if known["linux"] not in l_out or known["windows"] not in w_out:
                    print(f"FAIL {script.name} ({code_page}): the known difference changed")
                    failures += 1
                w_out = w_out.replace(known["windows"], known["linux"])
                for name in known.get("windows_only_files", []):
                    w_tree.pop(name, None)
            # Wine's own diagnostics are not the program's output. Now and
            # then Wine 8 reports a fault inside one of its 32-bit DLLs
            # ("Unhandled page fault on write access to 00000004 at address
            # 70D92A1D", within its uxtheme.dll) while the run's output and
            # status stay whole. Such a line is named and left out of the
            # comparison.
            wine_lines = [line for line in w_err.splitlines(keepends=True)
                          if line.startswith(b"wine: ")]
            if wine_lines:
                print(f"note {script.name} ({code_page}): Wine said "
                      f"{b''.join(wine_lines).decode(errors='replace').strip()}")
                w_err = b"".join(line for line in w_err.splitlines(keepends=True)
                                 if not line.startswith(b"wine: "))
            problems = []
            if l_out != w_out:
                problems.append(f"standard output\n  linux:   {l_out!r}\n  windows: {w_out!r}")
            if l_err != w_err:
                problems.append(f"standard error\n  linux:   {l_err!r}\n  windows: {w_err!r}")
            if l_status != w_status:
                problems.append(f"exit status: linux {l_status}, windows {w_status}")
            for name in sorted(set(l_tree) | set(w_tree)):
                if l_tree.get(name, b"<missing>") != w_tree.get(name, b"<missing>"):
                    problems.append(f"file {name}: linux {l_tree.get(name, '<missing>')!r:.120}, "
                                    f"windows {w_tree.get(name, '<missing>')!r:.120}")
            if problems:
                failures += 1
                print(f"FAIL {script.name} (code page {code_page}):")
                for problem in problems:
                    print("  " + problem)
            else:
                print(f"ok   {script.name} (code page {code_page})")
    print(f"differential test: {failures} failing of {len(scripts) * len(CODE_PAGES)} runs")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
