"""The examples workbook: an About sheet, then one sheet per function with its inputs, each case's
formula as an array formula over its result range, the result, and a line saying what it shows.

Every result is the add-in's own, computed through xllhost on a sheet laid out exactly as the
workbook's, and stored as the formula's cached value, so that the workbook shows numbers before the
add-in is loaded. XlsxWriter writes the file, but stores an array formula's error result, and an
error in a cell of its range, as a text (#VALUE! would read as a text until Excel calculates the
formula again), and an array formula's text result that reads as a number ("0.5") as a number:
those cells are typed as errors and texts in the written file afterwards.
"""

import dataclasses
import html
import os
import re
import shutil
import tempfile
import zipfile

import xlsxwriter

from xllhost import Error, XllHostError, area_name, sheet_line

TITLE_ROW, HELP_ROW, KEY_ROW = 0, 1, 2
SHEET_WIDTHS = (46, 36) + (13,) * 9  # labels and notes, addresses and formulas, then values
HELP_COLUMNS = 7  # the help text's width, as wide as the widest inputs and results
INPUTS_HEADER_ROW = 4
VALUE_COLUMN = 2  # inputs and results start in column C; A holds labels and notes, B addresses and formulas
# Where each formula goes alone first, to learn its result's size: far below anything else.
PROBE_ROW, PROBE_SPACING = 1000, 100


@dataclasses.dataclass
class LaidOutSheet:
    sheet: object  # examples.Sheet
    inputs: list  # (input, row) in order, each block starting in VALUE_COLUMN
    results_header_row: int
    results: list  # (case, xllhost.Formula) in order

    def input_areas(self):
        """(input, its area) in order."""
        return [(given, (row, VALUE_COLUMN, row + len(given.rows) - 1, VALUE_COLUMN + len(given.rows[0]) - 1))
                for given, row in self.inputs]


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


def lay_out_all(host, sheets, listing):
    """Every sheet laid out, once the sheets are known to show each registered function once."""
    shown = [sheet.function for sheet in sheets]
    registered = [function.name for function in listing.functions]
    if sorted(shown) != sorted(registered):
        raise XllHostError("the examples show %s, the add-in registers %s" % (sorted(shown), sorted(registered)))
    return [lay_out(host, sheet) for sheet in sheets]


class Formats:
    def __init__(self, book):
        self.title = book.add_format({"bold": True, "font_size": 14})
        self.help = book.add_format({"italic": True, "font_color": "#595959", "text_wrap": True, "valign": "top"})
        self.header = book.add_format({"bold": True, "bottom": 1})
        self.text = book.add_format({"text_wrap": True, "valign": "top"})
        self.link = book.add_format({"font_color": "blue", "underline": 1, "font_name": "Consolas"})
        self.input = book.add_format({"bg_color": "#FFF2CC", "border": 1, "border_color": "#BFBFBF"})
        self.result = book.add_format({"bg_color": "#E2EFDA", "border": 1, "border_color": "#BFBFBF"})
        self.code = book.add_format({"font_name": "Consolas", "valign": "top"})


def write_value(worksheet, row, column, value, cell_format):
    if value is None:
        worksheet.write_blank(row, column, None, cell_format)
    elif isinstance(value, bool):
        worksheet.write_boolean(row, column, value, cell_format)
    elif isinstance(value, (int, float)):
        worksheet.write_number(row, column, value, cell_format)
    elif isinstance(value, Error):
        worksheet.write_string(row, column, value.name, cell_format)  # typed as an error afterwards
    else:
        worksheet.write_string(row, column, value, cell_format)


def write_function_sheet(book, formats, laid_out, function):
    """Returns the sheet's cells that hold an error result, by name, each with its error, the cells
    that show a formula as a text, and the formulas' cells whose text result reads as a number."""
    worksheet = book.add_worksheet(laid_out.sheet.name)
    for column, width in enumerate(SHEET_WIDTHS):
        worksheet.set_column(column, column, width)
    worksheet.set_landscape()
    worksheet.fit_to_pages(1, 0)
    worksheet.write_string(TITLE_ROW, 0, function.syntax(), formats.title)
    # Some help texts are long: wrapped over the page's width rather than running off it.
    help_text = "Insert Function describes it as \u201c%s\u201d" % function.help
    worksheet.merge_range(HELP_ROW, 0, HELP_ROW, HELP_COLUMNS - 1, help_text, formats.help)
    worksheet.set_row(HELP_ROW, paragraph_height(help_text, SHEET_WIDTHS[:HELP_COLUMNS]))
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
    errors, formula_texts, texts = {}, [], {}
    for case, formula in laid_out.results:
        top, left, bottom, right = formula.area
        worksheet.write_string(top, 0, case.note, formats.text)
        worksheet.write_string(top, 1, "=" + formula.text, formats.code)
        formula_texts.append(area_name((top, 1) * 2))
        # Dynamic: Microsoft 365 spills it; Excel 2007-2019 read it as an array formula over the range.
        worksheet.write_dynamic_array_formula(top, left, bottom, right, "=" + formula.text, formats.result,
                                              cached(formula.values[0][0]))
        if isinstance(formula.values[0][0], str) and reads_as_number(formula.values[0][0]):
            texts[area_name((top, left) * 2)] = formula.values[0][0]
        for i, line in enumerate(formula.values):
            for j, value in enumerate(line):
                if isinstance(value, Error):
                    errors[area_name((top + i, left + j) * 2)] = value.name
                if i or j:
                    write_value(worksheet, top + i, left + j, value, formats.result)
    return errors, formula_texts, texts


def reads_as_number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


def cached(value):
    """A result as XlsxWriter stores it in a formula's cell."""
    if isinstance(value, Error):
        return value.name
    if isinstance(value, (float, str)):
        return value
    raise XllHostError("no cached form for the result %r" % (value,))


ABOUT_WIDTHS = (22, 80)


def paragraph_height(text, widths):
    """Excel fits a wrapped cell's height on opening the file, but not a merged one's: this is the
    height, in points, of a text wrapped over columns of these widths, from an average character
    width of Calibri 11."""
    per_line = int(sum(widths) * 1.1)
    lines = sum(-(-max(len(part), 1) // per_line) for part in text.split("\n"))
    return 15 * lines + 3


def write_about_sheet(book, formats, addin, version, laid_out, functions):
    worksheet = book.add_worksheet("About")
    for column, width in enumerate(ABOUT_WIDTHS):
        worksheet.set_column(column, column, width)
    worksheet.write_string(0, 0, "%s %s: examples" % (addin.title, version), formats.title)
    lines = [
        "Each sheet shows one function of the add-in: its inputs in yellow, each formula with its result "
        "in green, and a line saying what it shows, the cases the function refuses next to the good ones.",
        "The results were computed by the add-in when this workbook was made, so they show without it. "
        "To compute them again, load the add-in (%s tells how), then press Ctrl+Alt+F9." % addin.guide_page,
        "Each formula is an array formula over its result range. To enter one in Excel 2007 to 2019, select "
        "a range of the result's size, type the formula and press Ctrl+Shift+Enter. "
        "In Microsoft 365 and Excel 2021, type the formula in the top-left cell and press Enter: the result spills.",
        "Beside each result, its formula is shown as a text: copy it from the formula bar without the "
        "leading apostrophe.",
    ]
    row = 2
    for line in lines:
        worksheet.merge_range(row, 0, row, len(ABOUT_WIDTHS) - 1, line, formats.text)
        worksheet.set_row(row, paragraph_height(line, ABOUT_WIDTHS))
        row += 1
    row += 1
    worksheet.write_string(row, 0, "Sheet", formats.header)
    worksheet.write_string(row, 1, "Function", formats.header)
    for sheet in laid_out:
        row += 1
        worksheet.write_url(row, 0, "internal:'%s'!A1" % sheet.sheet.name, formats.link, sheet.sheet.name)
        worksheet.write_string(row, 1, functions[sheet.sheet.function].syntax(), formats.code)
    worksheet.set_portrait()
    worksheet.set_paper(9)  # A4; Letter prints it the same, one page wide
    worksheet.fit_to_pages(1, 0)
    worksheet.print_area(0, 0, row, len(ABOUT_WIDTHS) - 1)
    worksheet.set_footer("&L%s %s&RPage &P of &N" % (addin.title, version))
    worksheet.activate()


def make_workbook(path, addin, version, listing, laid_out):
    functions = {function.name: function for function in listing.functions}
    book = xlsxwriter.Workbook(path)
    book.set_properties({
        "title": "%s %s: examples" % (addin.title, version),
        "subject": "The add-in's worksheet functions at work",
        "author": "The MatrixFunctions developers",
        "comments": "Results computed by %s %s" % (addin.title, version),
    })
    formats = Formats(book)
    write_about_sheet(book, formats, addin, version, laid_out, functions)
    # XlsxWriter writes the worksheets as sheet1.xml, sheet2.xml... in the order they are added.
    cells = {"xl/worksheets/sheet%d.xml" % number: write_function_sheet(book, formats, sheet,
                                                                      functions[sheet.sheet.function])
             for number, sheet in enumerate(laid_out, start=2)}
    # Opened before the add-in, Excel would show #NAME? instead of the stored results if it
    # calculated the formulas on load: no full calculation on load (XlsxWriter asks for one by
    # default), and the calculation engine of current Excel, since Excel calculates again a
    # workbook last calculated by an older engine than its own.
    book.calc_on_load = False
    book.set_calc_mode("auto", calc_id=191029)
    book.close()
    finish(path, cells)


CELL = re.compile(r'<c r="([A-Z]+[0-9]+)"([^>]*?)(?:/>|>(.*?)</c>)', re.DOTALL)
FORMULA = re.compile(r"<f\b[^>]*?(?:/>|>.*?</f>)", re.DOTALL)


def typed_errors(xml, errors, texts=None):
    """A worksheet's XML with the named cells holding the given errors as error values and the given
    texts as texts, formulas kept."""
    left = {cell: ("e", error) for cell, error in errors.items()}
    left.update({cell: ("str", html.escape(text, quote=False)) for cell, text in (texts or {}).items()})

    def retype(match):
        typed = left.pop(match.group(1), None)
        if typed is None:
            return match.group(0)
        attributes = re.sub(r'\s+t="[^"]*"', "", match.group(2))
        formula = FORMULA.search(match.group(3) or "")
        return '<c r="%s"%s t="%s">%s<v>%s</v></c>' % (match.group(1), attributes, typed[0],
                                                       formula.group(0) if formula else "", typed[1])

    xml = CELL.sub(retype, xml)
    if left:
        raise XllHostError("no cells %s to hold errors or texts" % ", ".join(sorted(left)))
    return xml


def cell_styles(xml, names):
    """The cell format indexes of the named cells of a worksheet's XML."""
    styles = {match.group(1): re.search(r'\ss="([0-9]+)"', match.group(2)) for match in CELL.finditer(xml)}
    missing = [name for name in names if not styles.get(name)]
    if missing:
        raise XllHostError("no formatted cells %s" % ", ".join(missing))
    return {int(styles[name].group(1)) for name in names}


def quote_prefixed(styles, indexes):
    """styles.xml with the cell formats of the given indexes marked: a text in such a cell that starts
    with '=' stays a text when the cell is edited (F2, Enter)."""
    start = styles.index("<cellXfs")
    end = styles.index("</cellXfs>", start)
    formats = re.split(r"(?=<xf\b)", styles[start:end])  # the opening tag, then one part per format
    for index in indexes:
        formats[index + 1] = re.sub(r"^<xf\b", '<xf quotePrefix="1"', formats[index + 1])
    return styles[:start] + "".join(formats) + styles[end:]


def finish(path, cells):
    """What XlsxWriter cannot write, written into its file: per worksheet part, its (errors by cell,
    cells showing a formula as a text, formulas' texts by cell), the first typed as errors, the second
    quote-prefixed, the third typed as texts."""
    with zipfile.ZipFile(path) as book:
        parts = [(info, book.read(info).decode("utf-8")) for info in book.infolist()]
    prefixed = set()
    for info, xml in parts:
        if info.filename in cells:
            prefixed |= cell_styles(xml, cells[info.filename][1])
    with tempfile.NamedTemporaryFile(dir=os.path.dirname(os.path.abspath(path)), delete=False) as out:
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as book:
            for info, xml in parts:
                if info.filename in cells:
                    xml = typed_errors(xml, cells[info.filename][0], cells[info.filename][2])
                elif info.filename == "xl/styles.xml":
                    xml = quote_prefixed(xml, prefixed)
                book.writestr(info, xml.encode("utf-8"))
    shutil.move(out.name, path)
