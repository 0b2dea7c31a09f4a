"""The add-ins the release carries, each with what the release tools need to know of it. Adding an
add-in to the release is adding an entry to ADDINS."""

import dataclasses
import os
import sys

import examples

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BITNESS_BUILDS = ("win32", "win64")


@dataclasses.dataclass(frozen=True)
class Addin:
    title: str  # the name the Add-in Manager lists, as the add-in itself gives it
    stem: str  # the native build's add-in is <stem>.xll; the workbook and the guide are named after it
    xlls: dict  # per Windows build (win32, win64): the shipped XLL's file name, also its name in bin/
    target: str  # the CMake target that builds it
    guide: str  # the guide's text, with a "<!-- function reference -->" line, relative to ROOT
    functions: str  # what each function takes, returns and shows, relative to ROOT
    sheets: list  # examples.Sheet: the workbook's sheets, whose cases are also the guide's examples

    @property
    def native_xll(self):
        return self.stem + ".xll"

    @property
    def workbook(self):
        return self.stem + "-examples.xlsx"

    @property
    def guide_page(self):
        return self.stem + "-guide.html"


ADDINS = [
    Addin(title="Matrix Functions", stem="MatrixFunctions",
          xlls={"win32": "MatrixFunctions.xll", "win64": "MatrixFunctions64.xll"}, target="MatrixFunctions",
          guide="docs/guide.md", functions="docs/functions.md", sheets=examples.SHEETS),
    Addin(title="Matrix Toolbox", stem="MatrixToolbox",
          xlls={"win32": "MatrixToolbox.xll", "win64": "MatrixToolbox64.xll"}, target="MatrixToolbox",
          guide="docs/toolbox.md", functions="docs/toolbox-functions.md", sheets=examples.TOOLBOX_SHEETS),
]


def release_name(addins):
    """One add-in's release is named after it; a release of several after what they have in common."""
    return addins[0].stem if len(addins) == 1 else "MatrixAddins"


if __name__ == "__main__":
    # For scripts/package: the CMake targets to build, and the name the release's files start with.
    print(" ".join(addin.target for addin in ADDINS) if sys.argv[1:] == ["--targets"] else release_name(ADDINS))
