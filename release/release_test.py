"""The release tools: reading xllhost's output, the guide's reference, the workbook's error cells and
inert formula texts, signing, and the checks, which must catch a workbook that differs from what the
add-in computes and a release that names files it does not hold. The tests that run the add-in use
the native build in NATIVE_BUILD (default build/native).

    /usr/bin/python3 -m unittest discover -s release -p '*_test.py'
"""

import os
import shutil
import subprocess
import tempfile
import unittest
from unittest import mock

import openpyxl
import xlsxwriter

import check
import guide
import package
import workbook
from addins import ADDINS
from readme import changelog_text
from xllhost import Error, XllHost, XllHostError, area_name, csv_fields, parse_area, parse_listing, sheet_value

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NATIVE_BUILD = os.path.join(ROOT, os.environ.get("NATIVE_BUILD", "build/native"))


def native_host(xll="MatrixFunctions.xll"):
    return XllHost(os.path.join(NATIVE_BUILD, "bin", "xllhost"), os.path.join(NATIVE_BUILD, "bin", xll))


class XllHostOutput(unittest.TestCase):
    def test_csv_keeps_texts_apart_from_numbers_errors_and_booleans(self):
        self.assertEqual(csv_fields('1.5,"#VALUE!",#VALUE!,,TRUE,"a ""b"", c",-2e-17'),
                         [1.5, "#VALUE!", Error("#VALUE!"), None, True, 'a "b", c', -2e-17])
        self.assertEqual(csv_fields(""), [None])
        with self.assertRaises(XllHostError):
            csv_fields('"open')
        with self.assertRaises(XllHostError):
            csv_fields("word")

    def test_sheet_values_read_back_as_written(self):
        self.assertEqual(sheet_value('say "hi"'), '"say ""hi"""')
        self.assertEqual(sheet_value(0.1 + 0.2), "0.30000000000000004")
        self.assertEqual([sheet_value(v) for v in (None, False, Error("#N/A"), 3)], ["", "FALSE", "#N/A", "3.0"])

    def test_areas_name_cells_past_z(self):
        self.assertEqual(area_name((0, 25, 1, 27)), "Z1:AB2")
        self.assertEqual(parse_area("AB2"), (1, 27, 1, 27))
        self.assertEqual(area_name(parse_area("IW1000")), "IW1000")

    def test_listing_gives_the_name_and_each_functions_help_texts(self):
        listing = parse_listing("Add-in: Matrix Functions\nCategory: C\n"
                                "  f_Two(a, b)    [xlf_Two, type QQB]\n"
                                "       Does two things \n"
                                "      a:  first . \n"
                                "      b:  second . \n"
                                "  f_None()    [xlf_None, type Q]\n"
                                "       Nothing \n"
                                "  F.DOT(a)    [xlDot, type QQ$]\n"
                                "      The dot: not an argument\n"  # a help text without a leading blank
                                "      a: the one\n")
        self.assertEqual((listing.addin_name, listing.category), ("Matrix Functions", "C"))
        self.assertEqual([f.syntax() for f in listing.functions], ["f_Two(a, b)", "f_None()", "F.DOT(a)"])
        self.assertEqual([(a.name, a.help) for a in listing.functions[0].arguments], [("a", "first ."), ("b", "second .")])
        self.assertEqual([f.help for f in listing.functions], ["Does two things", "Nothing", "The dot: not an argument"])
        self.assertEqual(listing.functions[2].arguments[0].help, "the one")
        self.assertIsNone(parse_listing("Category: C\n").addin_name)
        with self.assertRaises(XllHostError):
            parse_listing("Category: C\nRefused: f [xlf, type QQ]: no export\n")


class Reference(unittest.TestCase):
    LISTING = parse_listing("Category: C\n  f_Row(m, n)    [xlf_Row, type QQB]\n       Row \n"
                            "      m:  matrix . \n      n:  row . \n")

    def test_sections_give_their_argument_lines_and_the_rest(self):
        sections = guide.function_sections("intro\n## f_Row\n\n- m: a matrix\n- n: a number\n\n**Returns** a row.\n"
                                           "## f_Other\nText\n")
        self.assertEqual(sections["f_Row"], ([("m", "a matrix"), ("n", "a number")], "**Returns** a row."))
        self.assertEqual(sections["f_Other"], ([], "Text"))

    def test_a_section_missing_extra_or_with_other_arguments_is_refused(self):
        for text in ("## f_Row\n- m: a\n- n: b\n## f_Gone\n- x: y\n", "## f_Other\n- m: a\n", "## f_Row\n- m: a\n"):
            with self.assertRaises(XllHostError, msg=text):
                guide.reference(self.LISTING, guide.function_sections(text), [], "book.xlsx")


@unittest.skipUnless(os.path.exists(os.path.join(NATIVE_BUILD, "bin", "xllhost")), "no native build")
class WorkbookCheck(unittest.TestCase):
    def setUp(self):
        self.host = native_host()
        self.registered = [function.name for function in self.host.listing().functions]
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def problems_of(self, path):
        problems = check.Problems()
        book, values = openpyxl.load_workbook(path), openpyxl.load_workbook(path, data_only=True)
        for sheet in book.worksheets:
            check.check_sheet(sheet, values[sheet.title], self.host, self.registered, problems)
        return problems.found

    def one_sheet(self, write):
        path = os.path.join(self.folder.name, "book.xlsx")
        book = xlsxwriter.Workbook(path)
        sheet = book.add_worksheet("S")
        self.code = book.add_format({"font_name": "Consolas"})
        sheet.write_row(0, 0, [4, 2])
        sheet.write_row(1, 0, [2, 3])
        write(sheet)
        book.close()
        return path

    def test_each_add_ins_made_workbook_passes(self):
        for addin in ADDINS:
            with self.subTest(addin.title):
                path = os.path.join(self.folder.name, addin.workbook)
                host = native_host(addin.native_xll)
                listing = host.listing()
                workbook.make_workbook(path, addin, host.version(), listing,
                                       workbook.lay_out_all(host, addin.sheets, listing))
                problems = check.Problems()
                check.check_workbook(path, host, [function.name for function in listing.functions], problems)
                check.check_references(addin.workbook, check.readable_text(path), {addin.guide_page}, problems)
                self.assertEqual(problems.found, [])

    def test_the_add_ins_own_results_pass(self):
        def write(sheet):
            sheet.write_dynamic_array_formula(3, 0, 4, 1, "=mtrx_Cholesky(A1:B2)", None, 2)
            sheet.write_row(3, 1, [0])
            sheet.write_row(4, 0, [1, 2 ** 0.5])
            sheet.write_dynamic_array_formula(6, 0, 6, 0, "=mtrx_Invert(A1:A2)", None, "Input should be a square matrix")
            sheet.write_dynamic_array_formula(7, 0, 7, 0, "=mtrx_Determinant(A1:B1)", None, "#VALUE!")
            sheet.write_string(7, 1, "=mtrx_Determinant(A1:B1)", self.code)
        path = self.one_sheet(write)
        workbook.finish(path, {"xl/worksheets/sheet1.xml": ({"A8": "#VALUE!"}, ["B8"], {})})
        self.assertEqual(self.problems_of(path), [])

    def test_errors_stored_as_texts_and_live_formula_texts_are_caught(self):
        def write(sheet):
            sheet.write_dynamic_array_formula(7, 0, 7, 0, "=mtrx_Determinant(A1:B1)", None, "#VALUE!")
            sheet.write_string(7, 1, "=mtrx_Determinant(A1:B1)")
        problems = "\n".join(self.problems_of(self.one_sheet(write)))
        self.assertEqual(problems.count("\n"), 1, problems)
        self.assertIn("A8 holds '#VALUE!' (type s)", problems)
        self.assertIn("B8: the formula shown as a text becomes a formula", problems)

    def test_a_result_off_in_its_15th_digit_is_caught(self):
        def write(sheet):
            sheet.write_dynamic_array_formula(3, 0, 4, 1, "=mtrx_Cholesky(A1:B2)", None, 2)
            sheet.write_row(3, 1, [0])
            sheet.write_row(4, 0, [1, 1.41421356237310])
        problems = self.problems_of(self.one_sheet(write))
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("B5 holds 1.4142135623731", problems[0])

    def test_a_message_where_the_add_in_gives_an_error_is_caught(self):
        def write(sheet):
            sheet.write_dynamic_array_formula(3, 0, 3, 0, "=mtrx_Invert(A1:B1)", None, "#VALUE!")
        problems = self.problems_of(self.one_sheet(write))
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("'Input should be a square matrix'", problems[0])

    def test_a_range_other_than_the_results_is_caught(self):
        def write(sheet):
            sheet.write_dynamic_array_formula(3, 0, 3, 1, "=mtrx_Row(A1:B2, 1)", None, 4)
            sheet.write_number(3, 1, 2)
            sheet.write_dynamic_array_formula(5, 0, 5, 2, "=mtrx_Row(A1:B2, 1)", None, 4)
        problems = self.problems_of(self.one_sheet(write))
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("over A6:C6, its result fills A6:B6", problems[0])

    def test_plain_formulas_and_unregistered_functions_are_caught(self):
        def write(sheet):
            sheet.write_formula(3, 0, "=mtrx_Invert(A1:B2)", None, 0.375)
            sheet.write_dynamic_array_formula(4, 0, 4, 0, "=SUM(A1:B2)", None, 11)
        problems = self.problems_of(self.one_sheet(write))
        self.assertTrue(any("A4: no array formula" in p for p in problems), problems)
        self.assertTrue(any("SUM is no registered function" in p for p in problems), problems)



class WorkbookFinish(unittest.TestCase):
    """Error values and quote prefixes written into an XlsxWriter file, read back with openpyxl."""

    def test_cells_become_errors_and_texts_stay_texts(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "book.xlsx")
            book = xlsxwriter.Workbook(path)
            sheet = book.add_worksheet("S")
            code = book.add_format({"font_name": "Consolas"})
            sheet.write_dynamic_array_formula(0, 0, 1, 0, "=F(1)", None, "#NUM!")
            sheet.write_string(1, 0, "#N/A")
            sheet.write_string(0, 1, "=F(1)", code)
            sheet.write_string(1, 1, "#DIV/0!")  # a text that only looks like an error stays one
            sheet.write_dynamic_array_formula(0, 2, 0, 2, "=F(2)", None, "0.5")  # stored as a number unless retyped
            book.close()
            workbook.finish(path, {"xl/worksheets/sheet1.xml": ({"A1": "#NUM!", "A2": "#N/A"}, ["B1"], {"C1": "0.5"})})
            values = openpyxl.load_workbook(path, data_only=True)["S"]
            formulas = openpyxl.load_workbook(path)["S"]
            self.assertEqual([(c.value, c.data_type) for c in values["A1":"B2"][0] + values["A1":"B2"][1]],
                             [("#NUM!", "e"), ("=F(1)", "s"), ("#N/A", "e"), ("#DIV/0!", "s")])
            self.assertEqual((values["C1"].value, values["C1"].data_type, formulas["C1"].data_type), ("0.5", "s", "f"))
            self.assertEqual((formulas["A1"].data_type, formulas.formula_attributes["A1"]["ref"]), ("f", "A1:A2"))
            self.assertEqual([formulas[name].quotePrefix for name in ("A1", "B1", "B2")], [False, True, False])

    def test_a_cell_that_is_not_there_is_refused(self):
        with self.assertRaises(workbook.XllHostError):
            workbook.typed_errors('<c r="A1" s="1"><v>1</v></c>', {"A2": "#VALUE!"})


class ReleaseChecks(unittest.TestCase):
    def problems(self, function, *arguments):
        problems = check.Problems()
        function(*arguments, problems)
        return problems.found

    def test_texts_name_only_shipped_files(self):
        shipped = {"MatrixFunctions.xll", "README.txt"}
        for text, found in [
            ("Load MatrixFunctions.xll; see README.txt. signtool ... /f CERT.pfx; %APPDATA%\\Microsoft", 0),
            ("The examples of examples/demo.sheet and MatrixFunctions-examples.xlsx", 2),
            ("Results computed by the add-in through xllhost", 1),
            ("Built in build/win32/bin; the <code>.xll</code> file", 1),
        ]:
            self.assertEqual(len(self.problems(check.check_references, "t", text, shipped)), found, text)

    def test_the_zip_holds_one_folder_with_the_release_files(self):
        expected = {"a.xll", "README.txt"}
        for names, found in [
            (["R-1/", "R-1/a.xll", "R-1/README.txt"], 0),
            (["R-1/a.xll", "R-1/README.txt"], 0),
            (["a.xll", "README.txt"], 2),
            (["R-1/a.xll", "R-1/README.txt", "R-1/demo.sheet"], 1),
            (["R-2/a.xll", "R-2/README.txt"], 2),
        ]:
            self.assertEqual(len(self.problems(check.check_folder, names, "R-1", expected)), found, names)

    def test_plain_texts_have_windows_line_ends(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "README.txt")
            for data, found in [(b"a\r\nb\r\n", 0), (b"a\nb\r\n", 1), (b"", 1)]:
                with open(path, "wb") as text:
                    text.write(data)
                self.assertEqual(len(self.problems(check.check_windows_text, path)), found, data)

    def test_a_release_needs_a_changelog_entry_for_its_version(self):
        text = "# Changes\n\nFor developers: scripts/package.\n\n## 1.0.1\n\n- x\n\n## 1.0.0\n\n- y\n"
        self.assertEqual(changelog_text(text, "1.0.1"), "Changes\n=======\n\n## 1.0.1\n\n- x\n\n## 1.0.0\n\n- y\n")
        for version in ("1.0.0", "1.0"):
            with self.assertRaises(ValueError):
                changelog_text(text, version)


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl") and
                     shutil.which("x86_64-w64-mingw32-gcc"), "no osslsigncode, openssl or MinGW-w64")
class Signing(unittest.TestCase):
    """Signs a DLL made here with a throwaway self-signed certificate, and checks the signature."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        folder = cls.folder.name
        cls.pem, key, cls.pfx = (os.path.join(folder, name) for name in ("cert.pem", "key.pem", "cert.pfx"))
        source = os.path.join(folder, "empty.c")
        with open(source, "w") as c:
            c.write("int __declspec(dllexport) answer(void) { return 42; }\n")
        cls.dll = os.path.join(folder, "plain.dll")
        for command in (
                ["x86_64-w64-mingw32-gcc", "-shared", "-o", cls.dll, source],
                ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                 "/CN=Release test publisher", "-addext", "extendedKeyUsage=codeSigning", "-keyout", key,
                 "-out", cls.pem],
                ["openssl", "pkcs12", "-export", "-inkey", key, "-in", cls.pem, "-out", cls.pfx, "-passout",
                 "pass:secret"]):
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def copy(self, name):
        path = os.path.join(self.folder.name, name)
        shutil.copyfile(self.dll, path)
        return path

    def signature_problems(self, path, signed, ca=True):
        problems = check.Problems()
        check.check_signature(path, signed, self.pem if ca else None, problems)
        return problems.found

    def test_a_signed_file_verifies_and_an_unsigned_one_does_not(self):
        signed, unsigned = self.copy("signed.xll"), self.copy("unsigned.xll")
        with mock.patch.dict(os.environ, {"SIGN_PASSWORD": "secret"}):
            package.sign(signed, self.pfx, "Matrix Functions")
        self.assertEqual(self.signature_problems(signed, True), [])
        self.assertEqual(self.signature_problems(unsigned, False), [])
        self.assertEqual(len(self.signature_problems(unsigned, True)), 1)
        self.assertEqual(len(self.signature_problems(signed, False)), 1)
        # Not by an authority the system trusts: only the test's own certificate vouches for it.
        self.assertIn("does not verify", "".join(self.signature_problems(signed, True, ca=False)))

    def test_a_wrong_password_fails_and_leaves_the_file_unsigned(self):
        path = self.copy("wrong.xll")
        with mock.patch.dict(os.environ, {"SIGN_PASSWORD": "wrong"}), self.assertRaises(package.PackageError):
            package.sign(path, self.pfx, "Matrix Functions")
        self.assertEqual(check.signature_size(path), 0)
        self.assertFalse(os.path.exists(path + ".signed"))

    def test_the_timestamp_server_reaches_osslsigncode(self):
        path = self.copy("stamped.xll")
        done = subprocess.CompletedProcess([], 0, "")
        with mock.patch("package.subprocess.run", return_value=done) as run, mock.patch("package.os.replace"):
            package.sign(path, self.pfx, "Matrix Functions", "http://timestamp.example")
        command = run.call_args[0][0]
        self.assertEqual(command[command.index("-t") + 1], "http://timestamp.example")


if __name__ == "__main__":
    unittest.main()
