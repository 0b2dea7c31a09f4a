"""The release tools: reading xllhost's output, the guide's reference, and the workbook check, which
must catch a workbook that differs from what the add-in computes. The tests that run the add-in use
the native build in NATIVE_BUILD (default build/native).

    /usr/bin/python3 -m unittest discover -s release -p '*_test.py'
"""

import os
import tempfile
import unittest

import openpyxl
import xlsxwriter

import check
import guide
from workbook import make_workbook
from xllhost import Error, XllHost, XllHostError, area_name, csv_fields, parse_area, parse_listing, sheet_value

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NATIVE_BUILD = os.path.join(ROOT, os.environ.get("NATIVE_BUILD", "build/native"))


def native_host():
    return XllHost(os.path.join(NATIVE_BUILD, "bin", "xllhost"), os.path.join(NATIVE_BUILD, "bin", "MatrixFunctions.xll"))


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
                                "       Nothing \n")
        self.assertEqual((listing.addin_name, listing.category), ("Matrix Functions", "C"))
        self.assertEqual([f.syntax() for f in listing.functions], ["f_Two(a, b)", "f_None()"])
        self.assertEqual([(a.name, a.help) for a in listing.functions[0].arguments], [("a", "first ."), ("b", "second .")])
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
                guide.reference(self.LISTING, guide.function_sections(text), None, "demo")


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
        sheet.write_row(0, 0, [4, 2])
        sheet.write_row(1, 0, [2, 3])
        write(sheet)
        book.close()
        return path

    def test_the_made_workbook_passes(self):
        path = os.path.join(self.folder.name, "examples.xlsx")
        make_workbook(path, self.host, self.host.version(), self.host.listing())
        self.assertEqual(self.problems_of(path), [])

    def test_the_add_ins_own_results_pass(self):
        def write(sheet):
            sheet.write_dynamic_array_formula(3, 0, 4, 1, "=mtrx_Cholesky(A1:B2)", None, 2)
            sheet.write_row(3, 1, [0])
            sheet.write_row(4, 0, [1, 2 ** 0.5])
            sheet.write_dynamic_array_formula(6, 0, 6, 0, "=mtrx_Invert(A1:A2)", None, "Input should be a square matrix")
            sheet.write_dynamic_array_formula(7, 0, 7, 0, "=mtrx_Determinant(A1:B1)", None, "#VALUE!")
        self.assertEqual(self.problems_of(self.one_sheet(write)), [])

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


if __name__ == "__main__":
    unittest.main()
