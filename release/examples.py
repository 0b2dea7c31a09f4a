"""What the examples workbook shows: for each function its inputs and its cases, good ones and the
ones it refuses, each with a line saying what it shows. The results are not here: the add-in
computes them through xllhost when the workbook is made (see workbook.py)."""

import dataclasses


@dataclasses.dataclass
class Input:
    name: str  # how the cases' formulas refer to it: {name}
    label: str
    rows: list  # numbers, texts, True/False, None for a blank cell


@dataclasses.dataclass
class Case:
    formula: str  # without '=', {name} standing for an input's range
    note: str


@dataclasses.dataclass
class Sheet:
    name: str
    function: str
    inputs: list
    cases: list


SPD3 = [[4, 1, 2], [1, 5, 3], [2, 3, 6]]
WIDE = [[1, 2, 3], [4, 5, 6]]
TALL = [[1, 2], [3, 4], [5, 6]]
SINGULAR = [[1, 2], [2, 4]]
WITH_TEXT = [[1, "two"], [3, 4]]

SHEETS = [
    Sheet("Invert", "mtrx_Invert", [
        Input("A", "A: 3 x 3", SPD3),
        Input("B", "B: 2 x 3, not square", WIDE),
        Input("S", "S: singular (row 2 is twice row 1)", SINGULAR),
        Input("T", "T: a cell holds a text", WITH_TEXT),
        Input("E", "E: a cell is blank", [[1, None], [3, 4]]),
    ], [
        Case("mtrx_Invert({A})", "The inverse of A. The tiny number stands for an exact 0: rounding in the last digit."),
        Case("mtrx_Invert(4)", "A single number is a 1 x 1 matrix: its inverse is 1/4."),
        Case("mtrx_Invert({B})", "A matrix that is not square has no inverse: the message says so."),
        Case("mtrx_Invert({S})", "A singular matrix has no inverse either: #VALUE!."),
        Case("mtrx_Invert({T})", "A text in the range: the message names the argument, mtrx."),
        Case("mtrx_Invert({E})", "A blank cell is no number either: the same message."),
    ]),
    Sheet("Transpose", "mtrx_Transpose", [
        Input("M", "M: 2 x 3", WIDE),
        Input("R", "R: one row", [[1, 2, 3, 4]]),
        Input("T", "T: a cell holds a text", WITH_TEXT),
    ], [
        Case("mtrx_Transpose({M})", "The 3 x 2 transpose: row i is column i of M."),
        Case("mtrx_Transpose({R})", "A row becomes a column."),
        Case("mtrx_Transpose({T})", "A text in the range: a message instead of a result."),
    ]),
    Sheet("Determinant", "mtrx_Determinant", [
        Input("A", "A: 2 x 2", [[1, 2], [3, 4]]),
        Input("B", "B: 3 x 3", SPD3),
        Input("S", "S: singular", SINGULAR),
        Input("N", "N: 2 x 3, not square", WIDE),
        Input("T", "T: a cell holds a text", WITH_TEXT),
    ], [
        Case("mtrx_Determinant({A})", "-2, formed from the LU factors: the last digit may be off."),
        Case("mtrx_Determinant({B})", "70, up to rounding in the last digit."),
        Case("mtrx_Determinant({S})", "A singular matrix: 0."),
        Case("mtrx_Determinant({N})", "Not square: #VALUE!, and no message."),
        Case("mtrx_Determinant({T})", "A text in the range: the conversion message."),
    ]),
    Sheet("Row", "mtrx_Row", [
        Input("M", "M: 2 x 3", WIDE),
        Input("n", "n: a row number in a cell", [[2]]),
    ], [
        Case("mtrx_Row({M}, 2)", "Row 2 of M, as a row."),
        Case("mtrx_Row({M}, 2.7)", "The fraction is dropped: row 2 again."),
        Case("mtrx_Row({M}, {n})", "The row number can come from a cell."),
        Case("mtrx_Row({M}, 3)", "M has no row 3: #VALUE!."),
        Case("mtrx_Row({M}, 0)", "Rows count from 1: row 0 is #VALUE! too."),
    ]),
    Sheet("Column", "mtrx_Column", [
        Input("M", "M: 2 x 3", WIDE),
    ], [
        Case("mtrx_Column({M}, 3)", "Column 3 of M, as a column."),
        Case("mtrx_Column({M}, 1.5)", "The fraction is dropped: column 1."),
        Case("mtrx_Column({M}, 4)", "M has no column 4: #VALUE!."),
        Case("mtrx_Column({M}, -1)", "Nor a column -1: #VALUE!."),
    ]),
    Sheet("LinEqSolve", "mtrx_LinEqSolve", [
        Input("A", "A: the coefficients, 3 x 3", SPD3),
        Input("y", "y: the right-hand side, a column", [[3], [1], [2]]),
        Input("r", "r: the same numbers as a row", [[3, 1, 2]]),
        Input("S", "S: singular coefficients", SINGULAR),
        Input("s", "s: a right-hand side for S", [[1], [1]]),
    ], [
        Case("mtrx_LinEqSolve({A}, {y})", "The x with A x = y, one row per equation."),
        Case("mtrx_LinEqSolve({A}, {r})", "The right-hand side must be a column: a row is refused."),
        Case("mtrx_LinEqSolve({A}, {s})", "It must also have one row per row of A."),
        Case("mtrx_LinEqSolve({S}, {s})", "Singular coefficients give no unique solution: #VALUE!."),
    ]),
    Sheet("Cholesky", "mtrx_Cholesky", [
        Input("A", "A: symmetric positive definite", [[4, 2], [2, 3]]),
        Input("U", "U: as A, but 100 above the diagonal", [[4, 100], [2, 3]]),
        Input("N", "N: symmetric, not positive definite", [[1, 2], [2, 1]]),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("mtrx_Cholesky({A})", "L with A = L times its transpose: lower triangular, positive diagonal."),
        Case("mtrx_Cholesky({U})", "The same L: only the cells on and below the diagonal are read."),
        Case("mtrx_Cholesky({N})", "Not positive definite: #VALUE!."),
        Case("mtrx_Cholesky({B})", "Not square: the message says so."),
    ]),
    Sheet("QR", "mtrx_QRDecomposition_R", [
        Input("A", "A: 2 x 2", [[3, 1], [4, 2]]),
        Input("P", "P: A with its first column negated", [[-3, 1], [-4, 2]]),
        Input("T", "T: 3 x 2, tall", TALL),
        Input("Z", "Z: a column of zeros", [[0, 1], [0, 2]]),
    ], [
        Case("mtrx_QRDecomposition_R({A})", "R of A = Q R: upper triangular."),
        Case("mtrx_QRDecomposition_R({P})", "The diagonal of R is never negative: the first row's other sign follows."),
        Case("mtrx_QRDecomposition_R({T})", "A tall matrix: the 2 x 2 triangle over a row of zeros, 3 x 2 in all."),
        Case("mtrx_QRDecomposition_R({Z})", "A column that depends on those before it: #VALUE!."),
    ]),
    Sheet("SVD", "mtrx_SVDDecomposition", [
        Input("A", "A: 3 x 2", TALL),
        Input("W", "W: 2 x 3, wide", WIDE),
    ], [
        Case("mtrx_SVDDecomposition({A}, 1)", "U, 3 x 3 and orthogonal; its third column completes the first two."),
        Case("mtrx_SVDDecomposition({A}, 2)", "D, 3 x 2: the singular values on the diagonal, largest first."),
        Case("mtrx_SVDDecomposition({A}, 3)", "V, 2 x 2, not transposed: A = U D V'."),
        Case("mtrx_SVDDecomposition({W}, 3)", "Fewer rows than columns: #VALUE!. Decompose the transpose instead."),
        Case("mtrx_SVDDecomposition({A}, 4)", "param must be 1, 2 or 3."),
    ]),
    Sheet("quickSort", "mtrx_quickSort", [
        Input("c", "c: a column", [[3], [1], [2]]),
        Input("r", "r: a row", [[3, 1, 2]]),
        Input("t", "t: a number as a text, and a blank cell", [["7"], [None], [2]]),
        Input("M", "M: 2 x 2", [[4, 2], [2, 3]]),
    ], [
        Case("mtrx_quickSort({c}, 1)", "Ascending."),
        Case("mtrx_quickSort({c}, 2)", "Descending."),
        Case("mtrx_quickSort({r}, 1)", "A row comes back as a column."),
        Case("mtrx_quickSort({t}, 1)", "Excel converts the cells: the text \"7\" is 7, the blank cell 0."),
        Case("mtrx_quickSort({M}, 1)", "More than one row and column: refused."),
        Case("mtrx_quickSort({c}, 3)", "param must be 1 or 2."),
    ]),
    Sheet("EV", "mtrx_EVDecomposition", [
        Input("S", "S: symmetric", [[2, 1], [1, 2]]),
        Input("U", "U: not symmetric; its lower triangle is that of diag(2, 1)", [[2, 9], [0, 1]]),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("mtrx_EVDecomposition({S}, 2)", "D: the eigenvalues 1 and 3 on the diagonal, smallest first."),
        Case("mtrx_EVDecomposition({S}, 1)", "V: column k is the unit eigenvector of the k-th eigenvalue; its sign is as computed."),
        Case("mtrx_EVDecomposition({U}, 2)", "Only the lower triangle is read: the eigenvalues of diag(2, 1)."),
        Case("mtrx_EVDecomposition({B}, 1)", "Not square: the message says so."),
        Case("mtrx_EVDecomposition({S}, 3)", "param must be 1 or 2."),
    ]),
]

# MatrixToolbox: every failure is an error value; MTX.WHY tells the reason.
SYM2 = [[2, 1], [1, 2]]
ROTATION = [[0, -1], [1, 0]]
RANK1 = [[1, 2], [2, 4], [3, 6]]

TOOLBOX_SHEETS = [
    Sheet("INV", "MTX.INV", [
        Input("A", "A: 3 x 3", SPD3),
        Input("S", "S: singular (row 2 is twice row 1)", SINGULAR),
        Input("B", "B: 2 x 3, not square", WIDE),
        Input("T", "T: a cell holds a text", WITH_TEXT),
    ], [
        Case("MTX.INV({A})", "The inverse of A."),
        Case("MTX.INV({S})", "A singular matrix has no inverse: #NUM!. MTX.PINV gives its pseudo-inverse."),
        Case("MTX.INV({B})", "Not square: #VALUE!."),
        Case("MTX.INV({T})", "A text in the range: #VALUE!, as MINVERSE gives."),
    ]),
    Sheet("DET", "MTX.DET", [
        Input("A", "A: 2 x 2", [[1, 2], [3, 4]]),
        Input("S", "S: singular", SINGULAR),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("MTX.DET({A})", "-2, up to rounding in the last digit."),
        Case("MTX.DET({S})", "A singular matrix: 0, not an error."),
        Case("MTX.DET({B})", "Not square: #VALUE!."),
    ]),
    Sheet("SOLVE", "MTX.SOLVE", [
        Input("A", "A: the coefficients, 3 x 3", SPD3),
        Input("B", "B: two right-hand sides, one per column", [[3, 1], [1, 0], [2, 0]]),
        Input("S", "S: singular coefficients", SINGULAR),
        Input("s", "s: a right-hand side for S", [[1], [1]]),
    ], [
        Case("MTX.SOLVE({A}, {B})", "X with A X = B: one column of X per column of B."),
        Case("MTX.SOLVE({A}, {s})", "B needs one row per row of A: #VALUE!."),
        Case("MTX.SOLVE({S}, {s})", "Singular coefficients: #NUM!. MTX.LSTSQ gives a least-squares answer."),
    ]),
    Sheet("MMULT", "MTX.MMULT", [
        Input("A", "A: 2 x 3", WIDE),
        Input("B", "B: 3 x 2", TALL),
        Input("C", "C: 2 x 2", SYM2),
    ], [
        Case("MTX.MMULT({A}, {B})", "A B, 2 x 2."),
        Case("MTX.MMULT({A}, {B}, {C})", "A B C: up to six matrices, multiplied left to right."),
        Case("MTX.MMULT({A}, {C})", "A has 3 columns, C 2 rows: the shapes do not fit, #VALUE!."),
    ]),
    Sheet("LU", "MTX.LU", [
        Input("A", "A: 3 x 3", [[1, 2, 3], [4, 5, 6], [7, 8, 10]]),
    ], [
        Case("MTX.LU({A})", "L, unit lower triangular: the default part."),
        Case("MTX.LU({A}, \"U\")", "U, upper triangular; \"U\" is part 2."),
        Case("MTX.LU({A}, 3)", "P, the row permutation: P A = L U."),
        Case("MTX.LU({A}, 4)", "There is no part 4: #VALUE!."),
    ]),
    Sheet("QR", "MTX.QR", [
        Input("A", "A: 3 x 2, tall", TALL),
    ], [
        Case("MTX.QR({A})", "Thin Q, 3 x 2, orthonormal columns."),
        Case("MTX.QR({A}, \"R\")", "Thin R, 2 x 2, upper triangular with a non-negative diagonal."),
        Case("MTX.QR({A}, 1, TRUE)", "Full Q, 3 x 3."),
        Case("MTX.QR({A}, 2, TRUE)", "Full R, 3 x 2: the triangle over a row of zeros."),
        Case("MTX.QR({A}, \"X\")", "No part is called \"X\": #VALUE!."),
    ]),
    Sheet("CHOL", "MTX.CHOL", [
        Input("A", "A: symmetric positive definite", [[4, 2], [2, 3]]),
        Input("N", "N: symmetric, not positive definite", [[1, 2], [2, 1]]),
        Input("U", "U: not symmetric", [[4, 100], [2, 3]]),
    ], [
        Case("MTX.CHOL({A})", "L with A = L L', lower triangular."),
        Case("MTX.CHOL({N})", "Not positive definite: #NUM!."),
        Case("MTX.CHOL({U})", "Not symmetric: #NUM!. The whole matrix is read, not one triangle."),
    ]),
    Sheet("SVD", "MTX.SVD", [
        Input("A", "A: 3 x 2", TALL),
    ], [
        Case("MTX.SVD({A})", "U, 3 x 2: the thin factor."),
        Case("MTX.SVD({A}, \"S\")", "S, the singular values as a column, largest first."),
        Case("MTX.SVD({A}, 3)", "V, 2 x 2, not transposed: A = U diag(S) V'."),
        Case("MTX.SVD({A}, 0)", "Parts count from 1: #VALUE!."),
    ]),
    Sheet("EIGSYM", "MTX.EIGSYM", [
        Input("S", "S: symmetric", SYM2),
        Input("N", "N: not symmetric", [[2, 9], [0, 1]]),
    ], [
        Case("MTX.EIGSYM({S})", "The eigenvalues 1 and 3 as a column, smallest first."),
        Case("MTX.EIGSYM({S}, \"vectors\")", "One unit eigenvector per column, in the same order."),
        Case("MTX.EIGSYM({N})", "Not symmetric: #NUM!. MTX.EIG takes any square matrix."),
    ]),
    Sheet("EIG", "MTX.EIG", [
        Input("R", "R: a rotation by a quarter turn", ROTATION),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("MTX.EIG({R})", "The eigenvalues i and -i as Excel complex texts, which IMREAL and IMAGINARY read."),
        Case("MTX.EIG({R}, 1, TRUE)", "The same as numbers: real parts, then imaginary parts."),
        Case("MTX.EIG({R}, \"vectors\")", "One unit eigenvector per column, largest component real and positive."),
        Case("MTX.EIG({B})", "Not square: #VALUE!."),
    ]),
    Sheet("PINV", "MTX.PINV", [
        Input("S", "S: 3 x 2 of rank 1", RANK1),
        Input("N", "N: nearly singular", [[1, 1], [1, 1.000001]]),
    ], [
        Case("MTX.PINV({S})", "The pseudo-inverse, 2 x 3, although S has no inverse."),
        Case("MTX.PINV({N})", "N's tiny singular value counts: huge elements, as in N's inverse."),
        Case("MTX.PINV({N}, 0.001)", "With a tolerance of 1E-3 it counts as 0: the pseudo-inverse of a rank 1 matrix."),
        Case("MTX.PINV({S}, -1)", "A negative tolerance: #VALUE!."),
    ]),
    Sheet("LSTSQ", "MTX.LSTSQ", [
        Input("A", "A: 3 x 2, more equations than unknowns", [[1, 0], [1, 1], [1, 2]]),
        Input("y", "y: the right-hand side", [[1], [2], [4]]),
        Input("S", "S: singular", [[1, 1], [1, 1]]),
        Input("s", "s: a right-hand side for S", [[2], [2]]),
    ], [
        Case("MTX.LSTSQ({A}, {y})", "The straight line's intercept and slope fitting y best."),
        Case("MTX.LSTSQ({S}, {s})", "Of all the solutions, the shortest."),
        Case("MTX.LSTSQ({A}, {s})", "The right-hand side needs one row per row of A: #VALUE!."),
    ]),
    Sheet("RANK", "MTX.RANK", [
        Input("A", "A: 3 x 3", SPD3),
        Input("S", "S: 3 x 2 of rank 1", RANK1),
        Input("T", "T: a cell holds a text", WITH_TEXT),
    ], [
        Case("MTX.RANK({A})", "Full rank: 3."),
        Case("MTX.RANK({S})", "Each row is a multiple of the first: 1."),
        Case("MTX.RANK({T})", "A text in the range: #VALUE!."),
    ]),
    Sheet("NULL", "MTX.NULL", [
        Input("S", "S: 2 x 2, singular", SINGULAR),
        Input("A", "A: 3 x 3, invertible", SPD3),
    ], [
        Case("MTX.NULL({S})", "A unit vector x with S x = 0."),
        Case("MTX.NULL({A})", "Only 0 solves A x = 0: there is no basis, #NUM!."),
    ]),
    Sheet("COND", "MTX.COND", [
        Input("A", "A: 2 x 2", SYM2),
        Input("S", "S: singular", SINGULAR),
    ], [
        Case("MTX.COND({A})", "The largest singular value over the smallest: 3."),
        Case("MTX.COND({S})", "Singular: #NUM!."),
    ]),
    Sheet("NORM", "MTX.NORM", [
        Input("A", "A: 2 x 2", [[1, -2], [3, 4]]),
    ], [
        Case("MTX.NORM({A})", "The Frobenius norm, the default: the square root of the sum of squares."),
        Case("MTX.NORM({A}, 1)", "The largest column sum of magnitudes."),
        Case("MTX.NORM({A}, \"inf\")", "The largest row sum of magnitudes."),
        Case("MTX.NORM({A}, 2)", "The largest singular value."),
        Case("MTX.NORM({A}, 3)", "As with every selector, a number picks the choice in its place: 3 is \"inf\"."),
        Case("MTX.NORM({A}, \"max\")", "No norm is called \"max\": #VALUE!."),
    ]),
    Sheet("TRACE", "MTX.TRACE", [
        Input("A", "A: 3 x 3", SPD3),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("MTX.TRACE({A})", "4 + 5 + 6."),
        Case("MTX.TRACE({B})", "Not square: #VALUE!."),
    ]),
    Sheet("POWER", "MTX.POWER", [
        Input("A", "A: 2 x 2", [[1, 1], [1, 0]]),
        Input("S", "S: singular", SINGULAR),
    ], [
        Case("MTX.POWER({A}, 5)", "A times itself five times."),
        Case("MTX.POWER({A}, 0)", "The identity."),
        Case("MTX.POWER({A}, -1)", "A negative exponent: a power of the inverse."),
        Case("MTX.POWER({A}, 1.5)", "Only whole exponents: #VALUE!."),
        Case("MTX.POWER({S}, -1)", "A singular matrix has no inverse: #NUM!."),
    ]),
    Sheet("EXPM", "MTX.EXPM", [
        Input("R", "R: the generator of rotations", ROTATION),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("MTX.EXPM({R})", "The rotation by one radian: cos 1 and sin 1."),
        Case("MTX.EXPM({B})", "Not square: #VALUE!."),
    ]),
    Sheet("KRON", "MTX.KRON", [
        Input("A", "A: 2 x 2", [[1, 2], [3, 4]]),
        Input("I", "I: the 2 x 2 identity", [[1, 0], [0, 1]]),
        Input("T", "T: a cell holds a text", WITH_TEXT),
    ], [
        Case("MTX.KRON({A}, {I})", "Each element of A times I: 4 x 4."),
        Case("MTX.KRON({A}, {T})", "A text in the range: #VALUE!."),
    ]),
    Sheet("WHY", "MTX.WHY", [
        Input("S", "S: singular", SINGULAR),
        Input("A", "A: 3 x 3", SPD3),
        Input("B", "B: 2 x 3, not square", WIDE),
    ], [
        Case("MTX.WHY(\"MTX.INV\", {S})", "Why MTX.INV gives #NUM! on S."),
        Case("MTX.WHY(\"det\", {B})", "The prefix may be left out and case does not matter."),
        Case("MTX.WHY(\"MTX.INV\", {A})", "MTX.INV works on A: no error."),
        Case("MTX.WHY(\"MTX.NOPE\", {A})", "No such function: the text says so."),
    ]),
]
