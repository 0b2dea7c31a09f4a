"""The examples workbook: an About sheet, then one sheet per function with its inputs, each case's
formula as an array formula over its result range, the result, and a line saying what it shows.

Every result is the add-in's own, computed through xllhost on a sheet laid out exactly as the
workbook's, and stored as the formula's cached value, so that the workbook shows numbers before the
add-in is loaded. XlsxWriter writes the file; it stores a formula's error result as its text
(#VALUE! reads as a text until Excel calculates the formula again).
"""

import dataclasses

import xlsxwriter

import examples
from xllhost import Error, XllHostError, area_name, sheet_line

TITLE_ROW, HELP_ROW, KEY_ROW = 0, 1, 2
INPUTS_HEADER_ROW = 4
VALUE_COLUMN = 2  # inputs and results start in column C; A holds labels and notes, B addresses and formulas
# Where each formula goes alone first, to learn its result's size: far below anything else.
PROBE_ROW, PROBE_SPACING = 1000, 100


@dataclasses.dataclass
class LaidOutSheet:
    sheet: examples.Sheet
    inputs: list  # (input, row) in order, each block starting in VALUE_COLUMN
    results_header_row: int
    results: list  # (case, xllhost.Formula) in order


def input_places(sheet):
    places, row = [], INPUTS_HEADER_ROW + 1
    for given in sheet.inputs:
        if not given.rows or any(len(line) != len(given.rows[0]) for line in given.rows):
            raise ValueError("%s: input %s is no rectangle" % (sheet.name, given.name))
        places.append((given, row))
        row += len(given.rows) + 1
    return places, row


def formula_text(case, places):
    ranges = {given.name: area_name((row, VALUE_COLUMN, row + len(given.rows) - 1,
                                     VALUE_COLUMN + len(given.rows[0]) - 1)) for given, row in places}
    return case.formula.format(**ranges)


def evaluate(host, sheet, places, anchors):
    lines = [sheet_line(row, VALUE_COLUMN, given.rows) for given, row in places]
    for case, (row, column) in zip(sheet.cases, anchors):
        lines.append("%s = %s" % (area_name((row, column, row, column)), formula_text(case, places)))
    formulas = host.evaluate(lines).formulas
    if len(formulas) != len(sheet.cases):
        raise XllHostError("%s: %d formulas, %d results" % (sheet.name, len(sheet.cases), len(formulas)))
    return formulas


def lay_out(host, sheet):
    """Places the inputs, then the cases one below the other, each as tall as its result."""
    places, row = input_places(sheet)
    probes = [(PROBE_ROW + PROBE_SPACING * k, VALUE_COLUMN) for k in range(len(sheet.cases))]
    heights = [f.area[2] - f.area[0] + 1 for f in evaluate(host, sheet, places, probes)]
    results_header_row = row + 1
    anchors, row = [], results_header_row + 2
    for height in heights:
        anchors.append((row, VALUE_COLUMN))
        row += height + 1
    formulas = evaluate(host, sheet, places, anchors)
    for formula, (top, left), height in zip(formulas, anchors, heights):
        if formula.area[:2] != (top, left) or formula.area[2] - top + 1 != height:
            raise XllHostError("%s: %s moved or changed size" % (sheet.name, formula.text))
    return LaidOutSheet(sheet, places, results_header_row, list(zip(sheet.cases, formulas)))


def cached(value):
    """A result as XlsxWriter stores it in a formula's cell."""
    if isinstance(value, Error):
        return value.name
    if isinstance(value, (float, str)):
        return value
    raise XllHostError("no cached form for the result %r" % (value,))


class Formats:
    def __init__(self, book):
        self.title = book.add_format({"bold": True, "font_size": 14})
        self.help = book.add_format({"italic": True, "font_color": "#595959"})
        self.header = book.add_format({"bold": True, "bottom": 1})
        self.text = book.add_format({"text_wrap": True, "valign": "top"})
        self.code = book.add_format({"font_name": "Consolas", "valign": "top"})
        self.link = book.add_format({"font_color": "blue", "underline": 1, "font_name": "Consolas"})
        self.input = book.add_format({"bg_color": "#FFF2CC", "border": 1, "border_color": "#BFBFBF"})
        self.result = book.add_format({"bg_color": "#E2EFDA", "border": 1, "border_color": "#BFBFBF"})


def write_value(worksheet, row, column, value, cell_format):
    if value is None:
        worksheet.write_blank(row, column, None, cell_format)
    elif isinstance(value, bool):
        worksheet.write_boolean(row, column, value, cell_format)
    elif isinstance(value, (int, float)):
        worksheet.write_number(row, column, value, cell_format)
    else:
        worksheet.write_string(row, column, value, cell_format)


def write_function_sheet(book, formats, laid_out, function):
    worksheet = book.add_worksheet(laid_out.sheet.name)
    worksheet.set_column(0, 0, 46)
    worksheet.set_column(1, 1, 36)
    worksheet.set_column(VALUE_COLUMN, VALUE_COLUMN + 8, 13)
    worksheet.set_landscape()
    worksheet.fit_to_pages(1, 0)
    worksheet.write_string(TITLE_ROW, 0, function.syntax(), formats.title)
    worksheet.write_string(HELP_ROW, 0, function.help, formats.help)
    worksheet.write_string(KEY_ROW, 0, "Inputs are yellow, results green. Each result is an array formula: "
                                       "see the About sheet.", formats.help)

    worksheet.write_string(INPUTS_HEADER_ROW, 0, "Input", formats.header)
    worksheet.write_string(INPUTS_HEADER_ROW, 1, "Range", formats.header)
    worksheet.write_string(INPUTS_HEADER_ROW, VALUE_COLUMN, "Values", formats.header)
    for given, row in laid_out.inputs:
        last = (row + len(given.rows) - 1, VALUE_COLUMN + len(given.rows[0]) - 1)
        worksheet.write_string(row, 0, given.label, formats.text)
        worksheet.write_string(row, 1, area_name((row, VALUE_COLUMN) + last), formats.code)
        for i, line in enumerate(given.rows):
            for j, value in enumerate(line):
                write_value(worksheet, row + i, VALUE_COLUMN + j, value, formats.input)

    header = laid_out.results_header_row
    worksheet.write_string(header, 0, "What it shows", formats.header)
    worksheet.write_string(header, 1, "Formula", formats.header)
    worksheet.write_string(header, VALUE_COLUMN, "Result", formats.header)
    for case, formula in laid_out.results:
        top, left, bottom, right = formula.area
        worksheet.write_string(top, 0, case.note, formats.text)
        worksheet.write_string(top, 1, "=" + formula.text, formats.code)
        # Dynamic: Microsoft 365 spills it; Excel 2007-2019 read it as an array formula over the range.
        worksheet.write_dynamic_array_formula(top, left, bottom, right, "=" + formula.text, formats.result,
                                              cached(formula.values[0][0]))
        for i, line in enumerate(formula.values):
            for j, value in enumerate(line):
                if i or j:
                    write_value(worksheet, top + i, left + j, cached(value), formats.result)


def write_about_sheet(book, formats, version, sheets, functions):
    worksheet = book.add_worksheet("About")
    worksheet.set_column(0, 0, 30)
    worksheet.set_column(1, 1, 110)
    worksheet.write_string(0, 0, "Matrix Functions %s: examples" % version, formats.title)
    lines = [
        "Each sheet shows one function of the add-in: its inputs in yellow, each formula with its result "
        "in green, and a line saying what it shows, the cases the function refuses next to the good ones.",
        "The results were computed by the add-in when this workbook was made, so they show without it. "
        "To compute them again, load the add-in (see the guide), then press Ctrl+Alt+F9.",
        "Each formula is an array formula over its result range. To enter one in Excel 2007 to 2019, select "
        "a range of the result's size, type the formula and press Ctrl+Shift+Enter.",
        "In Microsoft 365, type the formula in the top-left cell and press Enter: the result spills.",
    ]
    for row, line in enumerate(lines, start=2):
        worksheet.write_string(row, 0, line)
    row = len(lines) + 3
    worksheet.write_string(row, 0, "Sheet", formats.header)
    worksheet.write_string(row, 1, "Function", formats.header)
    for sheet in sheets:
        row += 1
        worksheet.write_url(row, 0, "internal:'%s'!A1" % sheet.name, formats.link, sheet.name)
        function = functions[sheet.function]
        worksheet.write_string(row, 1, "%s: %s" % (function.syntax(), function.help))
    worksheet.activate()


def make_workbook(path, host, version, listing):
    functions = {function.name: function for function in listing.functions}
    shown = [sheet.function for sheet in examples.SHEETS]
    if sorted(shown) != sorted(functions):
        raise XllHostError("the examples show %s, the add-in registers %s" % (sorted(shown), sorted(functions)))
    laid_out = [lay_out(host, sheet) for sheet in examples.SHEETS]

    book = xlsxwriter.Workbook(path)
    book.set_properties({
        "title": "Matrix Functions %s: examples" % version,
        "subject": "The add-in's worksheet functions at work",
        "author": "The MatrixFunctions developers",
        "comments": "Results computed by the add-in through xllhost",
    })
    formats = Formats(book)
    write_about_sheet(book, formats, version, examples.SHEETS, functions)
    for sheet in laid_out:
        write_function_sheet(book, formats, sheet, functions[sheet.sheet.function])
    # Opened before the add-in, Excel would show #NAME? instead of the stored results if it
    # calculated the formulas on load: no full calculation on load (XlsxWriter asks for one by
    # default), and the calculation engine of current Excel, since Excel calculates again a
    # workbook last calculated by an older engine than its own.
    book.calc_on_load = False
    book.set_calc_mode("auto", calc_id=191029)
    book.close()
