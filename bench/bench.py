#!/usr/bin/python3
"""Figures for dist/molk2014.exe: size, imports, where the bytes come from,
handoff overhead, CPU while waiting, handles held while waiting. Prints;
asserts nothing.

Usage: bench/bench.py [--exe dist/molk2014.exe] [--map MAP] [--build build/win32]
                      [--minimal EXE] [--runs 25]

Runs the exe under Wine in the win32 build tree's prefix (the same one the
end-to-end suite uses) with the suite's stand-in runtime and starter, beside
bench/minimal_start.exe (the least a program can do to make the same start)
and the stand-in started directly.

The size map reads the linker map: GNU ld's (-Wl,-Map=, the win32 build) or
lld's (-Map= through its MinGW driver, the win32-clang build). lld's names an
archive member without its archive; its link.exe-style map (/map:, written
beside it as molk2014.link.map) names both, and is used when present.
"""
import argparse
import collections
import json
import re
import shlex
import shutil
import os
import statistics
import sys
import threading
import time
from pathlib import Path

import pefile

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import run_e2e as e2e  # noqa: E402  (the suite's Wine plumbing)


def section_name(section):
    return section.Name.rstrip(b"\0").decode(errors="replace")


def kib(size):
    return f"{size / 1024:.1f} KiB"


def size_split(exe, pe):
    """The whole file, its resources, and what is left when they go."""
    total = exe.stat().st_size
    resources = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    rsrc = [s for s in pe.sections if resources.Size and
            s.VirtualAddress <= resources.VirtualAddress < s.VirtualAddress + max(
                s.Misc_VirtualSize, s.SizeOfRawData)]
    rsrc_raw = sum(s.SizeOfRawData for s in rsrc)
    name = ", ".join(section_name(s) for s in rsrc) or "none"
    print(f"size of {exe}:")
    print(f"  whole file:            {total:8} bytes ({kib(total)})")
    print(f"  resources, raw:        {rsrc_raw:8} bytes ({kib(rsrc_raw)}; section {name}, "
          f"{resources.Size} bytes of resource data)")
    print(f"  outside the resources: {total - rsrc_raw:8} bytes ({kib(total - rsrc_raw)})")
    print("sections (bytes in the file, bytes in memory):")
    for section in pe.sections:
        print(f"  {section_name(section):8} {section.SizeOfRawData:7} {section.Misc_VirtualSize:7}")
    headers = pe.OPTIONAL_HEADER.SizeOfHeaders
    in_sections = sum(s.SizeOfRawData for s in pe.sections)
    print(f"  headers  {headers:7}; after the last section (signature, other data): "
          f"{total - headers - in_sections}")


def function_names(imports):
    return [imp.name.decode() if imp.name else f"#{imp.ordinal}" for imp in imports]


def print_wrapped(words, indent="    ", width=100):
    line = indent
    for i, word in enumerate(words):
        piece = word + ("," if i + 1 < len(words) else "")
        if len(line) + len(piece) + 1 > width and line.strip():
            print(line.rstrip())
            line = indent
        line += piece + " "
    if line.strip():
        print(line.rstrip())


def load_time_imports(pe):
    """What the loader binds before the first instruction runs."""
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    print(f"load-time imports ({len(entries)} DLLs, "
          f"{sum(len(e.imports) for e in entries)} functions):")
    for entry in entries:
        names = function_names(entry.imports)
        print(f"  {entry.dll.decode()} ({len(names)}):")
        print_wrapped(names)
    delayed = getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
    if delayed:
        print("delay-load imports (bound on first call):")
        for entry in delayed:
            names = function_names(entry.imports)
            print(f"  {entry.dll.decode()} ({len(names)}):")
            print_wrapped(names)
    else:
        print("  no delay-load imports; DLLs loaded by the program itself do not show here")


# One input section as a linker map gives it: where it went and where it
# came from. |archive| is None for an object named on the command line and
# for bytes the linker made itself (|obj| then says what they are).
Piece = collections.namedtuple("Piece", "out kind size archive obj")


def section_kind(input_section):
    """.text$_ZN... -> .text; .text.unlikely -> .text; .idata$4 -> .idata;
    .CRT$XCU -> .CRT; COMMON -> .bss."""
    if input_section == "COMMON":
        return ".bss"
    kind = re.match(r"^\.?[^.$]*", input_section).group(0)
    return kind or input_section


GNU_INPUT = re.compile(r"^ (\.\S+|COMMON)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*))?$")
GNU_WRAPPED = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
GNU_FILL = re.compile(r"^ \*fill\*\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)")
GNU_DATA = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(?:LONG|SHORT|BYTE|QUAD|SQUAD) ")
GNU_ADDRESS = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s*$")
GNU_OUTPUT = re.compile(r"^(\.\S+|/DISCARD/)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+))?")


def gnu_origin(text):
    """'/x/libstdc++.a(cp-demangle.o)' -> ('libstdc++.a', 'cp-demangle.o');
    'CMakeFiles/x.dir/a.cc.obj' -> (None, path); 'dll stuff' -> (None, ...)."""
    member = re.match(r"^(.*?)\(([^()]+)\)$", text)
    if member:
        return Path(member.group(1)).name, member.group(2)
    return None, text


def parse_gnu_map(text):
    """GNU ld: input sections under 'Linker script and memory map', one line
    each, or two when the section name is long. Returns the pieces and each
    output section's (name, address, extent of its contents)."""
    pieces, extents = [], {}
    out, pending, output_pending = None, None, False
    body = text.split("Linker script and memory map", 1)[-1]
    for line in body.splitlines():
        output = GNU_OUTPUT.match(line)
        if output:
            out, pending = output.group(1), None
            output_pending = not output.group(2)  # a long name: they follow
            if output.group(2):
                extents[out] = [int(output.group(2), 16), 0]
            continue
        if output_pending:
            output_pending = False
            address = GNU_ADDRESS.match(line)
            if address:
                extents[out] = [int(address.group(1), 16), 0]
                continue
        # Bytes of the linker's own: script data (the ends of the
        # constructor lists, the import directory's last entry) and fill.
        made = None if pending else GNU_FILL.match(line) or GNU_DATA.match(line)
        if made and out is not None:
            address, size = int(made.group(1), 16), int(made.group(2), 16)
            if address and size:
                pieces.append(Piece(out, section_kind(out), size, None,
                                    "alignment padding" if "*fill*" in line
                                    else "linker script data"))
                if out in extents:
                    start = extents[out][0]
                    extents[out][1] = max(extents[out][1], address + size - start)
            continue
        found = GNU_INPUT.match(line)
        if found and found.group(2) is None:
            pending = found.group(1)  # the address and size follow
            continue
        if found:
            name, address, size, origin = found.groups()
        else:
            wrapped = GNU_WRAPPED.match(line) if pending else None
            pending_name, pending = pending, None
            if not wrapped:
                continue
            name, (address, size, origin) = pending_name, wrapped.groups()
        address, size = int(address, 16), int(size, 16)
        if out is None or address == 0 or size == 0:
            continue  # discarded, or kept but empty
        if out in extents:
            start = extents[out][0]
            extents[out][1] = max(extents[out][1], address + size - start)
        archive, obj = gnu_origin(origin.strip())
        pieces.append(Piece(out, section_kind(name), size, archive, obj))
    image_base = re.search(r"0x([0-9a-f]+)\s+__image_base__ = ", text)
    base = int(image_base.group(1), 16) if image_base else 0x400000
    return pieces, [(name, address - base, extent) for name, (address, extent) in extents.items()]


LLD_LINE = re.compile(r"^([0-9a-f]+) ([0-9a-f]+) +(\d+) (.*)$")


def lld_members(link_map):
    """member -> archives, from the Lib:Object column of lld's link.exe-style
    map ('libstdc++:cow-stdexcept.o')."""
    archives = collections.defaultdict(set)
    if link_map is None or not link_map.exists():
        return None
    for line in link_map.read_text(errors="replace").splitlines():
        words = line.split()
        if len(words) >= 4 and re.match(r"^[0-9a-f]{4}:[0-9a-f]{8}$", words[0]):
            lib, sep, member = words[-1].rpartition(":")
            if sep and lib:
                archives[member].add(lib)
    return archives


def parse_lld_map(text, link_map):
    """lld: 'Address Size Align Out In Symbol' rows; an output section in the
    Out column, an input section 8 columns further in as FILE:(SECTION),
    symbols 16 further. FILE is the path as linked for an object on the
    command line, the bare member name for an archive member."""
    pieces, extents, inputs = [], {}, collections.Counter()
    members = lld_members(link_map)
    out = None
    for line in text.splitlines():
        row = LLD_LINE.match(line)
        if not row:
            continue
        address, size, rest = int(row.group(1), 16), int(row.group(2), 16), row.group(4)
        depth = len(rest) - len(rest.lstrip(" "))
        rest = rest.strip()
        if depth == 0:
            # A name can repeat (two .gcc_except_table outputs): key by address.
            out = (rest, address)
            extents[out] = (address, size)
        elif depth == 8 and out and size:
            obj, sep, name = rest.rpartition(":(")
            if not sep:
                obj, name = rest, "?"
            name = name[:-1] if name.endswith(")") else name
            inputs[out] += size
            archive = None
            if "/" not in obj:
                # An archive member; a member with no public symbol is not
                # in the Lib:Object column either.
                found = members.get(obj) if members is not None else None
                archive = "|".join(sorted(found)) if found else "?"
            pieces.append(Piece(out[0], section_kind(name), size, archive, obj))
    # What no input section accounts for: base relocations, the import
    # directory, alignment padding, all made by the linker.
    for out, (address, size) in extents.items():
        if size > inputs[out]:
            pieces.append(Piece(out[0], out[0], size - inputs[out], None,
                                "relocations, import directory, padding"))
    return pieces, [(name, address, size) for (name, _), (address, size) in extents.items()]


def own_objects(build_dir):
    """File names of the objects this build tree compiles, from CMake's
    compile_commands.json ('-o path'), or None when there is none."""
    commands = build_dir / "compile_commands.json"
    if not commands.exists():
        return None
    names = set()
    for entry in json.loads(commands.read_text()):
        words = entry.get("arguments") or shlex.split(entry.get("command", ""))
        for i, word in enumerate(words[:-1]):
            if word == "-o":
                names.add(Path(words[i + 1]).name)
        if entry.get("output"):
            names.add(Path(entry["output"]).name)
    return names


def strip_archive_suffix(name):
    for suffix in (".a", ".lib"):
        if name.endswith(suffix):
            return name[: -len(suffix)]
    return name


def origin_of(piece, own):
    """(group, member): the project's objects by file name, libraries by
    archive, loose toolchain objects (crt2.o...) by file name."""
    obj_name = Path(piece.obj).name if "/" in piece.obj else piece.obj
    # What link-time optimisation made of the project's own objects: GCC's
    # temporary /tmp/ccXXXXXX.ltrans0.ltrans.o, lld's <output>.lto.obj.
    if re.search(r"\.ltrans\d*\.ltrans\.o$|\.lto\.obj$", obj_name):
        return "own: link-time optimised launcher code", "link-time optimised launcher code"
    is_object = re.search(r"\.(o|obj|res)$", obj_name) is not None
    if piece.archive is None and not is_object:
        return "linker: " + piece.obj, piece.obj
    mine = (own is not None and obj_name in own) or (
        own is None and is_object and not piece.obj.startswith("/"))
    archive = None if piece.archive is None else strip_archive_suffix(piece.archive)
    if archive == "?":
        if mine:
            return "own: " + obj_name, obj_name
        return "archive members whose archive lld's maps do not name", f"?({obj_name})"
    if archive is None:
        return ("own: " if mine else "") + obj_name, obj_name
    member = f"{archive}({obj_name})"
    return ("own: " + member if mine else archive), member


def kinds_text(counter, limit=5):
    parts = [f"{kind} {size}" for kind, size in counter.most_common(limit)]
    rest = sum(counter.values()) - sum(size for _, size in counter.most_common(limit))
    return ", ".join(parts) + (f", other {rest}" if rest else "")


def size_map(map_file, pe, build_dir, top=12):
    """Bytes linked in per origin, outside the resources, from the map."""
    text = map_file.read_text(errors="replace")
    if "Linker script and memory map" in text:
        linker = "GNU ld"
        pieces, extents = parse_gnu_map(text)
    elif text.startswith("Address  Size     Align Out     In      Symbol"):
        link_map = map_file.with_name(map_file.stem + ".link.map")
        linker = "lld" + (f", archives from {link_map.name}" if link_map.exists() else
                          f"; no {link_map.name} beside it, so archive members go unnamed")
        pieces, extents = parse_lld_map(text, link_map)
    else:
        print(f"size map: {map_file} is in a format this script does not parse")
        return
    # Does the map describe this exe? Each section's start and contents.
    stale = []
    for section in pe.sections:
        name = section_name(section)
        if not any(out[:8] == name and address == section.VirtualAddress
                   and extent == section.Misc_VirtualSize for out, address, extent in extents):
            stale.append(name)
    resources = {out for out, _, _ in extents if out.startswith(".rsrc")}
    pieces = [p for p in pieces if p.out not in resources and p.kind != ".rsrc"]
    own = own_objects(build_dir)
    by_origin = collections.defaultdict(collections.Counter)
    by_member = collections.Counter()
    by_kind = collections.Counter()
    for piece in pieces:
        group, member = origin_of(piece, own)
        by_origin[group][piece.kind] += piece.size
        by_member[member] += piece.size
        by_kind[piece.kind] += piece.size
    total = sum(by_kind.values())
    mine = sum(sum(c.values()) for g, c in by_origin.items() if g.startswith("own: "))
    print(f"size map of everything outside the resources ({map_file}, {linker}):")
    if stale:
        print(f"  NOTE: the map does not match this exe in {', '.join(stale)}: "
              "a map of another build? (--map)")
    print(f"  {total} bytes of sections before file alignment (.bss takes none in the file):")
    print(f"    {kinds_text(by_kind, limit=8)}")
    print(f"  the project's own objects: {mine} bytes ({100 * mine / max(total, 1):.1f}%)")
    print("     bytes       %  origin, by section kind")
    for group, kinds in sorted(by_origin.items(), key=lambda item: -sum(item[1].values())):
        size = sum(kinds.values())
        print(f"  {size:8} {100 * size / total:6.1f}%  {group}: {kinds_text(kinds)}")
    print("  largest single inputs (objects, archive members):")
    for member, size in by_member.most_common(top):
        print(f"  {size:8}  {member}")


class Bench(e2e.LauncherCase):
    """Borrows the suite's folder, registry and launch helpers."""

    def runTest(self):  # unittest wants one; the figures are printed instead
        pass


def wine_process(windows_path, prefix):
    """The Unix pid of the Windows program |windows_path| running in the Wine
    prefix |prefix|, or None. Wine runs each Windows process as one Unix
    process and puts the program's Windows path first in its command line;
    the starter's command line names the program too, further on, and other
    prefixes on the machine may run programs of the same name."""
    wanted = windows_path.lower()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            first = (entry / "cmdline").read_bytes().split(b"\0", 1)[0]
            if first.decode(errors="replace").strip().strip('"').lower() != wanted:
                continue
            environment = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if f"WINEPREFIX={prefix}".encode() in environment:
            return int(entry.name)
    return None


def cpu_ns(pid):
    """CPU time of every thread of |pid| so far, in ns (scheduler accounting);
    None once the process is gone."""
    total = 0
    try:
        tasks = list(Path(f"/proc/{pid}/task").iterdir())
    except OSError:
        return None
    for task in tasks:
        try:
            total += int((task / "schedstat").read_text().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total


def cpu_while_waiting(bench, alive_ms=5000):
    """The launcher's CPU time while its runtime lives |alive_ms|: Windows'
    process times as Wine gives them, and the scheduler's figure for the Unix
    process that hosts it, over the wait alone (start-up excluded)."""
    result = {}

    def run():
        try:
            result["run"] = bench.launch(
                bench.dir, env={"STANDIN_SLEEP_MS": str(alive_ms), "STANDIN_HANDLES": "1"})
        except BaseException as error:  # handed to the main thread below
            result["error"] = error

    worker = threading.Thread(target=run)
    worker.start()
    launcher = e2e.windows_path(e2e.LAUNCHER)
    pid, deadline = None, time.monotonic() + 30
    while pid is None and time.monotonic() < deadline and worker.is_alive():
        pid = wine_process(launcher, e2e.WINE["WINEPREFIX"])
        time.sleep(0.05)
    samples = None
    if pid:
        time.sleep(1.0)  # past start-up: the launcher is in its wait now
        first, begin = cpu_ns(pid), time.monotonic()
        time.sleep(alive_ms / 1000 - 2.0)
        last = cpu_ns(pid)
        if first is not None and last is not None:
            samples = (last - first, time.monotonic() - begin)
    worker.join()
    if "error" in result:
        raise result["error"]
    return result["run"], samples


def median_ms(values):
    return statistics.median(values) / 1000.0


def handoff(bench, minimal, runs):
    """Start to end of the stand-in runtime started three ways, the three
    interleaved so that drift in the machine's load hits all alike."""
    runtime = bench.dir / "Java" / "bin" / "Javaw.exe"
    jar = e2e.windows_path(bench.dir) + "\\molk2014.jar"
    # The stand-in gets the same arguments each way; the starter (spawn.exe)
    # starts each program the same way too, by path with no arguments of its
    # own for the two that make the start.
    ways = [
        ("a", "runtime directly", dict(program=runtime, args=("-jar", "-Xmx768m", jar))),
        ("b", "minimal C program -> runtime", dict(program=minimal, args=())),
        ("c", "launcher -> runtime", dict(program=None, args=())),
    ]
    # Relay tracing (the suite's WINEDEBUG) is for reading MessageBoxA's
    # arguments; it costs every start something, so it is off here.
    quiet = {"WINEDEBUG": "-all"}
    times = {key: [] for key, _, _ in ways}
    odd = collections.Counter()
    load_before = os.getloadavg()[0]
    for round_number in range(runs + 1):
        for key, _, how in ways:
            run = bench.launch(bench.dir, *how["args"], program=how["program"], env=quiet)
            if len(run.runs) != 1 or run.exit_code != 0:
                odd[key] += 1
            if round_number:  # the first round warms Wine's file cache up
                times[key].append(run.elapsed_us)
    medians = {key: median_ms(values) for key, values in times.items()}
    print(f"handoff: {runs} interleaved runs of each (a, b, c, a, b, c, ...) after one warm-up "
          "round; median wall time from start to end, as spawn.exe measures it:")
    for key, label, _ in ways:
        values = times[key]
        print(f"  ({key}) {label + ':':30} {medians[key]:8.1f} ms   "
              f"(min {min(values) / 1000:.1f}, max {max(values) / 1000:.1f})")
    a, b, c = medians["a"], medians["b"], medians["c"]
    fa, fb, fc = (min(times[key]) / 1000 for key in "abc")
    print("  ratios of the medians (and of the fastest runs, which other load on")
    print("  the machine disturbs least):")
    print(f"  c/a (launcher / runtime alone):      {c / a:6.2f}   ({fc / fa:.2f})")
    print(f"  c/b (launcher / minimal C program):  {c / b:6.2f}   ({fc / fb:.2f})")
    print(f"  b/a (minimal C program / runtime):   {b / a:6.2f}   ({fb / fa:.2f})")
    print(f"  c-b (launcher's cost over the floor): {c - b:+.1f} ms   ({fc - fb:+.1f} ms)")
    print(f"  host load average (1 min) before and after: {load_before:.2f}, "
          f"{os.getloadavg()[0]:.2f} on {os.cpu_count()} CPUs")
    for key, label, _ in ways:
        if odd[key]:
            print(f"  NOTE: {odd[key]} of the ({key}) runs did not start the runtime once "
                  "and end with 0: their times are not a handoff")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "win32"),
                        help="build tree with the Wine prefix and the suite's helper programs")
    parser.add_argument("--exe", default=str(ROOT / "dist" / "molk2014.exe"),
                        help="the launcher to measure (e.g. build/win32-clang/dist/molk2014.exe)")
    parser.add_argument("--map", help="its linker map (default: molk2014.map of the build "
                        "tree above the exe's dist folder, else of --build)")
    parser.add_argument("--minimal", help="the reference program "
                        "(default: tests/bench/minimal_start.exe in --build)")
    parser.add_argument("--runs", type=int, default=25)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    exe = Path(args.exe).resolve()
    minimal = (Path(args.minimal).resolve() if args.minimal
               else build / "tests" / "bench" / "minimal_start.exe")
    if args.map:
        map_file = Path(args.map).resolve()
    else:
        beside = exe.parent.parent / "molk2014.map"
        map_file = beside if beside.exists() else build / "molk2014.map"

    if not minimal.exists():
        sys.exit(f"no reference program at {minimal}: build the win32 preset, or give --minimal")

    pe = pefile.PE(str(exe))
    size_split(exe, pe)
    print()
    load_time_imports(pe)
    print()
    if map_file.exists():
        size_map(map_file, pe, map_file.parent)
    else:
        print(f"size map: no linker map at {map_file} (--map)")
    print()

    e2e.ARGS = argparse.Namespace(exe=str(exe), fixtures=str(build / "tests"),
                                  prefix=str(build / "wineprefix"), work=str(build / "bench"))
    e2e.setUpModule()
    try:
        bench = Bench()
        bench._testMethodName = "bench"
        bench.setUp()
        bench.install_runtime(bench.dir / "Java")
        # Beside the launcher's copy, started from another folder as it is.
        minimal_copy = e2e.LAUNCHER.parent / "minimal_start.exe"
        shutil.copy(minimal, minimal_copy)
        reference = pefile.PE(str(minimal))
        print(f"reference program: {minimal} ({minimal.stat().st_size} bytes; imports "
              + "; ".join(f"{e.dll.decode()}: {', '.join(function_names(e.imports))}"
                          for e in getattr(reference, "DIRECTORY_ENTRY_IMPORT", []))
              + ")")
        handoff(bench, minimal_copy, args.runs)
        print()

        run, samples = cpu_while_waiting(bench)
        user, kernel = run.cpu_us
        print(f"launcher CPU time, runtime alive 5 s (wall {run.elapsed_ms} ms):")
        print(f"  GetProcessTimes, whole run: user {user / 1000:.1f} ms + kernel {kernel / 1000:.1f} ms"
              + ("  (Wine reports no times for another process)" if user + kernel == 0 else ""))
        if samples:
            used, seconds = samples
            print(f"  host scheduler, the Unix process hosting it, {seconds:.1f} s of the wait: "
                  f"{used / 1e6:.3f} ms")
        else:
            print("  host scheduler: the launcher's Unix process was not found, or not alive throughout")
        print()
        child = run.runs[0] if run.runs else {}
        print("handles the launcher holds while it waits, by type:")
        print("  " + child.get("parent_handles", "unavailable").replace(",", ", "))
        names = child.get("parent_handle", [])
        print("  registry keys and files among them:")
        for name in names:
            print(f"    {name}")
        # The same test the end-to-end suite asserts on.
        work = e2e.windows_path(bench.dir)
        held = e2e.lookup_handles(names, [work + "\\Java", work + "\\molk2014.jar"])
        print(f"  of the launcher's own lookups (JavaSoft key, Java folder, archive): {len(held)}")
        minimal_copy.unlink(missing_ok=True)
        shutil.rmtree(bench.dir, ignore_errors=True)
    finally:
        e2e.tearDownModule()


if __name__ == "__main__":
    main()
