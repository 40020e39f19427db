#!/usr/bin/python3
"""File-level checks of bench/minimal_start.exe: that it is the floor it is
meant to be, built like the launcher (a 32-bit GUI program with ASLR, DEP
and no C runtime) and importing KERNEL32 alone.

Usage: check_minimal_start.py PATH-TO-EXE
"""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))
from check_pe import CrtFreeGuiProgram, main  # noqa: E402


class MinimalStart(CrtFreeGuiProgram, unittest.TestCase):
    def test_imports_kernel32_only(self):
        imported = [entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT]
        self.assertEqual(imported, ["kernel32.dll"])
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))
        functions = {imp.name.decode() for imp in self.pe.DIRECTORY_ENTRY_IMPORT[0].imports}
        for name in ("CreateProcessA", "WaitForSingleObject", "GetExitCodeProcess",
                     "ExitProcess"):
            with self.subTest(function=name):
                self.assertIn(name, functions)


if __name__ == "__main__":
    main(MinimalStart, __doc__)
