#!/usr/bin/python3
"""Checks that a built molk2014.exe carries nothing of the build machine.

Usage: release_pe.py EXE [--forbid PATH]... [--unsigned] [--diff OTHER]

Fails (exit 1, one line per finding) when the file has
  * a time stamp: in the COFF header, the debug, export, resource, import or
    load-config directories (the linker's and windres's usual places);
  * a debug directory entry that names a PDB by absolute path;
  * a build path: any --forbid PATH, or any absolute Unix path under a usual
    build root (/tmp/, /home/, /root/, /usr/, /work/, ...), as 8-bit text or
    as UTF-16LE;
  * with --unsigned, an Authenticode certificate table.
With --diff OTHER it only says where EXE and OTHER differ (byte offsets and
the PE part each lies in), to explain a failed reproducibility check.
"""
import argparse
import re
import sys

import pefile

# Absolute Unix paths under the roots a build tree or toolchain lives in.
UNIX_PATH = re.compile(rb"/(?:tmp|home|root|usr|work|build|var|opt|srv|mnt)/[\x21-\x7e]{2,}")


def utf16(text):
    return text.encode("utf-16-le")


def find_paths(data, forbidden):
    """The build paths in |data|: (offset, text) pairs."""
    found = []
    for path in forbidden:
        for needle in {path.encode(), utf16(path)}:
            start = data.find(needle)
            while start != -1:
                found.append((start, path))
                start = data.find(needle, start + 1)
    for match in UNIX_PATH.finditer(data):
        found.append((match.start(), match.group().decode("ascii")))
    # The same patterns as UTF-16LE: every other byte zero.
    for match in re.finditer(rb"(?:[\x20-\x7e]\x00){6,}", data):
        text = match.group().decode("utf-16-le").encode("ascii")
        if UNIX_PATH.search(text):
            found.append((match.start(), text.decode("ascii")))
    # One finding per place, with the longest text seen there.
    longest = {}
    for offset, text in found:
        if len(text) > len(longest.get(offset, "")):
            longest[offset] = text
    return sorted(longest.items())


def resource_stamps(directory):
    stamps = [directory.struct.TimeDateStamp]
    for entry in directory.entries:
        if hasattr(entry, "directory"):
            stamps += resource_stamps(entry.directory)
    return stamps


def check(path, forbidden=(), unsigned=False):
    """The findings for one exe, as text lines; empty when it is clean."""
    with open(path, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data)
    findings = []

    if pe.FILE_HEADER.TimeDateStamp:
        findings.append(f"COFF header time stamp {pe.FILE_HEADER.TimeDateStamp:#x}")
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        if entry.struct.TimeDateStamp:
            findings.append(f"debug directory time stamp {entry.struct.TimeDateStamp:#x}")
        pdb = getattr(entry.entry, "PdbFileName", None) if entry.entry else None
        if pdb and (pdb.startswith(b"/") or re.match(rb"[A-Za-z]:[\\/]", pdb)):
            name = pdb.rstrip(b"\0").decode(errors="replace")
            findings.append(f"debug directory names {name}")
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT") and pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp:
        findings.append("export directory time stamp")
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        if any(resource_stamps(pe.DIRECTORY_ENTRY_RESOURCE)):
            findings.append("resource directory time stamp")
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        # Non-zero only for bound imports, which hold the DLLs' link times.
        if entry.struct.TimeDateStamp:
            findings.append(f"import of {entry.dll.decode()} bound with time stamp")
    if hasattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG") and pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct.TimeDateStamp:
        findings.append("load configuration time stamp")

    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    if unsigned and (security.VirtualAddress or security.Size):
        findings.append(f"certificate table present ({security.Size} bytes): the file is signed")

    for offset, text in find_paths(data, forbidden):
        findings.append(f"build path at {offset:#x}: {text}")
    return findings


def where(pe, offset):
    """The PE part an offset of the file lies in."""
    if offset < pe.OPTIONAL_HEADER.SizeOfHeaders:
        checksum = pe.DOS_HEADER.e_lfanew + 4 + 20 + 64
        if offset in range(checksum, checksum + 4):
            return "headers (CheckSum)"
        stamp = pe.DOS_HEADER.e_lfanew + 4 + 4
        if offset in range(stamp, stamp + 4):
            return "headers (TimeDateStamp)"
        security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]].get_file_offset()
        if offset in range(security, security + 8):
            return "headers (certificate table entry)"
        return "headers"
    for section in pe.sections:
        start = section.PointerToRawData
        if start <= offset < start + section.SizeOfRawData:
            return section.Name.rstrip(b"\0").decode(errors="replace")
    return "after the last section"


def diff(path, other):
    with open(path, "rb") as f:
        a = f.read()
    with open(other, "rb") as f:
        b = f.read()
    lines = []
    if len(a) != len(b):
        lines.append(f"sizes differ: {len(a)} and {len(b)} bytes")
    pe = pefile.PE(data=a)
    parts = {}
    for offset in range(min(len(a), len(b))):
        if a[offset] != b[offset]:
            part = where(pe, offset)
            first, count = parts.get(part, (offset, 0))
            parts[part] = (first, count + 1)
    for part, (first, count) in parts.items():
        lines.append(f"{count} bytes differ in {part}, first at {first:#x}")
    return lines


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe")
    parser.add_argument("--forbid", action="append", default=[], metavar="PATH",
                        help="a build path that must not appear in the file")
    parser.add_argument("--unsigned", action="store_true",
                        help="the file must carry no Authenticode signature")
    parser.add_argument("--diff", metavar="OTHER",
                        help="only show where EXE and OTHER differ")
    args = parser.parse_args(argv)
    if args.diff:
        for line in diff(args.exe, args.diff):
            print(line)
        return 0
    findings = check(args.exe, args.forbid, args.unsigned)
    for finding in findings:
        print(f"{args.exe}: {finding}")
    if not findings:
        print(f"{args.exe}: no time stamps, no debug directory paths, no build paths")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
