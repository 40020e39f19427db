#!/usr/bin/python3
"""File-level checks of bench/minimal_start.exe: that it is the floor it is
meant to be, a 32-bit GUI program with ASLR and DEP that imports KERNEL32
alone and carries no C runtime.

Usage: check_minimal_start.py PATH-TO-EXE
"""
import sys
import unittest

import pefile

EXE = None


class MinimalStart(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)

    def test_pe32_gui(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine,
                         pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_aslr_and_dep(self):
        characteristics = self.pe.OPTIONAL_HEADER.DllCharacteristics
        for flag in ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE",
                     "IMAGE_DLLCHARACTERISTICS_NX_COMPAT"):
            with self.subTest(flag=flag):
                self.assertTrue(characteristics & pefile.DLL_CHARACTERISTICS[flag])
        self.assertFalse(self.pe.FILE_HEADER.Characteristics
                         & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"])

    def test_imports_kernel32_only(self):
        imported = [entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT]
        self.assertEqual(imported, ["kernel32.dll"])
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))
        functions = {imp.name.decode() for imp in self.pe.DIRECTORY_ENTRY_IMPORT[0].imports}
        for name in ("CreateProcessA", "WaitForSingleObject", "GetExitCodeProcess",
                     "ExitProcess"):
            with self.subTest(function=name):
                self.assertIn(name, functions)

    def test_no_runtime_start_up(self):
        # A C runtime brings TLS callbacks and unwind tables with it.
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_TLS"))
        names = {s.Name.rstrip(b"\0").decode() for s in self.pe.sections}
        self.assertFalse(names & {".tls", ".eh_fram", ".CRT"}, names)


if __name__ == "__main__":
    EXE = sys.argv[1]
    unittest.main(argv=[sys.argv[0]], verbosity=2)
