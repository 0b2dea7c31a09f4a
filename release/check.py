"""Checks a release zip as a user would meet it, with readers independent of the writers:

- the zip holds one folder named after the release and its version, and in it exactly the
  release's files; SHA256SUMS.txt matches each of them; README.txt and CHANGELOG.txt have Windows
  line ends;
- each XLL is a Windows DLL of its bitness with the version resource (read with pefile) and the
  exports Excel looks for; with --signed, it carries a signature osslsigncode verifies (against
  --ca, a certificate file, if given), and without, none;
- each XLL, run by the Windows xllhost of its bitness under Wine, gives the Add-in Manager its
  add-in's name and registers the functions the native build registers;
- each workbook, read back with openpyxl: every formula is an array formula that names a registered
  function, every cached value is xllhost's result for it on the sheet rebuilt from the file, an
  error result is stored as an error value, and a formula shown as a text stays a text when edited;
- each guide is one HTML file that needs nothing from the network and covers every function;
- no text the user reads names a file the release does not hold, or the tool that computed it.

    check.py ZIP --native BUILD --win32 BUILD --win64 BUILD [--signed [--ca CERT.pem]]
"""

import argparse
import hashlib
import html
import os
import re
import sys
import tempfile
import zipfile

import subprocess

import openpyxl
import pefile
from markdown.extensions.toc import slugify

from addins import ADDINS, release_name
from package import CHANGELOG, README, SUMS, release_files
from xllhost import Error, XllHost, XllHostError, area_name, parse_area, parse_cell, sheet_value

# Per Windows build: the machine type of its XLLs' PE header, their bitness, and how Wine runs its xllhost.
BUILDS = {
    "win32": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], "32", ["wine"]),
    "win64": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], "64", ["/usr/lib/wine/wine64"]),
}
FUNCTION_CALL = re.compile(r"([A-Za-z_][A-Za-z0-9_.]*)\s*\(")
# What reads as the name of a file (with a known extension) or as a path in the project's source.
FILE_NAME = re.compile(r"(?<![\w%/.-])(?:[\w-]+/)*[\w.-]*\w\.(?:xll|xlsx|xls|html?|txt|md|sheet|csv|zip|dll|exe)\b"
                       r"|\b(?:examples|docs|release|scripts|build|src|host|addin)/[\w./-]+", re.IGNORECASE)
# The tool that computed the results, which users do not have.
UNSHIPPED_WORDS = ("xllhost",)


class Problems:
    def __init__(self):
        self.found = []

    def expect(self, condition, message):
        if not condition:
            self.found.append(message)
        return condition


def check_sums(folder, expected, problems):
    with open(os.path.join(folder, SUMS), encoding="ascii") as sums:
        listed = {}
        for line in sums.read().splitlines():
            digest, _, name = line.partition("  ")
            listed[name] = digest
    problems.expect(set(listed) == expected - {SUMS}, "%s lists %s" % (SUMS, sorted(listed)))
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


def check_xll(path, machine, bits, version, addin, procedures, problems):
    name = os.path.basename(path)
    pe = pefile.PE(path)
    problems.expect(pe.FILE_HEADER.Machine == machine, "%s: machine type %#x" % (name, pe.FILE_HEADER.Machine))
    problems.expect(pe.is_dll(), "%s: no DLL" % name)
    exports = {symbol.name.decode() for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols if symbol.name}
    for export in ["xlAutoOpen", "xlAutoClose", "xlAddInManagerInfo", "xlAddInManagerInfo12"] + procedures:
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
    expected = {"ProductName": addin.title, "FileVersion": version, "ProductVersion": version,
                "OriginalFilename": name}
    for key, value in expected.items():
        problems.expect(strings.get(key) == value, "%s: %s is %r, not %r" % (name, key, strings.get(key), value))
    problems.expect("The MatrixFunctions developers" in strings.get("LegalCopyright", ""),
                    "%s: LegalCopyright is %r" % (name, strings.get("LegalCopyright")))
    problems.expect(bits + "-bit" in strings.get("FileDescription", ""),
                    "%s: FileDescription is %r" % (name, strings.get("FileDescription")))


def signature_size(path):
    pe = pefile.PE(path, fast_load=True)
    return pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]].Size


def check_signature(path, signed, ca, problems):
    """A signed release's file must carry a signature that verifies (against the certificate authority
    file ca, if given); an unsigned release's none, since README.txt then says so."""
    name = os.path.basename(path)
    if not signature_size(path):
        problems.expect(not signed, "%s: not signed" % name)
        return
    if not problems.expect(signed, "%s: signed, in a release made without signing" % name):
        return
    command = ["osslsigncode", "verify", "-in", path] + (["-CAfile", ca] if ca else [])
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    reasons = [line.strip() for line in done.stdout.splitlines() if re.search(r"error|fail", line, re.IGNORECASE)]
    problems.expect(done.returncode == 0, "%s: the signature does not verify: %s" % (name, "; ".join(reasons)))


def check_name_under_wine(path, build, launcher, addin, registered, problems):
    name = os.path.basename(path)
    host = XllHost(os.path.join(build, "bin", "xllhost.exe"), path, launcher)
    try:
        listing = host.listing()
    except (XllHostError, OSError) as error:
        problems.expect(False, "%s under Wine: %s" % (name, error))
        return
    problems.expect(listing.addin_name == addin.title, "%s under Wine: named %r" % (name, listing.addin_name))
    functions = [function.name for function in listing.functions]
    problems.expect(functions == registered, "%s under Wine registers %s" % (name, functions))


def cells_of(reference):
    top, left, bottom, right = parse_area(reference)
    return [(row, column) for row in range(top, bottom + 1) for column in range(left, right + 1)]


def same_value(cell, expected):
    """The workbook stores numbers to 16 significant digits (Excel shows 15); an error as an error value."""
    cached = cell.value
    if isinstance(expected, float):
        return (isinstance(cached, (int, float)) and not isinstance(cached, bool)
                and "%.16G" % cached == "%.16G" % expected)
    if isinstance(expected, Error):
        return cell.data_type == "e" and cached == expected.name
    return cell.data_type != "e" and cached == expected and type(cached) is type(expected)


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
                problems.expect(not str(cell.value).startswith("=") or cell.quotePrefix,
                                "%s!%s: the formula shown as a text becomes a formula when edited" %
                                (title, cell.coordinate))
    if not formulas:
        return 0
    evaluation = host.evaluate(constants + ["%s = %s" % (anchor, text) for anchor, text, _ in formulas])
    for (anchor, text, reference), result in zip(formulas, evaluation.formulas):
        where = "%s!%s =%s" % (title, anchor, text)
        if not problems.expect(area_name(result.area) == reference,
                               "%s: over %s, its result fills %s" % (where, reference, area_name(result.area))):
            continue
        for (row, column), expected in zip(cells_of(reference), sum(result.values, [])):
            cell = values_sheet.cell(row + 1, column + 1)
            problems.expect(same_value(cell, expected),
                            "%s: %s holds %r (type %s), the add-in gives %r" % (
                                where, area_name((row, column, row, column)), cell.value, cell.data_type, expected))
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
        problems.expect('id="%s"' % slugify(name, "-") in page, "the guide has no entry for %s" % name)
        problems.expect("<code>=%s(" % name in page, "the guide shows no syntax or example of %s" % name)


def readable_text(path):
    """What a user reads of a shipped file: the text of a text file, the text of a web page or of a
    workbook's cells, sheets and properties, without their markup."""
    if path.endswith(".xlsx"):
        with zipfile.ZipFile(path) as book:
            parts = [book.read(name).decode("utf-8") for name in book.namelist()
                     if re.fullmatch(r"(xl/(sharedStrings|workbook|worksheets/[^/]+)|docProps/[^/]+)\.xml", name)]
    else:
        with open(path, encoding="utf-8") as text:
            parts = [text.read()]
    if path.endswith((".xlsx", ".html")):
        parts = [html.unescape(re.sub(r"<[^>]*>", " ", part)) for part in parts]
    return "\n".join(parts)


def check_references(name, text, shipped, problems):
    """The text names no file the release does not hold, and not the tool that computed the results."""
    for named in sorted(set(FILE_NAME.findall(text))):
        problems.expect(named in shipped, "%s names %s, which the release does not hold" % (name, named))
    for word in UNSHIPPED_WORDS:
        problems.expect(word not in text.lower(), "%s names %s, which users do not have" % (name, word))


def check_windows_text(path, problems):
    """Notepad of older Windows shows a file with bare line feeds as one long line."""
    with open(path, "rb") as text:
        data = text.read()
    problems.expect(data.count(b"\n") > 0 and data.count(b"\n") == data.count(b"\r\n"),
                    "%s: not every line ends in CR LF" % os.path.basename(path))


def check_folder(names, release, expected, problems):
    """Every entry of the zip lies in the one folder named after the release; returns the folder's files."""
    folder = release + "/"
    outside = sorted(name for name in names if not name.startswith(folder))
    problems.expect(not outside, "the zip holds %s outside the folder %s" % (outside, folder))
    inside = {name[len(folder):] for name in names if name.startswith(folder) and name != folder}
    problems.expect(inside == expected, "the folder %s holds %s, not %s" % (folder, sorted(inside), sorted(expected)))
    return inside


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("zip")
    for build in ("native",) + tuple(BUILDS):
        parser.add_argument("--" + build, required=True, help="the %s build folder" % build)
    parser.add_argument("--signed", action="store_true", help="the XLLs must carry valid signatures")
    parser.add_argument("--ca", metavar="CERT.pem", help="the certificate authority the signatures lead to")
    arguments = parser.parse_args()
    builds = {build: os.path.abspath(getattr(arguments, build)) for build in ("native",) + tuple(BUILDS)}
    problems = Problems()
    expected = {name for name, _ in release_files(ADDINS)}
    hosts = [XllHost(os.path.join(builds["native"], "bin", "xllhost"), os.path.join(builds["native"], "bin",
                                                                             addin.native_xll)) for addin in ADDINS]
    version = hosts[0].version()
    release = "%s-%s" % (release_name(ADDINS), version)
    problems.expect(os.path.basename(arguments.zip) == release + ".zip", "%s is not named %s.zip" % (arguments.zip,
                                                                                                   release))
    formulas = 0
    with tempfile.TemporaryDirectory() as unzipped:
        with zipfile.ZipFile(arguments.zip) as zipped:
            check_folder(zipped.namelist(), release, expected, problems)
            zipped.extractall(unzipped)
        folder = os.path.join(unzipped, release)
        if not os.path.isdir(folder):
            sys.exit("check: %s\n  %s" % (arguments.zip, "\n  ".join(problems.found)))
        check_sums(folder, expected, problems)
        for addin, host in zip(ADDINS, hosts):
            listing = host.listing()
            registered = [function.name for function in listing.functions]
            for build, (machine, bits, launcher) in BUILDS.items():
                path = os.path.join(folder, addin.xlls[build])
                check_xll(path, machine, bits, version, addin, [f.procedure for f in listing.functions], problems)
                check_signature(path, arguments.signed, arguments.ca, problems)
                check_name_under_wine(path, builds[build], launcher, addin, registered, problems)
            formulas += check_workbook(os.path.join(folder, addin.workbook), host, registered, problems)
            check_guide(os.path.join(folder, addin.guide_page), version, registered, problems)
        for name in sorted(expected):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                problems.expect(os.path.getsize(path) > 0, "%s is empty" % name)
                if name.endswith((".html", ".xlsx")) or name in (README, CHANGELOG):
                    check_references(name, readable_text(path), expected, problems)
        for name in (README, CHANGELOG):
            check_windows_text(os.path.join(folder, name), problems)
    if problems.found:
        sys.exit("check: %s\n  %s" % (arguments.zip, "\n  ".join(problems.found)))
    print("check: %s: %d files in %s/, version %s in every XLL, %s, named by each under Wine as by the native build, "
          "%d workbook formulas as the add-in computes them" % (
              arguments.zip, len(expected), release, version,
              "each signed" if arguments.signed else "none signed", formulas))


if __name__ == "__main__":
    main()
