"""xllhost from Python: runs it on an add-in and reads what it prints.

The release tools compute everything they show (the workbook's cached values, the guide's worked
examples, the function reference) through xllhost, so that nothing in the release is typed by hand.
"""

import dataclasses
import os
import re
import subprocess
import tempfile


@dataclasses.dataclass(frozen=True)
class Error:
    """An Excel error value, such as #VALUE!."""

    name: str

    def __str__(self):
        return self.name


ERROR_NAMES = ("#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A", "#SPILL!")


@dataclasses.dataclass
class Argument:
    name: str
    help: str  # as the Insert Function dialog shows it, without the blanks around it


@dataclasses.dataclass
class Function:
    name: str
    procedure: str
    help: str
    arguments: list

    def syntax(self):
        return "%s(%s)" % (self.name, ", ".join(argument.name for argument in self.arguments))


@dataclasses.dataclass
class Listing:
    addin_name: str  # what the Add-in Manager lists; None when the add-in does not say
    category: str
    functions: list


@dataclasses.dataclass
class Formula:
    area: tuple  # (first row, first column, last row, last column), counted from 0
    text: str  # as written in the sheet, without '='
    values: list  # rows of cell values


class XllHostError(Exception):
    pass


def column_name(column):
    """0 -> A, 25 -> Z, 26 -> AA."""
    name = ""
    column += 1
    while column:
        column, rest = divmod(column - 1, 26)
        name = chr(ord("A") + rest) + name
    return name


def cell_name(row, column):
    return "%s%d" % (column_name(column), row + 1)


def area_name(area):
    first = cell_name(area[0], area[1])
    return first if area[:2] == area[2:] else first + ":" + cell_name(area[2], area[3])


def parse_cell(name):
    match = re.fullmatch(r"([A-Z]{1,3})([0-9]+)", name)
    if not match:
        raise ValueError("no cell name: " + name)
    column = 0
    for letter in match.group(1):
        column = column * 26 + ord(letter) - ord("A") + 1
    return int(match.group(2)) - 1, column - 1


def parse_area(name):
    first, _, last = name.partition(":")
    top = parse_cell(first)
    bottom = parse_cell(last) if last else top
    return top + bottom


def sheet_value(value):
    """A value as a sheet file writes it."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, Error):
        return value.name
    if isinstance(value, (int, float)):
        return repr(float(value))
    return '"' + value.replace('"', '""') + '"'


def sheet_line(row, column, rows):
    """One sheet-file line that puts a block of values at (row, column)."""
    last = (row + len(rows) - 1, column + len(rows[0]) - 1)
    block = "; ".join(", ".join(sheet_value(value) for value in line) for line in rows)
    return "%s = %s" % (area_name((row, column) + last), block)


def csv_fields(line):
    """The fields of one line of xllhost's CSV: texts come quoted, so they stay apart from numbers,
    booleans and errors."""
    fields, position = [], 0
    while True:
        if line.startswith('"', position):
            text, position = "", position + 1
            while True:
                end = line.find('"', position)
                if end < 0:
                    raise XllHostError("unterminated text in CSV line: " + line)
                text += line[position:end]
                if line.startswith('""', end):
                    text += '"'
                    position = end + 2
                else:
                    position = end + 1
                    break
            fields.append(text)
        else:
            end = line.find(",", position)
            token = line[position:] if end < 0 else line[position:end]
            fields.append(csv_scalar(token))
            position = len(line) if end < 0 else end
        if position >= len(line):
            return fields
        if line[position] != ",":
            raise XllHostError("unexpected text after a field in CSV line: " + line)
        position += 1


def csv_scalar(token):
    if token == "":
        return None
    if token in ("TRUE", "FALSE"):
        return token == "TRUE"
    if token in ERROR_NAMES:
        return Error(token)
    try:
        return float(token)
    except ValueError:
        raise XllHostError("no CSV value: " + token) from None


def parse_listing(text):
    """xllhost --list: the add-in's name, then by category each function, its help and its arguments."""
    addin_name, category, functions = None, None, []
    help_next = False  # the line after a function's is its help, whatever blanks the help starts with
    for line in text.splitlines():
        if line.startswith("Add-in: "):
            addin_name = line[len("Add-in: "):]
        elif line.startswith("Category: "):
            category = line[len("Category: "):]
        elif line.startswith("Refused: "):
            raise XllHostError("Excel refused a registration: " + line)
        elif re.match(r"^  \S", line):
            match = re.fullmatch(r"  ([\w.]+)\(([^)]*)\)    \[(\w+), type \S+\]", line)
            if not match:
                raise XllHostError("unexpected --list line: " + line)
            names = [name for name in match.group(2).split(", ") if name]
            functions.append(Function(match.group(1), match.group(3), None, [Argument(n, None) for n in names]))
            help_next = True
            continue
        elif line.startswith("      ") and functions:
            function = functions[-1]
            if help_next:
                function.help = line.strip()
            else:
                name, _, help_text = line.strip().partition(": ")
                for argument in function.arguments:
                    if argument.name == name:
                        argument.help = help_text.strip()
        elif line.strip():
            raise XllHostError("unexpected --list line: " + line)
        help_next = False
    return Listing(addin_name, category, functions)


class XllHost:
    """One xllhost program and the add-in it plays Excel for; `launcher` runs Windows programs (wine)."""

    def __init__(self, program, addin, launcher=()):
        self.program = program
        self.addin = addin
        self.launcher = list(launcher)

    def run(self, *arguments):
        command = self.launcher + [self.program] + list(arguments)
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0 or done.stderr.strip():
            raise XllHostError("%s gave status %d:\n%s%s" % (" ".join(command), done.returncode, done.stdout,
                                                             done.stderr))
        return done.stdout

    def version(self):
        return self.run("--version").split()[-1]

    def listing(self):
        return parse_listing(self.run(self.addin, "--list"))

    def evaluate(self, lines):
        """Evaluates a sheet given as its lines; see evaluate_file."""
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "book.sheet")
            with open(path, "w", encoding="utf-8") as sheet:
                sheet.write("\n".join(lines) + "\n")
            return self.evaluate_file(path)

    def evaluate_file(self, path, spill_blocked_allowed=False):
        """The sheet's formulas in order, each with its result area and values, and the whole grid.
        A formula whose result has no room to spill fails, unless allowed: it then shows #SPILL!."""
        blocks = self.run("--full", self.addin, path)
        evaluation = Evaluation([], [csv_fields(line) for line in self.run("--csv", self.addin, path).splitlines()])
        for line in blocks.splitlines():
            if line.startswith(" "):
                if "#SPILL!" in line and not spill_blocked_allowed:
                    raise XllHostError("%s: no room to spill for %s" % (path, evaluation.formulas[-1].text))
                continue
            area_text, _, formula = line.partition(" = ")
            area = parse_area(area_text)
            evaluation.formulas.append(Formula(area, formula, evaluation.values(area)))
        return evaluation


@dataclasses.dataclass
class Evaluation:
    formulas: list
    grid: list  # the used part of the sheet from A1, rows of values

    def values(self, area):
        return [[self.grid[row][column] for column in range(area[1], area[3] + 1)]
                for row in range(area[0], area[2] + 1)]
