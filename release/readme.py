"""The release's plain-text files: README.txt, what a user reads first after unzipping, and
CHANGELOG.txt, this project's CHANGELOG.md as far as the release's version."""

import re
import textwrap

WIDTH = 78  # Notepad's window, without horizontal scrolling


def column(files):
    width = max(len(name) for name, _ in files) + 4
    return "\n".join(textwrap.fill(what, WIDTH, initial_indent="  " + name.ljust(width - 2),
                                   subsequent_indent=" " * width) for name, what in files)


def readme_text(name, version, addins, files, signed):
    """files: the release's (name, what it is); signed: whether the XLLs carry a signature."""
    titles = " or ".join('"%s"' % addin.title for addin in addins)
    guides = " and ".join(addin.guide_page for addin in addins)
    which = "\n".join("  %-18s  %-24s  %s" % row for row in [("", "32-bit Excel", "64-bit Excel")] + [
        (addin.title, addin.xlls["win32"], addin.xlls["win64"]) for addin in addins])
    signature = (
        "The XLL files carry a digital signature (Authenticode): right-click a file >\n"
        "Properties > Digital Signatures shows who signed it."
        if signed else
        "The XLL files are not signed. Where Excel requires add-ins signed by a\n"
        "trusted publisher, an organisation can sign them with its own certificate:\n"
        "the guide says how.")
    heading = "%s %s" % (" and ".join(addin.title for addin in addins), version)
    guide = textwrap.fill("The guide (%s: open it in a web browser) has each step in detail, what to do when Excel "
                          "refuses the file, and every function." % guides, WIDTH)
    text = """%(heading)s
%(rule)s

Worksheet functions for linear algebra, as add-ins for Microsoft Excel on
Windows: Excel 2007 and every later version, Microsoft 365 included.

What is in this folder, %(name)s
%(folder_rule)s
%(files)s

Which file for your Excel
-------------------------
What counts is whether Excel is 32-bit or 64-bit, not Windows:

%(which)s

To tell: in Excel 2013 and later, File > Account > About Excel; in Excel 2010,
File > Help. The text there ends in "32-bit" or "64-bit". Excel 2007 is
always 32-bit. The other file does not load: Excel says its format and
extension don't match.

Installing
----------
1. Copy the file for your Excel to a folder where it can stay, for example
   %%APPDATA%%\\Microsoft\\AddIns.
2. Right-click the copied file > Properties. If the General tab shows
   "Unblock", tick it, then OK.
3. In Excel 2010 and later: File > Options > Add-ins. At the bottom, Manage:
   Excel Add-ins, Go... (In Excel 2007: the Office Button > Excel Options >
   Add-ins.) Click Browse..., pick the file, OK. The add-in now stands
   ticked in the list, as %(titles)s: OK.

%(guide)s

Uninstalling
------------
1. In the same list (File > Options > Add-ins > Manage: Excel Add-ins, Go...)
   untick the add-in and click OK. Excel no longer loads it.
2. Close Excel and delete the file you copied. To take the add-in off the list
   as well, open the list again and tick it: Excel says it cannot find it and
   offers to delete it from the list. Answer Yes.

Signature and checksums
-----------------------
%(signature)s

SHA256SUMS.txt has the SHA-256 checksum of each file. To check one, in a
command prompt: certutil -hashfile MatrixFunctions64.xll SHA256

Licence
-------
The add-ins are free software under the MIT licence (LICENSE.txt). They
contain code of Newmat (Matrix Functions), of Eigen (Matrix Toolbox) and of
the MinGW-w64 runtime, whose licences are in LICENSE-Newmat.txt,
LICENSE-Eigen.txt and LICENSE-MinGW-w64-runtime.txt. What changed in this
release is in CHANGELOG.txt.
""" % {"heading": heading, "rule": "=" * len(heading), "name": name, "folder_rule": "-" * (24 + len(name)),
       "files": column(files), "which": which, "titles": titles, "guide": guide, "signature": signature}
    return text


def changelog_text(markdown, version):
    """The changelog's entries, the first of them this version's: a release says what it changes. What
    stands before the first entry is for the project's developers."""
    entries = re.search(r"^## ", markdown, flags=re.MULTILINE)
    if not entries or not re.match(r"## %s(?:\s|$)" % re.escape(version), markdown[entries.start():]):
        raise ValueError("CHANGELOG.md has no entry for version %s first (a line \"## %s\")" % (version, version))
    return "Changes\n=======\n\n" + markdown[entries.start():]
