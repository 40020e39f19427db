#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/.

Each seed is a small, readable case of its target's input layout (described
at the top of each *_fuzzer.cc); libFuzzer mutates from there. Run again after
changing a layout; the files are checked in.
"""
import pathlib
import shutil
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


def u32(value):
    return struct.pack("<I", value)


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass")


def registry(setup, value_type, first, second=b""):
    return bytes([setup]) + u32(value_type) + struct.pack("<H", len(first)) + \
        first + second


REG_SZ, REG_EXPAND_SZ, REG_DWORD = 1, 2, 4

SEEDS = {
    "registry_value": {
        "reg_sz_in_64bit_view": registry(
            0x00, REG_SZ, utf16("C:\\Program Files\\Java\\jre7\0")),
        "expand_sz_32bit_view_no_terminator": registry(
            0x04, REG_EXPAND_SZ, utf16("%ProgramFiles%\\Java\\jre7")),
        "both_views_odd_byte_count": registry(
            0x08, REG_SZ, utf16("C:\\Java64\\jre7") + b"X",
            utf16("C:\\Java32\\jre7\0")),
        "empty_64bit_key_hides_32bit_value": registry(
            0x0C, REG_SZ, utf16("C:\\Java32\\jre7\0")),
        "dword": registry(0x00, REG_DWORD, u32(7)),
        "second_read_fails": registry(0x10, REG_SZ, utf16("C:\\jre7\0")),
        "value_grows_between_reads": registry(0x20, REG_SZ, utf16("C:\\jre7\0")),
        "windows32_utf8_nul_inside": registry(
            0x03, REG_SZ, utf16("C:\\Jo\u00e3o\\\u4e2d\0garbage\0")),
    },
    "command_line": {
        "blanks_in_both": b"\x00C:\\Program Files\\Java\\jre7\0C:\\My App",
        "no_runtime_drive_root": b"\x00\0C:\\",
        "quote_in_working_directory": b"\x00C:\\jre7\0C:\\a\\\" b",
        "quote_in_home": b"\x00C:\\Program\" Files\\jre7\0C:\\App",
        "tabs_and_trailing_backslashes": b"\x00C:\\j\tre\\\\\0C:\\x\\\\",
        "wide_look_alikes_1252": b"\x01" + utf16(
            "C:\\a\uff02b\u201cc\0C:\\d\u2215e\uff3cf"),
        "wide_utf8": b"\x03" + utf16("C:\\\U0001F600\\jre\0C:\\t_a\u2215b"),
    },
    "folder_check": {
        "folder": u32(0x10) + u32(0) + u32(0),
        "file": u32(0x20) + u32(0) + u32(0),
        "junction_that_opens": u32(0x410) + u32(0) + u32(0),
        "dangling_link": u32(0x410) + u32(0) + u32(2),
        "file_not_found": u32(0) + u32(2) + u32(0),
        "access_denied": u32(0) + u32(5) + u32(0),
        "bad_pathname": u32(0) + u32(161) + u32(0),
        "sharing_violation": u32(0) + u32(32) + u32(0),
    },
    "ansi_text": {
        "wide_latin_1252": b"\x00" + utf16("C:\\Jo\u00e3o\\\u20ac"),
        "wide_look_alikes_1252": b"\x00" + utf16("a\uff02b\u2215c\uff3cd"),
        "wide_astral_and_lone_surrogate_utf8": b"\x01" + utf16(
            "C:\\\U0001F600\\\ud800x"),
        "wide_embedded_nul": b"\x00" + utf16("C:\\a\0b"),
        "ansi_high_block_1252": b"\x02" + bytes(range(0x80, 0x100)),
        "ansi_utf8": b"\x03" + "C:\\t_a\u2215b\\\u4e2d".encode("utf-8"),
    },
}


def main():
    for target, seeds in SEEDS.items():
        folder = CORPUS / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
