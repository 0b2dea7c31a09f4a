"""An add-in's user guide as one HTML file: its guide text with the function reference put together
from what the add-in registers (syntax, help texts), from its functions text (what each function
takes, returns and shows) and from the cases of the examples workbook's sheet of each function, as
the add-in computes them, and with the list of the release's files."""

import html
import re

import markdown

from xllhost import Error, XllHostError, area_name

REFERENCE_MARK = "<!-- function reference -->"
FILES_MARK = "<!-- release files -->"

STYLE = """
body { font-family: "Segoe UI", Calibri, Arial, sans-serif; max-width: 60em; margin: 2em auto;
       padding: 0 1em; line-height: 1.45; color: #222; }
h1, h2, h3 { color: #1f4e79; }
h2 { border-bottom: 1px solid #bbb; padding-bottom: .2em; margin-top: 2em; }
h3 { margin-top: 1.6em; }
code { font-family: Consolas, "Courier New", monospace; background: #f3f3f3; padding: 0 .2em; }
table { border-collapse: collapse; margin: .6em 0; }
th, td { border: 1px solid #ccc; padding: .25em .6em; vertical-align: top; text-align: left; }
th { background: #eef3f8; }
td code { white-space: nowrap; }
table.cells { margin: 0; }
table.cells td { font-family: Consolas, "Courier New", monospace; text-align: right; padding: 0 .45em;
                 line-height: 1.3; border-color: #ddd; }
table.cells td:not(.text) { white-space: nowrap; }
table.cells td.text { text-align: left; }
.inputs { display: flex; flex-wrap: wrap; gap: .8em 2.5em; margin: .6em 0; }
.inputs figure { margin: 0; }
.inputs figcaption { font-size: 90%; color: #444; margin-bottom: .2em; }
table.cases { width: 100%; }
table.cases > tbody > tr > td { vertical-align: middle; padding-top: .2em; padding-bottom: .2em; }
table.cases > tbody > tr > td:first-child { width: 45%; }
.note { font-size: 92%; color: #444; }
.shown { font-family: Consolas, "Courier New", monospace; }
.toc ul { list-style: none; padding-left: 1.2em; }
.toc > ul { columns: 2; }
.toc li { break-inside: avoid; }
.help { color: #444; }
"""


def general(value):
    """A value as Excel's General format shows it: numbers to 15 significant digits."""
    if value is None:
        return ""
    if isinstance(value, Error):
        return value.name
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, (int, float)):
        return "%.15G" % (value + 0.0)  # no "-0"
    return value


def cells_table(rows):
    lines = ['<table class="cells">']
    for row in rows:
        cells = "".join('<td%s>%s</td>' % ("" if isinstance(v, (int, float)) and not isinstance(v, bool)
                                           else ' class="text"', html.escape(general(v))) for v in row)
        lines.append("<tr>%s</tr>" % cells)
    lines.append("</table>")
    return "\n".join(lines)


def result(rows):
    """A formula's result: a message or an error as the text the cell shows, an array as its cells."""
    if len(rows) == 1 and len(rows[0]) == 1 and not isinstance(rows[0][0], (int, float)):
        return '<span class="shown">%s</span>' % html.escape(general(rows[0][0]))
    return cells_table(rows)


def function_sections(text):
    """docs/functions.md by function: its argument lines ("- name: description") and the rest."""
    sections = {}
    for part in re.split(r"^## ", text, flags=re.MULTILINE)[1:]:
        name, _, body = part.partition("\n")
        lines = body.strip("\n").split("\n")
        arguments = []
        while lines and lines[0].startswith("- "):
            argument, _, description = lines.pop(0)[2:].partition(": ")
            arguments.append((argument, description))
        sections[name.strip()] = (arguments, "\n".join(lines).strip())
    return sections


def worked_example(laid_out, workbook):
    """The cases of the function's sheet of the workbook, with the inputs they read, compactly."""
    sheet = laid_out.sheet
    inputs = "".join('<figure><figcaption>%s, in <code>%s</code></figcaption>%s</figure>' % (
        html.escape(given.label), area_name(area), cells_table(given.rows)) for given, area in laid_out.input_areas())
    cases = "".join('<tr><td><code>=%s</code><div class="note">%s</div></td><td>%s</td></tr>' % (
        html.escape(formula.text), html.escape(case.note), result(formula.values)) for case, formula in laid_out.results)
    return ('<div class="example">\n<p><strong>Examples</strong>, from the sheet <em>%s</em> of <code>%s</code>, '
            'computed by the add-in:</p>\n<div class="inputs">%s</div>\n<table class="cases">\n'
            "<tr><th>formula, and what it shows</th><th>result</th></tr>\n%s\n</table>\n</div>" % (
                html.escape(sheet.name), html.escape(workbook), inputs, cases))


def reference(listing, sections, laid_out, workbook):
    registered = [function.name for function in listing.functions]
    if sorted(registered) != sorted(sections):
        raise XllHostError("the functions text describes %s, the add-in registers %s" % (sorted(sections), registered))
    examples = {sheet.sheet.function: sheet for sheet in laid_out}
    parts = ["The functions stand in the category \"%s\" of the Insert Function dialog, in this order. "
             "Under each function's name, in quotes, is what the dialog says of it." % listing.category]
    for function in listing.functions:
        arguments, body = sections[function.name]
        if [name for name, _ in arguments] != [argument.name for argument in function.arguments]:
            raise XllHostError("the functions text: the arguments of %s are %s" %
                               (function.name, [argument.name for argument in function.arguments]))
        if function.name not in examples:
            raise XllHostError("the examples do not show %s" % function.name)
        rows = "\n".join("| `%s` | \u201c%s\u201d | %s |" % (argument.name, html.escape(argument.help), description)
                         for argument, (_, description) in zip(function.arguments, arguments))
        parts.append("\n\n".join([
            "### %s" % function.name,
            '<p class="help">\u201c%s\u201d</p>' % html.escape(function.help),
            "**Syntax**: `=%s`" % function.syntax(),
            "| argument | the dialog says | what it takes |\n|---|---|---|\n" + rows,
            body,
            worked_example(examples[function.name], workbook),
        ]))
    return "\n\n".join(parts)


def files_table(files):
    """The release's files, (name, what it is) each, as a markdown table."""
    return "| file | what it is |\n|---|---|\n" + "\n".join("| `%s` | %s |" % file for file in files)


def make_guide(path, addin, version, listing, laid_out, files, guide_text, functions_text):
    """laid_out: the workbook's sheets (workbook.lay_out_all); files: the release's, as files_table."""
    for mark in (REFERENCE_MARK, FILES_MARK):
        if mark not in guide_text:
            raise XllHostError("the guide text has no place for %s" % mark)
    text = guide_text.replace("@VERSION@", version).replace(FILES_MARK, files_table(files)).replace(
        REFERENCE_MARK, reference(listing, function_sections(functions_text), laid_out, addin.workbook))
    body = markdown.markdown(text, extensions=["tables", "toc", "sane_lists"],
                             extension_configs={"toc": {"toc_depth": "2-3"}})
    title = "%s %s: user guide" % (addin.title, version)
    page = ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>%s</title>\n'
            '<style>%s</style>\n</head>\n<body>\n%s\n</body>\n</html>\n' % (html.escape(title), STYLE, body))
    with open(path, "w", encoding="utf-8") as out:
        out.write(page)
