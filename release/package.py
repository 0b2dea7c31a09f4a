"""Makes the release zip from built XLLs: both add-ins, the examples workbook and the guide (both
computed through the native xllhost), the licences and the SHA-256 sums.

    package.py --native BUILD --win32 BUILD --win64 BUILD --out FOLDER
"""

import argparse
import hashlib
import os
import shutil
import sys
import tempfile
import zipfile

from guide import make_guide
from workbook import make_workbook
from xllhost import XllHost, XllHostError

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The notices of what is compiled into the XLLs, from Debian's packages of it.
THIRD_PARTY_LICENCES = {
    "LICENSE-Newmat.txt": "/usr/share/doc/libnewmat10-dev/copyright",
    "LICENSE-MinGW-w64-runtime.txt": "/usr/share/doc/mingw-w64-common/copyright",
}
ADDINS = {"win32": "MatrixFunctions.xll", "win64": "MatrixFunctions64.xll"}
WORKBOOK = "MatrixFunctions-examples.xlsx"
GUIDE = "MatrixFunctions-guide.html"
SUMS = "SHA256SUMS.txt"


def native_host(build):
    return XllHost(os.path.join(build, "bin", "xllhost"), os.path.join(build, "bin", "MatrixFunctions.xll"))


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def read(path):
    with open(path, encoding="utf-8") as text:
        return text.read()


def stage(folder, builds):
    """Puts every file of the release into folder; returns the version."""
    host = native_host(builds["native"])
    version = host.version()
    listing = host.listing()
    for build, name in ADDINS.items():
        shutil.copyfile(os.path.join(builds[build], "bin", name), os.path.join(folder, name))
    make_workbook(os.path.join(folder, WORKBOOK), host, version, listing)
    make_guide(os.path.join(folder, GUIDE), host, version, listing, read(os.path.join(ROOT, "docs", "guide.md")),
               read(os.path.join(ROOT, "docs", "functions.md")), os.path.join(ROOT, "examples", "demo.sheet"),
               "examples/demo.sheet")
    shutil.copyfile(os.path.join(ROOT, "LICENSE"), os.path.join(folder, "LICENSE.txt"))
    for name, source in THIRD_PARTY_LICENCES.items():
        shutil.copyfile(source, os.path.join(folder, name))
    names = sorted(os.listdir(folder))
    with open(os.path.join(folder, SUMS), "w", encoding="ascii", newline="\n") as sums:
        for name in names:
            sums.write("%s  %s\n" % (sha256(os.path.join(folder, name)), name))
    return version


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for build in ("native", "win32", "win64"):
        parser.add_argument("--" + build, required=True, help="the %s build folder" % build)
    parser.add_argument("--out", required=True, help="where the zip goes")
    arguments = parser.parse_args()
    builds = {build: getattr(arguments, build) for build in ("native", "win32", "win64")}
    with tempfile.TemporaryDirectory() as folder:
        try:
            version = stage(folder, builds)
        except (XllHostError, OSError) as error:
            sys.exit("package: %s" % error)
        os.makedirs(arguments.out, exist_ok=True)
        archive = os.path.join(arguments.out, "MatrixFunctions-%s.zip" % version)
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as zipped:
            for name in sorted(os.listdir(folder)):
                zipped.write(os.path.join(folder, name), name)
    with open(archive + ".sha256", "w", encoding="ascii", newline="\n") as sum_file:
        sum_file.write("%s  %s\n" % (sha256(archive), os.path.basename(archive)))
    print(archive)


if __name__ == "__main__":
    main()
