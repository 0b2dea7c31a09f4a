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
