#!/usr/bin/python3
"""File-level checks of the shipped launcher: what Windows sees before it runs.

Usage: check_pe.py PATH-TO-EXE

Reads the executable with pefile and checks that it is a 32-bit GUI program
that imports exactly the kernel32 functions it calls and nothing else (no C
runtime: no TLS directory, no unwind tables), opts into ASLR, DEP and
Terminal Server awareness, carries the version block and the application
manifest. Exits non-zero on the first failing check
group, naming every failed check.
"""
import struct
import sys
import unittest
import xml.etree.ElementTree as ET

import pefile

# Everything the exe imports at load time. advapi32 and user32 are loaded
# from System32 only when a run needs them, and SetDefaultDllDirectories is
# looked up so that the exe still loads on Vista.
KERNEL32_IMPORTS = {
    "CloseHandle", "CreateFileW", "CreateProcessA", "ExitProcess",
    "FreeLibrary", "GetACP", "GetCurrentDirectoryW", "GetExitCodeProcess",
    "GetFileAttributesW", "GetLastError", "GetModuleHandleW", "GetProcAddress",
    "GetProcessHeap", "HeapAlloc", "HeapFree", "HeapSetInformation",
    "LoadLibraryExW", "MultiByteToWideChar", "SetLastError",
    "WaitForSingleObject", "WideCharToMultiByte",
}
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10",
}


class CrtFreeGuiProgram:
    """What the launcher and the benchmark's minimal program share: a 32-bit
    GUI program for Vista and later, with ASLR, DEP and Terminal Server
    awareness, and no C runtime. A mixin: the test case names the file."""

    path = None

    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(cls.path)

    def test_pe32_for_i386(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine,
                         pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE)

    def test_gui_subsystem(self):
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_aslr_and_dep(self):
        characteristics = self.pe.OPTIONAL_HEADER.DllCharacteristics
        for flag in ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE",
                     "IMAGE_DLLCHARACTERISTICS_NX_COMPAT"):
            with self.subTest(flag=flag):
                self.assertTrue(characteristics & pefile.DLL_CHARACTERISTICS[flag])
        # ASLR needs relocations to move the image.
        self.assertFalse(self.pe.FILE_HEADER.Characteristics
                         & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"])

    def test_base_relocations_present(self):
        # DYNAMIC_BASE moves nothing without relocations: the loader would
        # have to load the image at its preferred base or not at all.
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertNotEqual(directory.VirtualAddress, 0)
        self.assertGreater(directory.Size, 0)
        blocks = getattr(self.pe, "DIRECTORY_ENTRY_BASERELOC", [])
        highlow = [entry.rva for block in blocks for entry in block.entries
                   if entry.type == pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]]
        # 32-bit code fixes up whole 32-bit addresses; padding entries alone
        # would relocate nothing.
        self.assertTrue(highlow, "no HIGHLOW relocation")
        outside = [hex(rva) for rva in highlow if self.pe.get_section_by_rva(rva) is None]
        self.assertEqual(outside, [], "relocations outside every section")

    def test_subsystem_version_is_vista(self):
        header = self.pe.OPTIONAL_HEADER
        self.assertEqual((header.MajorSubsystemVersion, header.MinorSubsystemVersion), (6, 0))

    def test_os_version_is_vista(self):
        header = self.pe.OPTIONAL_HEADER
        self.assertEqual((header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion),
                         (6, 0))

    def test_aware_of_terminal_server(self):
        self.assertTrue(self.pe.OPTIONAL_HEADER.DllCharacteristics
                        & pefile.DLL_CHARACTERISTICS[
                            "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"])

    def test_no_runtime_leftovers(self):
        # A C runtime brings TLS callbacks and, with C++ exceptions, unwind
        # tables; the launcher has neither.
        tls = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]]
        self.assertEqual((tls.VirtualAddress, tls.Size), (0, 0))
        names = {section.Name.rstrip(b"\0").decode() for section in self.pe.sections}
        # A stripped image keeps 8 characters of a name: ".eh_fram".
        for leftover in (".eh_fram", ".tls", ".CRT", ".ctors", ".dtors"):
            with self.subTest(section=leftover):
                self.assertFalse([name for name in names if name.startswith(leftover)])


class LauncherExecutable(CrtFreeGuiProgram, unittest.TestCase):
    def test_imports_kernel32_only_and_exactly_its_calls(self):
        imports = {entry.dll.decode().lower(): {imp.name.decode() if imp.name else f"#{imp.ordinal}"
                                                for imp in entry.imports}
                   for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(set(imports), {"kernel32.dll"})
        self.assertEqual(imports["kernel32.dll"], KERNEL32_IMPORTS)
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))

    def test_version_block(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x10000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x10000, 0))
        strings = {}
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        self.assertEqual(strings.get("FileVersion"), "1.0.0.0")
        self.assertEqual(strings.get("ProductVersion"), "1.0.0.0")
        self.assertTrue(strings.get("FileDescription"))
        self.assertTrue(strings.get("ProductName"))
        self.assertEqual(strings.get("OriginalFilename"), "molk2014.exe")

    def manifest(self):
        rt_manifest = pefile.RESOURCE_TYPE["RT_MANIFEST"]
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if entry.id == rt_manifest:
                self.assertEqual(len(entry.directory.entries), 1, "one manifest")
                # ID 1: the manifest Windows applies when it creates the process.
                self.assertEqual(entry.directory.entries[0].id, 1)
                data = entry.directory.entries[0].directory.entries[0].data.struct
                return ET.fromstring(self.pe.get_data(data.OffsetToData, data.Size))
        self.fail("no RT_MANIFEST resource")

    def test_manifest_execution_level(self):
        level = self.manifest().find(
            f"{{{ASM_V3}}}trustInfo/{{{ASM_V3}}}security/"
            f"{{{ASM_V3}}}requestedPrivileges/{{{ASM_V3}}}requestedExecutionLevel")
        self.assertIsNotNone(level)
        self.assertEqual(level.get("level"), "asInvoker")
        self.assertEqual(level.get("uiAccess"), "false")

    def test_manifest_dpi_awareness(self):
        dpi = self.manifest().find(
            f"{{{ASM_V3}}}application/{{{ASM_V3}}}windowsSettings/{{{WS_2005}}}dpiAware")
        self.assertIsNotNone(dpi)
        self.assertEqual(dpi.text.strip(), "True/PM")

    def test_manifest_common_controls(self):
        identity = self.manifest().find(
            f"{{{ASM_V1}}}dependency/{{{ASM_V1}}}dependentAssembly/{{{ASM_V1}}}assemblyIdentity")
        self.assertIsNotNone(identity)
        self.assertEqual(identity.get("name"), "Microsoft.Windows.Common-Controls")
        self.assertEqual(identity.get("version"), "6.0.0.0")
        self.assertEqual(identity.get("publicKeyToken"), "6595b64144ccf1df")

    def test_manifest_supported_systems(self):
        ids = {os.get("Id").lower() for os in self.manifest().iter(f"{{{COMPAT}}}supportedOS")}
        self.assertEqual(ids, set(SUPPORTED_OS), sorted(SUPPORTED_OS[i] for i in ids if i in SUPPORTED_OS))

    def test_icon_group(self):
        # Explorer shows the first icon group; it has to name one image per
        # size, each present: DIBs for the small ones and a PNG for 256, as in
        # res/molk2014.ico.
        directory = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        self.assertIsNotNone(directory, "no resources")
        resources = {entry.id: entry for entry in directory.entries}

        def data_of(entry):
            data = entry.directory.entries[0].data.struct
            return self.pe.get_data(data.OffsetToData, data.Size)

        group_type = resources.get(pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
        self.assertIsNotNone(group_type, "no RT_GROUP_ICON resource")
        self.assertEqual(len(group_type.directory.entries), 1, "one icon group")
        group = data_of(group_type.directory.entries[0])
        icon_type = resources.get(pefile.RESOURCE_TYPE["RT_ICON"])
        self.assertIsNotNone(icon_type, "no RT_ICON resource")
        icons = {entry.id: data_of(entry) for entry in icon_type.directory.entries}

        # GRPICONDIR, then a 14-byte GRPICONDIRENTRY per image.
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind), (0, 1))
        self.assertEqual(len(group), 6 + 14 * count)
        entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
        # A width or height of 0 stands for 256.
        self.assertEqual(sorted((width or 256, height or 256) for width, height, *_ in entries),
                         [(16, 16), (24, 24), (32, 32), (48, 48), (256, 256)])
        for width, _, _, _, _, bits, size, icon_id in entries:
            side = width or 256
            with self.subTest(size=side, icon=icon_id):
                self.assertIn(icon_id, icons)
                image = icons[icon_id]
                self.assertEqual(len(image), size)
                if side == 256:
                    self.assertEqual(image[:8], b"\x89PNG\r\n\x1a\n")
                    self.assertEqual(image[12:16], b"IHDR")
                    self.assertEqual(struct.unpack_from(">II", image, 16), (256, 256))
                else:
                    # BITMAPINFOHEADER: the height counts the AND mask too.
                    header, dib_width, dib_height, _, dib_bits = struct.unpack_from("<IiiHH", image)
                    self.assertEqual((header, dib_width, dib_height), (40, side, 2 * side))
                    self.assertEqual(dib_bits, bits)


def main(case, usage):
    """Runs |case| on the file named by the one command-line argument."""
    if len(sys.argv) != 2:
        sys.exit(usage)
    case.path = sys.argv.pop(1)
    unittest.main(module=sys.modules[case.__module__], verbosity=2)


if __name__ == "__main__":
    main(LauncherExecutable, __doc__)
