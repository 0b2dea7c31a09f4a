"""The user guide as one HTML file: docs/guide.md with the function reference put together from
what the add-in registers (syntax, help texts), from docs/functions.md (what each function takes,
returns and shows) and from worked examples that the add-in computes on examples/demo.sheet."""

import html
import re

import markdown

from xllhost import Error, XllHostError, area_name, parse_area

REFERENCE_MARK = "<!-- function reference -->"
RANGE = re.compile(r"\b[A-Z]{1,3}[0-9]+(?::[A-Z]{1,3}[0-9]+)?\b")

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
table.cells td { font-family: Consolas, "Courier New", monospace; text-align: right; }
table.cells td.text { text-align: left; }
.toc ul { list-style: none; padding-left: 1.2em; }
.help { font-style: italic; }
"""


def general(value):
    """A value as Excel's General format shows it: numbers to 15 significant digits."""
    if value is None:
        return ""
    if isinstance(value, Error):
        return value.name
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, float):
        return "%.15G" % (value + 0.0)  # no "-0"
    return value


def cells_table(rows):
    lines = ['<table class="cells">']
    for row in rows:
        cells = "".join('<td%s>%s</td>' % ("" if isinstance(v, float) else ' class="text"', html.escape(general(v)))
                        for v in row)
        lines.append("<tr>%s</tr>" % cells)
    lines.append("</table>")
    return "\n".join(lines)


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


def worked_example(evaluation, function, demo_name):
    """The demo's formulas of the function, each with the ranges it reads, as markdown."""
    formulas = [f for f in evaluation.formulas
                if f.text.startswith(function + "(") and f.values[0][0] != Error("#SPILL!")]
    if not formulas:
        raise XllHostError("%s does not use %s" % (demo_name, function))
    parts, shown = ["**Worked example** from `%s`, computed by the add-in:" % demo_name], set()
    for formula in formulas:
        for name in RANGE.findall(formula.text):
            if name not in shown:
                shown.add(name)
                parts.append("%s holds\n\n%s" % (name, cells_table(evaluation.values(parse_area(name)))))
        parts.append("`=%s` in %s gives\n\n%s" % (formula.text, area_name(formula.area), cells_table(formula.values)))
    return "\n\n".join(parts)


def reference(listing, sections, evaluation, demo_name):
    registered = [function.name for function in listing.functions]
    if sorted(registered) != sorted(sections):
        raise XllHostError("docs/functions.md describes %s, the add-in registers %s" % (sorted(sections), registered))
    parts = ["The functions stand in the category \"%s\" of the Insert Function dialog, in this order. "
             "The help texts are those the dialog shows." % listing.category]
    for function in listing.functions:
        arguments, body = sections[function.name]
        if [name for name, _ in arguments] != [argument.name for argument in function.arguments]:
            raise XllHostError("docs/functions.md: the arguments of %s are %s" %
                               (function.name, [argument.name for argument in function.arguments]))
        rows = "\n".join("| `%s` | %s | %s |" % (argument.name, html.escape(argument.help), description)
                         for argument, (_, description) in zip(function.arguments, arguments))
        parts.append("\n\n".join([
            "### %s" % function.name,
            '<p class="help">%s</p>' % html.escape(function.help),
            "**Syntax**: `=%s`" % function.syntax(),
            "| argument | help text | what it takes |\n|---|---|---|\n" + rows,
            body,
            worked_example(evaluation, function.name, demo_name),
        ]))
    return "\n\n".join(parts)


def make_guide(path, host, version, listing, guide_text, functions_text, demo_path, demo_name):
    if REFERENCE_MARK not in guide_text:
        raise XllHostError("the guide has no place for the function reference (%s)" % REFERENCE_MARK)
    evaluation = host.evaluate_file(demo_path, spill_blocked_allowed=True)
    text = guide_text.replace("@VERSION@", version).replace(
        REFERENCE_MARK, reference(listing, function_sections(functions_text), evaluation, demo_name))
    body = markdown.markdown(text, extensions=["tables", "toc", "sane_lists"],
                             extension_configs={"toc": {"toc_depth": "2-3"}})
    title = "Matrix Functions %s: user guide" % version
    page = ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>%s</title>\n'
            '<style>%s</style>\n</head>\n<body>\n%s\n</body>\n</html>\n' % (html.escape(title), STYLE, body))
    with open(path, "w", encoding="utf-8") as out:
        out.write(page)
