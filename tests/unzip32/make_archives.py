#!/usr/bin/env python3
"""Makes the archives that the unzip32 tests read, with Info-ZIP zip and
Python's zipfile, into the folder given as the only argument:

  source/             the files the zip-made archives hold
  plain.zip           zip -r: stored and deflated members, a folder entry, an empty file
  encrypted.zip       zip -P secret: every member encrypted
  zip64.zip           zip -fz: ZIP64 records and extra fields
  commented.zip       zip, then a 60,000-byte archive comment
  streamed.zip        zip writing to a pipe: data descriptors with their signature
  prefixed.zip        plain.zip behind 4096 bytes of a program stub, offsets unadjusted
  descriptors.zip     zipfile on an unseekable stream: data descriptors
  forced64.zip        zipfile with force_zip64: ZIP64 extra fields in local headers
  names.zip           zipfile: twins, case twins, odd and very long names; member
                      i holds the text "member i"

The same folder seeds the reader's fuzz target.
"""
import io
import os
import random
import shutil
import subprocess
import sys
import zipfile


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def zip_command(out, arguments, cwd, stdin=None):
    subprocess.run(["zip", "-q", "-X"] + arguments, cwd=cwd, check=True, input=stdin)


class Unseekable(io.RawIOBase):
    """A write-only stream that cannot seek, so zipfile writes descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def main(out):
    shutil.rmtree(out, ignore_errors=True)
    source = os.path.join(out, "source")
    rng = random.Random(12)
    write(os.path.join(source, "a.exe"), rng.randbytes(3000))
    write(os.path.join(source, "b.txt"), b"the quick brown fox jumps over the lazy dog\n" * 500)
    write(os.path.join(source, "sub", "c.gif"), rng.randbytes(100))
    write(os.path.join(source, "empty.dat"), b"")

    def archive(name):
        return os.path.abspath(os.path.join(out, name))

    members = ["a.exe", "b.txt", "sub", "empty.dat"]
    zip_command(out, ["-r", archive("plain.zip")] + members, source)
    zip_command(out, ["-P", "secret", archive("encrypted.zip"), "a.exe", "b.txt"], source)
    zip_command(out, ["-fz", archive("zip64.zip"), "a.exe", "b.txt"], source)
    # zip wraps a comment's lines, so zipfile sets the comment to an exact length.
    zip_command(out, [archive("commented.zip"), "b.txt"], source)
    with zipfile.ZipFile(archive("commented.zip"), "a") as z:
        z.comment = b"c" * 60000
    streamed = subprocess.run(["zip", "-q", "-X", "-", "a.exe", "b.txt"], cwd=source,
                              check=True, stdout=subprocess.PIPE).stdout
    write(archive("streamed.zip"), streamed)
    with open(archive("plain.zip"), "rb") as f:
        write(archive("prefixed.zip"), b"MZ" + rng.randbytes(4094) + f.read())

    stream = Unseekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
        with open(os.path.join(source, "b.txt"), "rb") as f:
            z.writestr("b.txt", f.read())
        with open(os.path.join(source, "a.exe"), "rb") as f:
            z.writestr(zipfile.ZipInfo("a.exe"), f.read(), zipfile.ZIP_STORED)
    write(archive("descriptors.zip"), bytes(stream.data))

    with zipfile.ZipFile(archive("forced64.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        with open(os.path.join(source, "b.txt"), "rb") as f, z.open("b.txt", "w", force_zip64=True) as m:
            m.write(f.read())

    names = ["a.exe", "A.EXE", "a.exe", "dir with space/\u00e9t\u00e9.txt", "back\\slash.txt",
             "n" * 4200 + ".txt", "x" * 65531 + ".bin", "folder/"]
    with zipfile.ZipFile(archive("names.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for i, name in enumerate(names):
            info = zipfile.ZipInfo(name)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, b"" if name.endswith("/") else b"member %d" % i)


if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore")  # zipfile warns about the twins on purpose
    main(sys.argv[1])
