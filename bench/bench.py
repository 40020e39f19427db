#!/usr/bin/python3
"""Figures for dist/molk2014.exe: size, imports, handoff overhead, CPU while
waiting, handles held while waiting. Prints; asserts nothing.

Usage: bench/bench.py [--exe dist/molk2014.exe] [--build build/win32] [--runs 15]

Runs the exe under Wine in the win32 build tree's prefix (the same one the
end-to-end suite uses) with the suite's stand-in runtime and starter.
"""
import argparse
import collections
import re
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


MAP_LINE = re.compile(r"^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


def size_map(map_file, top=12):
    """Bytes linked in per archive (or own object), from the linker map."""
    by_origin = collections.Counter()
    by_member = collections.Counter()
    in_memory_map = False
    for line in map_file.read_text(errors="replace").splitlines():
        if line.startswith("Linker script and memory map"):
            in_memory_map = True
        if not in_memory_map:
            continue
        match = MAP_LINE.match(line)
        if not match or int(match.group(2), 16) == 0:
            continue
        size, origin = int(match.group(3), 16), match.group(4).strip()
        if size == 0 or origin.startswith("*"):
            continue
        archive = re.match(r"(?:.*/)?([^/(]+)\((.+)\)$", origin)
        if archive:
            by_origin[archive.group(1)] += size
            by_member[f"{archive.group(1)}({archive.group(2)})"] += size
        else:
            name = Path(origin).name
            own = "CMakeFiles" in origin
            by_origin["own code: " + name if own else name] += size
            by_member["own code: " + name if own else name] += size
    total = sum(by_origin.values())
    print(f"size map (linked section bytes, before file alignment; {total} in all):")
    for origin, size in by_origin.most_common(top):
        print(f"  {size:7}  {100 * size / total:5.1f}%  {origin}")
    print("  largest single members:")
    for member, size in by_member.most_common(top):
        print(f"  {size:7}  {member}")


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "win32"),
                        help="build tree with the Wine prefix and the suite's helper programs")
    parser.add_argument("--exe", default=str(ROOT / "dist" / "molk2014.exe"),
                        help="the launcher to measure (e.g. build/win32-clang/dist/molk2014.exe)")
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    exe = Path(args.exe).resolve()

    pe = pefile.PE(str(exe))
    size_split(exe, pe)
    print()
    load_time_imports(pe)
    print()
    if (build / "molk2014.map").exists():
        size_map(build / "molk2014.map")
        print()

    e2e.ARGS = argparse.Namespace(exe=str(exe), fixtures=str(build / "tests"),
                                  prefix=str(build / "wineprefix"), work=str(build / "bench"))
    e2e.setUpModule()
    try:
        bench = Bench()
        bench._testMethodName = "bench"
        bench.setUp()
        bench.install_runtime(bench.dir / "Java")
        runtime = bench.dir / "Java" / "bin" / "Javaw.exe"
        # Warm up both paths once (first starts load Wine's DLLs from disk).
        bench.launch(bench.dir)
        bench.launch(bench.dir, raw=f'"{e2e.windows_path(runtime)}"')
        through, direct = [], []
        for _ in range(args.runs):
            through.append(bench.launch(bench.dir).elapsed_us)
            direct.append(bench.launch(bench.dir, raw=f'"{e2e.windows_path(runtime)}"').elapsed_us)
        t, d = median_ms(through), median_ms(direct)
        print(f"handoff over {args.runs} alternating runs (median wall time, start to end):")
        print(f"  launcher -> runtime: {t:8.1f} ms   (min {min(through) / 1000:.1f}, max {max(through) / 1000:.1f})")
        print(f"  runtime directly:    {d:8.1f} ms   (min {min(direct) / 1000:.1f}, max {max(direct) / 1000:.1f})")
        print(f"  ratio:               {t / d:8.2f}")
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
        names = [line.split("=", 1)[1] for line in
                 (bench.out / "runtime.txt").read_text(errors="replace").splitlines()
                 if line.startswith("parent_handle=")]
        print("  registry keys and files among them:")
        for name in names:
            print(f"    {name}")
        held = [n for n in names if "JavaSoft" in n or "molk2014" in n.lower() or "\\Java" in n]
        print(f"  of the launcher's own lookups (JavaSoft key, Java folder, archive): {len(held)}")
        shutil.rmtree(bench.dir, ignore_errors=True)
    finally:
        e2e.tearDownModule()


if __name__ == "__main__":
    main()
