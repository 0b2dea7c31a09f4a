"""Makes the release zip from built XLLs. The zip holds one folder, <release>-<version>/, with each
add-in's XLLs, examples workbook and guide (both computed through the native xllhost), README.txt,
CHANGELOG.txt, the licences and the SHA-256 sums. With --sign, every XLL is signed (Authenticode,
with osslsigncode) before the sums are taken; the certificate's password, if it has one, comes from
the environment variable SIGN_PASSWORD.

    package.py --native BUILD --win32 BUILD --win64 BUILD --out FOLDER [--sign CERT.pfx [--timestamp URL]]
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

from addins import ADDINS, ROOT, release_name
from guide import make_guide
from readme import changelog_text, readme_text
from workbook import lay_out_all, make_workbook
from xllhost import XllHost, XllHostError

# The notices of what is compiled into the XLLs, from Debian's packages of it.
THIRD_PARTY_LICENCES = {
    "LICENSE-Newmat.txt": "/usr/share/doc/libnewmat10-dev/copyright",
    "LICENSE-MinGW-w64-runtime.txt": "/usr/share/doc/mingw-w64-common/copyright",
    "LICENSE-Eigen.txt": "/usr/share/doc/libeigen3-dev/copyright",
}
LICENCE = "LICENSE.txt"
README = "README.txt"
CHANGELOG = "CHANGELOG.txt"
SUMS = "SHA256SUMS.txt"
BITS = {"win32": "32-bit", "win64": "64-bit"}


class PackageError(Exception):
    pass


def native_host(build, addin):
    return XllHost(os.path.join(build, "bin", "xllhost"), os.path.join(build, "bin", addin.native_xll))


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def read(path):
    with open(path, encoding="utf-8") as text:
        return text.read()


def release_files(addins):
    """Every file of the release in the order the guide and README.txt list them, each with what it is."""
    files = []
    for addin in addins:
        files += [(addin.xlls[build], "%s for %s Excel" % (addin.title, BITS[build])) for build in BITS]
        files += [(addin.guide_page, "the user guide of %s: open it in a web browser" % addin.title),
                  (addin.workbook, "a workbook with every function of %s at work, good cases and refused ones" %
                   addin.title)]
    return files + [
        (README, "what is where, in short"),
        (CHANGELOG, "what changed in each release"),
        (LICENCE, "the licence of the add-ins"),
    ] + [(name, "the licence of code compiled into the add-ins") for name in THIRD_PARTY_LICENCES] + [
        (SUMS, "the SHA-256 checksum of each file"),
    ]


def sign(path, certificate, description, timestamp=None):
    """Signs the file in place with the PKCS#12 certificate; the password, if any, from SIGN_PASSWORD."""
    signed = path + ".signed"
    password = os.environ.get("SIGN_PASSWORD")
    command = ["osslsigncode", "sign", "-pkcs12", certificate, "-h", "sha256", "-n", description]
    if password is not None:
        command += ["-readpass", "-"]  # from standard input: a command line shows in every process list
    if timestamp:
        command += ["-t", timestamp]
    done = subprocess.run(command + ["-in", path, "-out", signed], input=password or "", stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        if os.path.exists(signed):
            os.remove(signed)
        raise PackageError("signing %s failed:\n%s" % (os.path.basename(path), done.stdout.strip()))
    os.replace(signed, path)


def stage(folder, builds, addins, signing=None):
    """Puts every file of the release into folder; returns the version. signing: (certificate, timestamp URL)."""
    version = None
    for addin in addins:
        host = native_host(builds["native"], addin)
        if version is None:
            version = host.version()
        listing = host.listing()
        for build in BITS:
            path = os.path.join(folder, addin.xlls[build])
            shutil.copyfile(os.path.join(builds[build], "bin", addin.xlls[build]), path)
            if signing:
                sign(path, signing[0], addin.title, signing[1])
        laid_out = lay_out_all(host, addin.sheets, listing)
        make_workbook(os.path.join(folder, addin.workbook), addin, version, listing, laid_out)
        make_guide(os.path.join(folder, addin.guide_page), addin, version, listing, laid_out, release_files(addins),
                   read(os.path.join(ROOT, addin.guide)), read(os.path.join(ROOT, addin.functions)))
    name = "%s-%s" % (release_name(addins), version)
    with open(os.path.join(folder, README), "w", encoding="utf-8", newline="\r\n") as readme:
        readme.write(readme_text(name, version, addins, release_files(addins), signed=bool(signing)))
    with open(os.path.join(folder, CHANGELOG), "w", encoding="utf-8", newline="\r\n") as changes:
        changes.write(changelog_text(read(os.path.join(ROOT, "CHANGELOG.md")), version))
    shutil.copyfile(os.path.join(ROOT, "LICENSE"), os.path.join(folder, LICENCE))
    for licence, source in THIRD_PARTY_LICENCES.items():
        shutil.copyfile(source, os.path.join(folder, licence))
    names = sorted(os.listdir(folder))
    with open(os.path.join(folder, SUMS), "w", encoding="ascii", newline="\n") as sums:  # as sha256sum -c reads
        for file_name in names:
            sums.write("%s  %s\n" % (sha256(os.path.join(folder, file_name)), file_name))
    return version


def make_zip(out, folder, name):
    """out/<name>.zip, its files under <name>/, and its own .sha256 beside it; returns the zip's path."""
    os.makedirs(out, exist_ok=True)
    archive = os.path.join(out, name + ".zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as zipped:
        zipped.write(folder, name + "/")
        for file_name in sorted(os.listdir(folder)):
            zipped.write(os.path.join(folder, file_name), "%s/%s" % (name, file_name))
    with open(archive + ".sha256", "w", encoding="ascii", newline="\n") as sum_file:
        sum_file.write("%s  %s\n" % (sha256(archive), os.path.basename(archive)))
    return archive


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for build in ("native",) + tuple(BITS):
        parser.add_argument("--" + build, required=True, help="the %s build folder" % build)
    parser.add_argument("--out", required=True, help="where the zip goes")
    parser.add_argument("--sign", metavar="CERT.pfx", help="sign the XLLs with this PKCS#12 certificate")
    parser.add_argument("--timestamp", metavar="URL", help="have the signatures timestamped by this server")
    arguments = parser.parse_args()
    if arguments.timestamp and not arguments.sign:
        parser.error("--timestamp needs --sign")
    if arguments.sign and not os.path.isfile(arguments.sign):
        parser.error("no certificate file %s" % arguments.sign)
    builds = {build: getattr(arguments, build) for build in ("native",) + tuple(BITS)}
    signing = (arguments.sign, arguments.timestamp) if arguments.sign else None
    with tempfile.TemporaryDirectory() as folder:
        try:
            version = stage(folder, builds, ADDINS, signing)
        except (XllHostError, PackageError, OSError, ValueError) as error:
            sys.exit("package: %s" % error)
        print(make_zip(arguments.out, folder, "%s-%s" % (release_name(ADDINS), version)))


if __name__ == "__main__":
    main()
