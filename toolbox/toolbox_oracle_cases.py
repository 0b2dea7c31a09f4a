#!/usr/bin/env python3
"""Writes the cases MatrixToolbox_test checks the add-in against: each a worksheet call, its
arguments, and numpy's or scipy's answer put in the add-in's conventions (signs, order), or the
error value it must give. Answers that are not unique (a null-space basis) are written as the
projector X X' that is. Used at build time only; nothing of it ships.

Format, one item a line: "case <label> <function> <rtol> <compare>", where compare is "values" or
"projector", then one line per argument ("matrix r c v...", "number x", "text s", "missing"), then
"want matrix r c v..." or "want error <code>"."""
import sys

import numpy as np
import scipy.linalg as sl

rng = np.random.default_rng(20261208)
eps = np.finfo(float).eps
VALUE, NUM = 15, 36
out = []


def matrix(a):
    a = np.atleast_2d(np.asarray(a, dtype=float))
    return "matrix %d %d %s" % (a.shape[0], a.shape[1], " ".join("%.17g" % x for x in a.ravel()))


def case(label, function, args, want, rtol=1e-9, compare="values"):
    out.append("case %s %s %.3g %s" % (label, function, rtol, compare))
    for arg in args:
        if isinstance(arg, str):
            out.append(arg)
        elif np.isscalar(arg):
            out.append("number %.17g" % arg)
        else:
            out.append(matrix(arg))
    out.append("want error %d" % want[1] if isinstance(want, tuple) else "want " + matrix(want))


def error(code):
    return ("error", code)


def flip_columns(a, b=None):
    """Largest-magnitude component of each column of a non-negative; b's columns follow a's."""
    a = a.copy()
    b = None if b is None else b.copy()
    for j in range(a.shape[1]):
        if a[np.argmax(np.abs(a[:, j])), j] < 0:
            a[:, j] *= -1
            if b is not None:
                b[:, j] *= -1
    return a, b


def tolerance(a):
    s = np.linalg.svd(a, compute_uv=False)
    return max(1e-9, 1e-13 * (s[0] / s[-1] if s[-1] > 0 else 1e16))


def hilbert(n):
    return sl.hilbert(n)


square = {"random5": rng.standard_normal((5, 5)), "one": np.array([[-2.5]]), "hilbert8": hilbert(8),
          "hilbert11": hilbert(11)}
rectangular = {"tall7x3": rng.standard_normal((7, 3)), "wide3x5": rng.standard_normal((3, 5))}
singular = np.array([[1.0, 2, 3], [4, 5, 6], [7, 8, 9]])
rank_two = rng.standard_normal((6, 2)) @ rng.standard_normal((2, 4))
big = rng.standard_normal((300, 300))

for label, a in list(square.items()) + [("big300", big)]:
    t = tolerance(a)
    b = rng.standard_normal((a.shape[0], 2))
    case(label, "MTX.SOLVE", [a, b], np.linalg.solve(a, b), t)
    case(label, "MTX.INV", [a], np.linalg.inv(a), t)
    if label == "big300":
        continue
    case(label, "MTX.DET", [a], np.linalg.det(a), t)
    p, l, u = sl.lu(a)
    for part, want in (("L", l), ("U", u), ("P", p.T)):
        case(label, "MTX.LU", [a, "text " + part], want, t)
    case(label, "MTX.TRACE", [a], np.trace(a))
    case(label, "MTX.POWER", [a, 3], np.linalg.matrix_power(a, 3), t)
    case(label, "MTX.POWER", [a, -2], np.linalg.matrix_power(a, -2), t * t * 1e9)
    case(label, "MTX.EXPM", [a], sl.expm(a), 1e-9 * max(1, np.linalg.norm(a)))
    case(label, "MTX.COND", [a], np.linalg.cond(a), t)
    s = (a + a.T) / 2
    w, v = np.linalg.eigh(s)
    case(label, "MTX.EIGSYM", [s, "number 1"], w[:, None], t)
    case(label, "MTX.EIGSYM", [s, "number 2"], flip_columns(v)[0], t)
    spd = a @ a.T + np.eye(a.shape[0])
    case(label, "MTX.CHOL", [spd], np.linalg.cholesky(spd), tolerance(spd))

# hilbert11's smallest singular value lies at the cutoff, where LAPACK and Eigen may decide apart.
well_separated = {k: v for k, v in square.items() if k != "hilbert11"}
case("hilbert12", "MTX.RANK", [hilbert(12)], np.linalg.matrix_rank(hilbert(12)))
for label, a in list(well_separated.items()) + list(rectangular.items()) + [("singular", singular),
                                                                          ("ranktwo", rank_two), ("big300", big)]:
    t = tolerance(a) if np.linalg.matrix_rank(a) == min(a.shape) else 1e-9
    u, s, vt = np.linalg.svd(a, full_matrices=False)
    case(label, "MTX.SVD", [a, "text S"], s[:, None], 1e-12)
    if label == "big300":
        case(label, "MTX.RANK", [a], np.linalg.matrix_rank(a))
        case(label, "MTX.COND", [a], np.linalg.cond(a), t)
        b = rng.standard_normal((a.shape[0], 1))
        case(label, "MTX.LSTSQ", [a, b], np.linalg.lstsq(a, b, rcond=None)[0], t)
        continue
    # Distinct and non-zero singular values: unique vectors, up to the signs fixed here.
    if np.all(np.diff(s) < -1e-8 * s[0]) and s[-1] > 1e-8 * s[0]:
        v, u = flip_columns(vt.T, u)
        case(label, "MTX.SVD", [a, "text U"], u, t)
        case(label, "MTX.SVD", [a, "text V"], v, t)
    case(label, "MTX.PINV", [a], np.linalg.pinv(a, rcond=max(a.shape) * eps), t)
    b = rng.standard_normal((a.shape[0], 2))
    case(label, "MTX.LSTSQ", [a, b], np.linalg.lstsq(a, b, rcond=max(a.shape) * eps)[0], t)
    case(label, "MTX.RANK", [a], np.linalg.matrix_rank(a))
    case(label, "MTX.RANK", [a, 1e-6], np.linalg.matrix_rank(a, tol=1e-6 * s[0]))
    for name, order in (("1", 1), ("2", 2), ("inf", np.inf), ("fro", "fro")):
        case(label, "MTX.NORM", [a, "text " + name], np.linalg.norm(a, order))
    n = sl.null_space(a, rcond=max(a.shape) * eps)
    if n.shape[1] > 0:
        case(label, "MTX.NULL", [a], n @ n.T, 1e-9, "projector")
    else:
        case(label, "MTX.NULL", [a], error(NUM))
    if min(a.shape) > 1 and np.linalg.matrix_rank(a) == min(a.shape):
        q, r = np.linalg.qr(a)
        signs = np.where(np.diag(r) < 0, -1.0, 1.0)
        case(label, "MTX.QR", [a, "text Q"], q * signs, t)
        case(label, "MTX.QR", [a, "text R"], r * signs[:, None], t)

# General eigenproblems, complex pairs included, as real and imaginary column pairs.
for label, a in (("random6", rng.standard_normal((6, 6))), ("rotation", np.array([[0.0, -1], [1, 0]])),
                 ("one", np.array([[3.0]])), ("triangular", np.array([[2.0, 1, 0], [0, 3, 1], [0, 0, 5]]))):
    w, v = np.linalg.eig(a)
    order = sorted(range(len(w)), key=lambda i: (-w[i].real, -w[i].imag))
    w, v = w[order], v[:, order]
    for j in range(v.shape[1]):
        v[:, j] /= np.linalg.norm(v[:, j])
        largest = v[np.argmax(np.abs(v[:, j])), j]
        v[:, j] *= abs(largest) / largest
    pairs = lambda z: np.column_stack([c for j in range(z.shape[1]) for c in (z[:, j].real, z[:, j].imag)])
    case(label, "MTX.EIG", [a, "number 1", "number 1"], pairs(w[:, None]), 1e-9)
    case(label, "MTX.EIG", [a, "number 2", "number 1"], pairs(v), 1e-8)

x, y, z = rng.standard_normal((3, 4)), rng.standard_normal((4, 2)), rng.standard_normal((2, 5))
case("three", "MTX.MMULT", [x, y, z], x @ y @ z)
case("pair", "MTX.KRON", [x, y], np.kron(x, y))

# What cannot be done, and what is not a matrix of numbers.
case("singular", "MTX.INV", [singular], error(NUM))
case("hilbert12", "MTX.INV", [hilbert(12)], error(NUM))
case("singular", "MTX.COND", [np.zeros((2, 2))], error(NUM))
case("indefinite", "MTX.CHOL", [np.array([[1.0, 2], [2, 1]])], error(NUM))
case("overflow", "MTX.EXPM", [np.full((2, 2), 800.0)], error(NUM))
case("rectangular", "MTX.INV", [rng.standard_normal((2, 3))], error(VALUE))
case("text", "MTX.DET", ["text abc"], error(VALUE))
case("missing", "MTX.TRACE", ["missing"], error(VALUE))
case("selector", "MTX.SVD", [np.eye(2), "number 4"], error(VALUE))
case("fraction", "MTX.POWER", [np.eye(2), 0.5], error(VALUE))
case("negative", "MTX.RANK", [np.eye(2), -1.0], error(VALUE))

with open(sys.argv[1], "w") as f:
    f.write("\n".join(out) + "\n")
