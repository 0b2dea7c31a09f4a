"""Checks a release zip as a user would meet it, with readers independent of the writers:

- the zip holds exactly the release's files, and SHA256SUMS.txt matches each of them;
- each XLL is a Windows DLL of its bitness with the version resource (read with pefile) and the
  exports Excel looks for;
- each XLL, run by the Windows xllhost of its bitness under Wine, names itself "Matrix Functions"
  to the Add-in Manager and registers the functions the native build registers;
- the workbook, read back with openpyxl: every formula is an array formula that names a registered
  function, and every cached value is xllhost's result for it on the sheet rebuilt from the file;
- the guide is one HTML file that needs nothing from the network and covers every function.

    check.py ZIP --native BUILD --win32 BUILD --win64 BUILD
"""

import argparse
import hashlib
import os
import re
import sys
import tempfile
import zipfile

import openpyxl
import pefile

from xllhost import Error, XllHost, XllHostError, area_name, parse_area, parse_cell, sheet_value

ADDIN_NAME = "Matrix Functions"
EXPECTED_FILES = {
    "MatrixFunctions.xll", "MatrixFunctions64.xll", "MatrixFunctions-examples.xlsx", "MatrixFunctions-guide.html",
    "LICENSE.txt", "LICENSE-Newmat.txt", "LICENSE-MinGW-w64-runtime.txt", "SHA256SUMS.txt",
}
# Per XLL: its build, the machine type of its PE header, and how Wine runs its xllhost.
XLLS = {
    "MatrixFunctions.xll": ("win32", pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], "32", ["wine"]),
    "MatrixFunctions64.xll": ("win64", pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], "64", ["/usr/lib/wine/wine64"]),
}
FUNCTION_CALL = re.compile(r"([A-Za-z_][A-Za-z0-9_.]*)\s*\(")


class Problems:
    def __init__(self):
        self.found = []

    def expect(self, condition, message):
        if not condition:
            self.found.append(message)
        return condition


def check_sums(folder, problems):
    with open(os.path.join(folder, "SHA256SUMS.txt"), encoding="ascii") as sums:
        listed = {}
        for line in sums.read().splitlines():
            digest, _, name = line.partition("  ")
            listed[name] = digest
    problems.expect(set(listed) == EXPECTED_FILES - {"SHA256SUMS.txt"}, "SHA256SUMS.txt lists %s" % sorted(listed))
    for name, digest in listed.items():
        path = os.path.join(folder, name)
        if os.path.exists(path):
            with open(path, "rb") as data:
                problems.expect(hashlib.sha256(data.read()).hexdigest() == digest, "%s: SHA-256 differs" % name)


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    return strings


def check_xll(path, machine, bits, version, problems):
    name = os.path.basename(path)
    pe = pefile.PE(path)
    problems.expect(pe.FILE_HEADER.Machine == machine, "%s: machine type %#x" % (name, pe.FILE_HEADER.Machine))
    problems.expect(pe.is_dll(), "%s: no DLL" % name)
    exports = {symbol.name.decode() for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols if symbol.name}
    for export in ("xlAutoOpen", "xlAutoClose", "xlAddInManagerInfo", "xlAddInManagerInfo12", "xlmtrx_Invert"):
        problems.expect(export in exports, "%s: does not export %s" % (name, export))
    if not problems.expect(hasattr(pe, "VS_FIXEDFILEINFO"), "%s: no version resource" % name):
        return
    numbers = [int(part) for part in version.split(".")] + [0]
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field in ("File", "Product"):
        found = [getattr(fixed, field + "VersionMS") >> 16, getattr(fixed, field + "VersionMS") & 0xFFFF,
                 getattr(fixed, field + "VersionLS") >> 16, getattr(fixed, field + "VersionLS") & 0xFFFF]
        problems.expect(found == numbers, "%s: %s version %s, not %s" % (name, field.lower(), found, numbers))
    strings = version_strings(pe)
    expected = {"ProductName": ADDIN_NAME, "FileVersion": version, "ProductVersion": version,
                "OriginalFilename": name}
    for key, value in expected.items():
        problems.expect(strings.get(key) == value, "%s: %s is %r, not %r" % (name, key, strings.get(key), value))
    problems.expect("The MatrixFunctions developers" in strings.get("LegalCopyright", ""),
                    "%s: LegalCopyright is %r" % (name, strings.get("LegalCopyright")))
    problems.expect(bits + "-bit" in strings.get("FileDescription", ""),
                    "%s: FileDescription is %r" % (name, strings.get("FileDescription")))


def check_name_under_wine(path, build, launcher, registered, problems):
    name = os.path.basename(path)
    host = XllHost(os.path.join(build, "bin", "xllhost.exe"), path, launcher)
    try:
        listing = host.listing()
    except (XllHostError, OSError) as error:
        problems.expect(False, "%s under Wine: %s" % (name, error))
        return
    problems.expect(listing.addin_name == ADDIN_NAME, "%s under Wine: named %r" % (name, listing.addin_name))
    functions = [function.name for function in listing.functions]
    problems.expect(functions == registered, "%s under Wine registers %s" % (name, functions))


def cells_of(reference):
    top, left, bottom, right = parse_area(reference)
    return [(row, column) for row in range(top, bottom + 1) for column in range(left, right + 1)]


def same_value(cached, expected):
    """XlsxWriter stores numbers to 16 significant digits (Excel shows 15) and an error result as its text."""
    if isinstance(expected, float):
        return (isinstance(cached, (int, float)) and not isinstance(cached, bool)
                and "%.16G" % cached == "%.16G" % expected)
    if isinstance(expected, Error):
        return cached == expected.name
    return cached == expected and type(cached) is type(expected)


def check_sheet(formulas_sheet, values_sheet, host, registered, problems):
    title = formulas_sheet.title
    arrays = formulas_sheet.formula_attributes
    formulas, constants, covered = [], [], set()
    for row in formulas_sheet.iter_rows():
        for cell in row:
            if cell.data_type != "f":
                continue
            attributes = arrays.get(cell.coordinate, {})
            if not problems.expect(attributes.get("t") == "array", "%s!%s: no array formula" % (title, cell.coordinate)):
                continue
            text = cell.value[1:]
            for called in FUNCTION_CALL.findall(text):
                problems.expect(called in registered, "%s!%s: %s is no registered function" % (title, cell.coordinate,
                                                                                                called))
            formulas.append((cell.coordinate, text, attributes["ref"]))
            covered.update(cells_of(attributes["ref"]))
    for row in formulas_sheet.iter_rows():
        for cell in row:
            if cell.value is not None and cell.data_type != "f" and parse_cell(cell.coordinate) not in covered:
                constants.append("%s = %s" % (cell.coordinate, sheet_value(cell.value)))
    if not formulas:
        return 0
    evaluation = host.evaluate(constants + ["%s = %s" % (anchor, text) for anchor, text, _ in formulas])
    for (anchor, text, reference), result in zip(formulas, evaluation.formulas):
        where = "%s!%s =%s" % (title, anchor, text)
        if not problems.expect(area_name(result.area) == reference,
                               "%s: over %s, its result fills %s" % (where, reference, area_name(result.area))):
            continue
        for (row, column), expected in zip(cells_of(reference), sum(result.values, [])):
            cached = values_sheet.cell(row + 1, column + 1).value
            problems.expect(same_value(cached, expected),
                            "%s: %s holds %r, the add-in gives %r" % (where, area_name((row, column, row, column)),
                                                                       cached, expected))
    return len(formulas)


def check_workbook(path, host, registered, problems):
    formulas_book = openpyxl.load_workbook(path)
    values_book = openpyxl.load_workbook(path, data_only=True)
    checked = sum(check_sheet(sheet, values_book[sheet.title], host, registered, problems)
                  for sheet in formulas_book.worksheets)
    problems.expect(checked > 0, "the workbook has no formulas")
    shown = {called for sheet in formulas_book.worksheets for row in sheet.iter_rows() for cell in row
             if cell.data_type == "f" for called in FUNCTION_CALL.findall(cell.value)}
    problems.expect(shown == set(registered), "the workbook shows %s" % sorted(shown))
    return checked


def check_guide(path, version, registered, problems):
    with open(path, encoding="utf-8") as guide:
        page = guide.read()
    problems.expect(re.search(r"<(script|link|img|iframe)\b", page) is None, "the guide loads other files")
    problems.expect(version in page, "the guide does not name version %s" % version)
    headings = re.findall(r"<h1\b", page)
    problems.expect(len(headings) == 1, "the guide has %d top headings (a line starting with '#'?)" % len(headings))
    for name in registered:
        problems.expect('id="%s"' % name.lower() in page, "the guide has no entry for %s" % name)
        problems.expect("<code>=%s(" % name in page, "the guide shows no syntax or example of %s" % name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("zip")
    for build in ("native", "win32", "win64"):
        parser.add_argument("--" + build, required=True, help="the %s build folder" % build)
    arguments = parser.parse_args()
    builds = {build: os.path.abspath(getattr(arguments, build)) for build in ("native", "win32", "win64")}
    host = XllHost(os.path.join(builds["native"], "bin", "xllhost"),
                   os.path.join(builds["native"], "bin", "MatrixFunctions.xll"))
    version = host.version()
    registered = [function.name for function in host.listing().functions]
    problems = Problems()
    problems.expect(os.path.basename(arguments.zip) == "MatrixFunctions-%s.zip" % version,
                    "%s is not named after version %s" % (arguments.zip, version))
    with tempfile.TemporaryDirectory() as folder:
        with zipfile.ZipFile(arguments.zip) as zipped:
            names = set(zipped.namelist())
            problems.expect(names == EXPECTED_FILES, "the zip holds %s" % sorted(names))
            zipped.extractall(folder)
        check_sums(folder, problems)
        for name, (build, machine, bits, launcher) in XLLS.items():
            path = os.path.join(folder, name)
            check_xll(path, machine, bits, version, problems)
            check_name_under_wine(path, builds[build], launcher, registered, problems)
        formulas = check_workbook(os.path.join(folder, "MatrixFunctions-examples.xlsx"), host, registered, problems)
        check_guide(os.path.join(folder, "MatrixFunctions-guide.html"), version, registered, problems)
        for licence in ("LICENSE.txt", "LICENSE-Newmat.txt", "LICENSE-MinGW-w64-runtime.txt"):
            problems.expect(os.path.getsize(os.path.join(folder, licence)) > 0, "%s is empty" % licence)
    if problems.found:
        sys.exit("check: %s\n  %s" % (arguments.zip, "\n  ".join(problems.found)))
    print("check: %s: %d files, version %s in both XLLs, named %r by both under Wine, %d workbook formulas as "
          "the add-in computes them" % (arguments.zip, len(EXPECTED_FILES), version, ADDIN_NAME, formulas))


if __name__ == "__main__":
    main()
