#!/usr/bin/python3
"""Tests of release_pe.py on a built exe and on copies spoiled on purpose.

Usage: release_pe_test.py PATH-TO-EXE

The built exe must pass; a copy with a link time, a resource time stamp, a
build path (8-bit or UTF-16), a PDB path or a certificate table must not.
"""
import os
import shutil
import struct
import sys
import tempfile
import unittest
from pathlib import Path

import pefile

sys.path.insert(0, str(Path(__file__).resolve().parent))
import release_pe  # noqa: E402

EXE = None


class ReleaseChecks(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="release-pe-test."))
        self.addCleanup(shutil.rmtree, self.dir)
        self.copy = self.dir / "molk2014.exe"
        shutil.copy(EXE, self.copy)

    def spoil(self, change):
        pe = pefile.PE(str(self.copy))
        change(pe)
        data = pe.write()
        pe.close()
        self.copy.write_bytes(data)

    def append(self, data):
        # After the last section: the checks read the whole file, overlay too.
        with open(self.copy, "ab") as f:
            f.write(data)

    def findings(self, **kwargs):
        return release_pe.check(str(self.copy), **kwargs)

    def test_built_exe_is_clean(self):
        self.assertEqual(self.findings(forbidden=[build_folder()], unsigned=True), [])

    def test_link_time_is_found(self):
        self.spoil(lambda pe: setattr(pe.FILE_HEADER, "TimeDateStamp", 0x5F5E1000))
        self.assertIn("COFF header time stamp 0x5f5e1000", self.findings())

    def test_resource_time_stamp_is_found(self):
        self.spoil(lambda pe: setattr(pe.DIRECTORY_ENTRY_RESOURCE.struct, "TimeDateStamp", 1))
        self.assertIn("resource directory time stamp", self.findings())

    def test_given_build_path_is_found_as_8_bit_and_utf16_text(self):
        tree = "/srv/ci/checkout-1234/molk"
        self.append(b"\0" + tree.encode() + b"/launcher/x.cc\0")
        self.append(b"\0\0" + (tree + "\\res").encode("utf-16-le") + b"\0\0")
        found = [f for f in self.findings(forbidden=[tree]) if tree in f]
        self.assertEqual(len(found), 2, self.findings(forbidden=[tree]))

    def test_usual_build_roots_are_found_without_being_named(self):
        self.append(b"\0/tmp/build.x/CMakeFiles/launcher.dir\0")
        self.append(b"\0\0" + "/home/dev/molk/res".encode("utf-16-le") + b"\0\0")
        found = [f for f in self.findings() if f.startswith("build path")]
        self.assertEqual(len(found), 2, found)

    def test_absolute_pdb_path_is_found(self):
        # A CodeView entry as the linkers write it for -g builds, put in the
        # zero padding after the section table, where RVA and file offset are
        # the same.
        pe = pefile.PE(str(self.copy))
        table_end = (pe.DOS_HEADER.e_lfanew + 24 + pe.FILE_HEADER.SizeOfOptionalHeader
                     + 40 * pe.FILE_HEADER.NumberOfSections)
        pe.close()
        start = (table_end + 15) // 16 * 16
        record = b"RSDS" + bytes(16) + struct.pack("<I", 1) + b"/work/build/molk2014.pdb\0"
        entry = struct.pack("<IIHHIIII", 0, 0, 0, 0, 2, len(record), start + 28, start + 28)
        data = bytearray(self.copy.read_bytes())
        self.assertEqual(data[start:start + 28 + len(record)], bytes(28 + len(record)),
                         "no free room after the section table")
        data[start:start + 28 + len(record)] = entry + record
        self.copy.write_bytes(data)

        def point_at_entry(pe):
            directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
                pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]]
            directory.VirtualAddress, directory.Size = start, 28
        self.spoil(point_at_entry)
        self.assertIn("debug directory names /work/build/molk2014.pdb", self.findings())

    def test_certificate_table_is_found_when_unsigned_is_asked_for(self):
        size = os.path.getsize(self.copy)
        self.append(bytes(16))

        def point_at_table(pe):
            directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
                pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
            directory.VirtualAddress, directory.Size = size, 16
        self.spoil(point_at_table)
        self.assertEqual(self.findings(), [])
        self.assertEqual(self.findings(unsigned=True),
                         ["certificate table present (16 bytes): the file is signed"])

    def test_diff_names_the_part_that_differs(self):
        other = self.dir / "other.exe"
        shutil.copy(self.copy, other)
        self.spoil(lambda pe: setattr(pe.FILE_HEADER, "TimeDateStamp", 1))
        self.assertEqual(release_pe.diff(str(self.copy), str(other)),
                         ["1 bytes differ in headers (TimeDateStamp), first at "
                          f"{pefile.PE(str(other)).DOS_HEADER.e_lfanew + 8:#x}"])


def build_folder():
    # The tree the exe was built in (dist/.. or build/<preset>/dist/..) must
    # not appear in it either.
    return str(Path(EXE).resolve().parent.parent)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    EXE = sys.argv.pop(1)
    unittest.main(verbosity=2)
