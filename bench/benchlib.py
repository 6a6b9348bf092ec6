"""Helpers for the benchmarks: timing whole processes and their peak memory."""
import os
import resource
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
# The default preset's build, or the one ZC_BENCH_BUILD names (a path under
# the source tree or absolute).
BUILD = ROOT / os.environ.get("ZC_BENCH_BUILD", "build")
BIN = BUILD / "bin"
ZCHOST = BIN / "zchost"


def ensure_packages(*names):
    """Installs the Debian packages named that are missing, as the scripts
    of scripts/ do."""
    subprocess.run(["bash", str(ROOT / "scripts" / "deps.sh"), *names], check=True)


def ensure_built():
    if "ZC_BENCH_BUILD" in os.environ:
        if not ZCHOST.exists():
            sys.exit(f"{ZCHOST} is not built")
        return
    if not ZCHOST.exists():
        subprocess.run(["cmake", "--preset", "default"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "default", "-j", str(os.cpu_count())],
                       cwd=ROOT, check=True, stdout=subprocess.DEVNULL)


def run(argv, cwd, shell=False):
    """Runs a command once; returns its wall-clock seconds."""
    if shell:
        argv = ["sh", "-c", argv]
    start = time.perf_counter()
    proc = subprocess.run(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"benchmark command failed ({proc.returncode}): {argv}")
    return elapsed


def peak_rss(argv, cwd, shell=False):
    """The peak RSS of one run in MiB, measured by GNU time: a child forked
    from this Python process would count Python's pages until it execs."""
    rss_file = Path(cwd) / ".maxrss"
    if shell:
        argv = ["sh", "-c", argv]
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(rss_file)] + list(argv), cwd=cwd,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return int(rss_file.read_text().split()[-1]) / 1024.0


def best(argv, cwd, repeat=5, setup=None, shell=False):
    """The fastest of `repeat` runs (after `setup()` each time) and the
    largest peak RSS of them."""
    times = []
    for _ in range(repeat):
        if setup:
            setup()
        times.append(run(argv, cwd, shell=shell))
    if setup:
        setup()
    return min(times), peak_rss(argv, cwd, shell=shell)


def checked(argv, cwd, expected, repeat=5):
    """Runs a command `repeat` times under GNU time, each run's standard
    output (stripped of blanks at its ends) checked against `expected`: a
    run that fails or prints anything else stops the benchmark, so that it
    never times an error. The least processor time (user and system, from
    getrusage: on a machine shared with other work it varies far less than
    the wall-clock time) and the largest peak RSS in MiB."""
    rss_file = Path(cwd) / ".maxrss"
    times, rss = [], 0.0
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(rss_file)] + list(argv),
                              cwd=cwd, capture_output=True, text=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        times.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
        if proc.returncode != 0:
            sys.exit(f"benchmark command failed ({proc.returncode}): {argv}\n{proc.stderr}")
        if proc.stdout.strip() != expected:
            sys.exit(f"benchmark command printed {proc.stdout.strip()[:200]!r}, "
                     f"not {expected!r}: {argv}")
        rss = max(rss, int(rss_file.read_text().split()[-1]) / 1024.0)
    return min(times), rss


def zchost(expression):
    return [str(ZCHOST), "-l", "vetrix", "-e", expression]


def fresh_folder(name):
    folder = BUILD / "bench" / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


def report(label, ours, floor, goal, rss=None):
    ratio = ours / floor if floor > 0 else float("inf")
    line = f"{label:<34} {ours * 1000:9.2f} ms  floor {floor * 1000:9.2f} ms  ratio {ratio:5.2f}"
    line += f"  (goal <= {goal})"
    if rss is not None:
        line += f"  peak RSS {rss:6.1f} MiB"
    print(line, flush=True)
    return ratio


# ---------------------------------------------------------------- rows with a peer
#
# The file benchmarks (dirfile.py, slides.py, dbf.py, calls.py) print one row
# per measurement: ours, the peer (a standard tool doing the same work), the
# ratio, the goal and our peak RSS. A row whose result was not checked is no
# row: each script runs what it timed once more with its output captured and
# fails (exit status 1) when the result is not what the call should have
# done, so that a refusal or an error is never timed as if it were the work.

HEADER_PRINTED = False
MISSED = []


def capture(argv, cwd):
    """Runs `argv` once; returns its standard output (bytes). A failing exit
    status fails the benchmark."""
    proc = subprocess.run(argv, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit(f"benchmark command failed ({proc.returncode}): {argv}\n"
                 f"{proc.stderr.decode(errors='replace')}")
    return proc.stdout


def expect(condition, what):
    """Fails the benchmark, saying what, unless `condition` holds."""
    if not condition:
        sys.exit(f"benchmark check failed: {what}")


def row(label, ours, peer, peer_name, goal, rss, rss_goal=None):
    """Prints one row. `goal` is the greatest ratio allowed (None: no goal,
    the row is for information); `rss_goal` the greatest peak RSS in MiB."""
    global HEADER_PRINTED
    if not HEADER_PRINTED:
        print(f"{'row':<52} {'ours ms':>10} {'peer ms':>10} {'peer':<14} {'ratio':>6} "
              f"{'goal':>6} {'RSS MiB':>8}", flush=True)
        HEADER_PRINTED = True
    ratio = ours / peer if peer > 0 else float("inf")
    met = goal is None or ratio <= goal
    if rss_goal is not None:
        met = met and rss <= rss_goal
    goal_text = "-" if goal is None else f"<={goal:g}"
    rss_text = f"{rss:8.1f}" + (f" (goal <= {rss_goal:g})" if rss_goal is not None else "")
    print(f"{label:<52} {ours * 1000:10.2f} {peer * 1000:10.2f} {peer_name:<14} {ratio:6.2f} "
          f"{goal_text:>6} {rss_text}{'' if met else '  MISSED'}", flush=True)
    if not met:
        MISSED.append(label)
    return ratio


def summary():
    """Prints which rows missed their goals; the exit status stays 0 (a
    missed goal is a figure, not a failure)."""
    if MISSED:
        print("missed goals: " + "; ".join(MISSED))
    else:
        print("every goal met")


def big_sizes():
    """Whether the slow sizes were asked for (--big)."""
    return "--big" in sys.argv[1:]
