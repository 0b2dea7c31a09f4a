#!/usr/bin/python3
"""numpy and scipy on one thread, on matrices of the sizes toolbox_bench uses, and the table of
both with MatrixToolbox's speed goals.

    bench/lapack_reference.py                      numpy's times alone
    bench/lapack_reference.py --toolbox OUT.json   the README table, OUT.json written by
                                                   toolbox_bench --benchmark_out=OUT.json

numpy uses whichever libblas.so.3 and liblapack.so.3 the loader finds: Debian's reference ones
unless LD_LIBRARY_PATH names OpenBLAS's folder (README.md says how).
"""
import os

# Before numpy loads its BLAS: one thread, as the toolbox computes.
os.environ["OPENBLAS_NUM_THREADS"] = "1"
os.environ["OMP_NUM_THREADS"] = "1"

import argparse  # noqa: E402
import json  # noqa: E402
import statistics  # noqa: E402
import time  # noqa: E402

import numpy as np  # noqa: E402
import scipy.linalg  # noqa: E402

SIZES = (100, 300, 1000)
METHODS = ("inverse", "qr", "svd", "symmetric_eigen", "general_eigen", "least_squares")


def problem(n):
    generator = np.random.default_rng(20261208 + n)
    a = generator.uniform(-1, 1, (n, n))
    s = a.T @ a / n + np.eye(n)
    t = generator.uniform(-1, 1, (2 * n, n))
    b = generator.uniform(-1, 1, (2 * n, 1))
    return a, s, t, b


def work(method, a, s, t, b):
    return {
        "inverse": lambda: np.linalg.inv(a),
        "qr": lambda: np.linalg.qr(a, mode="reduced"),
        "svd": lambda: np.linalg.svd(a, full_matrices=False),
        "symmetric_eigen": lambda: np.linalg.eigh(s),
        "general_eigen": lambda: scipy.linalg.eig(a),
        "least_squares": lambda: np.linalg.lstsq(t, b, rcond=None),
    }[method]


def median_ms(step, n):
    runs = 3 if n >= 1000 else 15
    seconds = []
    for _ in range(runs):
        # Processor time: on a shared machine the wall clock mostly measures the wait for a core.
        start = time.process_time()
        step()
        seconds.append(time.process_time() - start)
    return statistics.median(seconds) * 1e3


def lapack_times():
    times = {}
    for n in SIZES:
        matrices = problem(n)
        for method in METHODS:
            times[(method, n)] = median_ms(work(method, *matrices), n)
    return times


def benchmark_times(path):
    """Milliseconds by (side, method, n), and the end-to-end ratios by (method, n)."""
    with open(path) as file:
        runs = json.load(file)["benchmarks"]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    times, ratios = {}, {}
    for run in runs:
        if run.get("error_occurred") or run.get("run_type") == "aggregate":
            continue
        side, method, n = run["name"].split("/")[:3]
        times[(side, method, int(n))] = run["cpu_time"] * scale[run["time_unit"]]
        if side == "EndToEnd":
            ratios[(method, int(n))] = run["ratio"]
    return times, ratios


def mark(met):
    return "met" if met else "**missed**"


def table(lapack, times, ratios):
    lines = [
        "| method | n | LAPACK ms | toolbox ms | Newmat ms | toolbox / LAPACK | toolbox / Newmat "
        "| end to end / numerics | goals |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---|",
    ]
    for method in METHODS:
        for n in SIZES:
            ours = times.get(("Toolbox", method, n))
            newmat = times.get(("Newmat", method, n))
            ratio = ratios.get((method, n))
            goals = []
            if n == 1000 and ours is not None:
                goals.append("within 2x LAPACK: " + mark(ours <= 2 * lapack[(method, n)]))
            if n >= 300 and method in ("inverse", "svd", "symmetric_eigen") and None not in (ours, newmat):
                goals.append("faster than Newmat: " + mark(ours < newmat))
            if ratio is not None:
                goals.append("end to end within 1.1x: " + mark(ratio <= 1.1))
            cells = [
                method, str(n), "%.2f" % lapack[(method, n)],
                "-" if ours is None else "%.2f" % ours,
                "-" if newmat is None else "%.2f" % newmat,
                "-" if ours is None else "%.2f" % (ours / lapack[(method, n)]),
                "-" if None in (ours, newmat) else "%.2f" % (ours / newmat),
                "-" if ratio is None else "%.3f" % ratio,
                "; ".join(goals),
            ]
            lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def lapack_in_use():
    """The LAPACK library numpy loaded: Debian's reference one unless LD_LIBRARY_PATH says otherwise."""
    with open("/proc/self/maps") as maps:
        paths = {line.split()[-1] for line in maps if "/liblapack" in line}
    return ", ".join(sorted(paths)) or "unknown"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--toolbox", metavar="OUT.json", help="toolbox_bench's JSON output")
    arguments = parser.parse_args()
    lapack = lapack_times()
    print("LAPACK: " + lapack_in_use())
    if arguments.toolbox is None:
        for (method, n), ms in sorted(lapack.items(), key=lambda item: (METHODS.index(item[0][0]), item[0][1])):
            print("%-16s %5d %10.2f ms" % (method, n, ms))
        return
    times, ratios = benchmark_times(arguments.toolbox)
    print(table(lapack, times, ratios))


if __name__ == "__main__":
    main()
