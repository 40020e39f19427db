#!/usr/bin/python3
"""End-to-end tests of the shipped launcher under Wine.

Runs the real 32-bit dist/molk2014.exe in a 64-bit Wine prefix, where it is a
WOW64 process with real registry views, real process creation and the C
runtime's real command-line parsing. A stand-in runtime (Javaw.exe) reports
what it received and which handles the launcher holds while it waits; the
failure box is read from Wine's relay trace of user32.MessageBoxA, and once
shown for real under Xvfb.

Usage: run_e2e.py --exe EXE --fixtures DIR --prefix DIR --work DIR [unittest args]

Every environment step that fails stops the run with a message that names the
step; nothing is skipped.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE_ENV = ROOT / "scripts" / "wine-env.sh"
RUNTIME_KEY = r"Software\JavaSoft\Java Runtime Environment"
KEY_17 = RUNTIME_KEY + r"\1.7"
KEY_18 = RUNTIME_KEY + r"\1.8"
REG_SZ, REG_EXPAND_SZ, REG_DWORD = 1, 2, 4
MB_ICONERROR = 0x10
ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DIRECTORY = 2, 3, 267
# A runtime path that names no file: Windows says path not found where a
# folder of it is missing, Wine file not found; either is the platform's
# not-found code.
MISSING_RUNTIME_FILE = (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND)
# No runtime home at all: the launcher starts nothing and reports this one.
NO_RUNTIME_HOME = (ERROR_FILE_NOT_FOUND,)
FILE_TYPE_PIPE = 3
HANDLE_FLAG_INHERIT = 0x1
ARGS = None
WINE = {}  # the Wine environment variables, from wine-env.sh print-env


class EnvironmentStepFailed(Exception):
    pass


def step(name, command, **kwargs):
    """Runs one environment step; a failure names the step."""
    result = subprocess.run(command, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, **kwargs)
    if result.returncode != 0:
        raise EnvironmentStepFailed(f"end-to-end setup step '{name}' failed "
                                    f"(exit {result.returncode}):\n{result.stdout}")
    return result.stdout


def wine_environment(extra=None):
    env = dict(os.environ)
    env.pop("DISPLAY", None)  # without a display MessageBoxA returns at once
    env.update(WINE)
    # Wine reads Unix names and arguments in the locale's character set and
    # takes its ANSI code page from the locale: C.UTF-8, which every glibc
    # has, gives UTF-8 names and code page 1252.
    env["LANG"] = "C.UTF-8"
    env.pop("LC_ALL", None)
    env.update(extra or {})
    return env


def drive_c():
    return Path(WINE["WINEPREFIX"]) / "drive_c"


def windows_path(path):
    """The Windows name of a Unix path: C: for the prefix's drive_c, else Z:."""
    path = Path(path).resolve()
    try:
        relative = path.relative_to(drive_c().resolve())
        return "C:\\" + str(relative).replace("/", "\\") if str(relative) != "." else "C:\\"
    except ValueError:
        return "Z:" + str(path).replace("/", "\\")


def wine(args, log, extra_env=None, timeout=120):
    with open(log, "wb") as out:
        return subprocess.run([WINE["WINE"], *args], stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.STDOUT,
                              env=wine_environment(extra_env), timeout=timeout).returncode


def utf16_hex(text, terminate=True):
    return (text + ("\0" if terminate else "")).encode("utf-16-le").hex()


def set_value(view, key, name, value_type, data_hex):
    return f"set:{view}:{key}:{name}:{value_type}:{data_hex}"


def registry(*ops):
    """Leaves exactly |ops| of the runtime registrations, in both views."""
    log = Path(ARGS.work) / "reg_fixture.log"
    ops = [f"clear:64:{RUNTIME_KEY}", f"clear:32:{RUNTIME_KEY}", *ops]
    code = wine([str(Path(ARGS.fixtures) / "reg_fixture.exe"), *ops], log)
    if code != 0:
        raise AssertionError(f"registry fixture failed: {Path(log).read_text(errors='replace')}")


def parse_runs(report):
    """The stand-in's report: one dict per started process; its
    "parent_handle" is the list of those lines."""
    runs = []
    if not report.exists():
        return runs
    for line in report.read_bytes().decode("utf-8", errors="surrogateescape").splitlines():
        if line.startswith("start "):
            runs.append({"argv": [], "parent_handle": []})
        if not runs or "=" not in line:
            continue
        key, value = line.split("=", 1)
        if key.startswith("argv["):
            runs[-1]["argv"].append(value)
        elif key == "parent_handle":
            runs[-1]["parent_handle"].append(value)
        elif key == "end exit_code":
            runs[-1]["exit_code"] = int(value)
        else:
            runs[-1][key] = value
    return runs


BOX = re.compile(r'Call user32\.MessageBoxA\(([0-9a-f]+),[0-9a-f]+ "(.*)",'
                 r'[0-9a-f]+ "(.*)",([0-9a-f]+)\)')

LOADED = re.compile(r'^[0-9a-f]+:[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]+)"', re.M)


def spawn_fields(spawn_report):
    """The numbers spawn.exe wrote: exit_code, elapsed_ms, cpu_user_us, ..."""
    return {key: int(value) for key, value in
            re.findall(r"(\w+)=(\d+)", spawn_report.read_text())}


def handle_files(handles):
    """The paths of the File handles among the stand-in's "parent_handle"
    lines, lower case, without the "\\??\\" of their object names."""
    return [line[len("File "):].lower().removeprefix("\\??\\")
            for line in handles if line.startswith("File ")]


def lookup_handles(handles, paths):
    """Those of the stand-in's "parent_handle" lines that are a JavaSoft
    registry key or a file on or under one of |paths| (Windows paths)."""
    paths = [p.lower() for p in paths]
    return [line for line in handles
            if (line.startswith("Key ") and "\\javasoft" in line.lower())
            or any(f == p or f.startswith(p + "\\") for f in handle_files([line]) for p in paths)]


class Run:
    def __init__(self, spawn_report, stand_in_report, trace):
        fields = spawn_fields(spawn_report)
        self.spawn = fields
        self.exit_code = fields["exit_code"]
        self.pid = fields.get("child_pid", 0)
        self.elapsed_ms = fields["elapsed_ms"]
        self.elapsed_us = fields["elapsed_us"]
        self.cpu_us = (fields["cpu_user_us"], fields["cpu_kernel_us"])
        self.runs = parse_runs(stand_in_report)
        # Everything any stand-in wrote: empty when none was started.
        self.report = stand_in_report.read_bytes() if stand_in_report.exists() else b""
        text = trace.read_bytes().decode("utf-8", errors="replace")
        self.boxes = [(m.group(2), m.group(3), int(m.group(4), 16), int(m.group(1), 16))
                      for m in BOX.finditer(text)]
        # With WINEDEBUG=+pid,+loaddll: the DLLs the launcher's own process
        # loaded, by lower-case Windows path.
        prefix = f"{self.pid:04x}:"
        self.loaded = {m.group(1).replace("\\\\", "\\").lower()
                       for m in LOADED.finditer(text)
                       if self.pid and m.group(0).startswith(prefix)}


class LauncherCase(unittest.TestCase):
    """Each test gets a fresh folder under C:\\e2e and empty registrations."""

    def setUp(self):
        self.dir = drive_c() / "e2e" / self._testMethodName
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.out = Path(ARGS.work) / self._testMethodName
        shutil.rmtree(self.out, ignore_errors=True)
        self.out.mkdir(parents=True)
        registry()

    def install_runtime(self, home):
        home = Path(home)
        (home / "bin").mkdir(parents=True, exist_ok=True)
        shutil.copy(Path(ARGS.fixtures) / "stand_in_runtime.exe", home / "bin" / "Javaw.exe")
        return home

    def launch(self, cwd, *args, env=None, raw=None, program=None):
        """Runs the launcher (or |program|, or with |raw| a raw command line)
        in |cwd|."""
        spawn_report = self.out / "spawn.txt"
        stand_in_report = self.out / "runtime.txt"
        for f in (spawn_report, stand_in_report):
            f.unlink(missing_ok=True)
        extra = {"STANDIN_REPORT": windows_path(stand_in_report), "STANDIN_MARK": "inherited",
                 "WINEDEBUG": "+relay"}
        extra.update(env or {})
        spawn = str(Path(ARGS.fixtures) / "spawn.exe")
        if raw is not None:
            command = [spawn, "--raw", windows_path(spawn_report), windows_path(cwd), raw]
        else:
            command = [spawn, windows_path(spawn_report), windows_path(cwd),
                       windows_path(program or LAUNCHER), *args]
        code = wine(command, self.out / "wine.log", extra)
        self.assertEqual(code, 0, f"spawn failed: {(self.out / 'wine.log').read_text(errors='replace')[-2000:]}")
        return Run(spawn_report, stand_in_report, self.out / "wine.log")

    def assertFailureBox(self, run, expected_codes):
        """One failure box showing one of |expected_codes|, and the launcher
        ended with the code it showed."""
        self.assertEqual(len(run.boxes), 1, run.boxes)
        text, caption, style, owner = run.boxes[0]
        shown = re.fullmatch(r"Erro (-?\d+) ao executar o aplicativo\.", text)
        self.assertIsNotNone(shown, text)
        code = int(shown.group(1))
        self.assertIn(code, expected_codes, text)
        self.assertNotEqual(code, 0)
        self.assertEqual(caption, "Erro")
        self.assertEqual(style, MB_ICONERROR)  # MB_OK is 0
        self.assertEqual(owner, 0)
        # The box shows the code as a signed number, the exit code is a DWORD.
        self.assertEqual(run.exit_code, code & 0xFFFFFFFF)

    def plant_at_drive_root(self):
        """A program at C:\\bin\\Javaw.exe, where the rooted "\\bin\\Javaw.exe"
        leads from any folder on drive C:; removed after the test."""
        folder = drive_c() / "bin"
        if not folder.exists():
            folder.mkdir()
            self.addCleanup(folder.rmdir)
        planted = folder / "Javaw.exe"
        shutil.copy(Path(ARGS.fixtures) / "stand_in_runtime.exe", planted)
        self.addCleanup(planted.unlink, missing_ok=True)
        return planted

    def assertNothingStarted(self, run):
        self.assertEqual(run.runs, [])
        self.assertEqual(run.report, b"", "a stand-in was started")

    def assertHoldsNoLookupHandle(self, run, cwd, paths):
        """The launcher, seen by its child, holds no handle of the JavaSoft
        key or of |paths|; the census worked and named the launcher's files."""
        child = run.runs[0]
        self.assertFalse(child["parent_handles"].startswith("unavailable"), child["parent_handles"])
        # Every process holds its current folder open: the census sees the
        # launcher's files by name.
        self.assertIn(windows_path(cwd).lower(), handle_files(child["parent_handle"]),
                      child["parent_handle"])
        self.assertEqual(lookup_handles(child["parent_handle"], paths), [])

    def assertStartedOnce(self, run, exe):
        self.assertEqual(len(run.runs), 1, run.runs)
        self.assertEqual(run.runs[0]["exe"], exe)
        self.assertEqual(run.boxes, [])
        return run.runs[0]


class LocalRuntime(LauncherCase):
    def test_folder_with_blanks_hidden_and_waited_for(self):
        work = self.dir / "my app"
        self.install_runtime(work / "Java")
        # A registered runtime too: the local one must win.
        self.install_runtime(self.dir / "jre7")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre7"))))
        run = self.launch(work, env={"STANDIN_SLEEP_MS": "1500", "STANDIN_EXIT_CODE": "300"})
        w = windows_path(work)
        child = self.assertStartedOnce(run, w + r"\Java\bin\Javaw.exe")
        self.assertEqual(child["command_line"],
                         f'"{w}\\Java\\bin\\Javaw.exe" -jar -Xmx768m "{w}\\molk2014.jar"')
        self.assertEqual(child["argv"], [w + r"\Java\bin\Javaw.exe", "-jar", "-Xmx768m",
                                         w + r"\molk2014.jar"])
        self.assertEqual(child["cwd"], w)
        self.assertEqual(child["startup_flags"], "0x1 show_window=0")  # STARTF_USESHOWWINDOW, SW_HIDE
        self.assertEqual(child["mark"], "inherited")
        # The launcher waited: it was alive when the child ended, and it ended
        # with the child's code after the child's sleep.
        self.assertEqual(child["parent_alive"], "1")
        self.assertEqual(run.exit_code, 300)
        self.assertGreaterEqual(run.elapsed_ms, 1500)

    def test_wine_uses_code_page_1252(self):
        # The look-alike cases below depend on it.
        self.install_runtime(self.dir / "Java")
        run = self.launch(self.dir)
        self.assertEqual(self.assertStartedOnce(run, windows_path(self.dir) + r"\Java\bin\Javaw.exe")["acp"],
                         "1252")

    def test_drive_root_doubles_the_backslash(self):
        java = drive_c() / "Java"
        shutil.rmtree(java, ignore_errors=True)
        self.addCleanup(shutil.rmtree, java, ignore_errors=True)
        self.install_runtime(java)
        run = self.launch(drive_c())
        child = self.assertStartedOnce(run, r"C:\Java\bin\Javaw.exe")
        self.assertEqual(child["command_line"],
                         r'"C:\\Java\bin\Javaw.exe" -jar -Xmx768m "C:\\molk2014.jar"')
        self.assertEqual(child["argv"][3], r"C:\\molk2014.jar")
        self.assertEqual(child["cwd"], "C:\\")

    def test_launcher_arguments_never_reach_the_child(self):
        self.install_runtime(self.dir / "Java")
        run = self.launch(self.dir, "--extra", "two words", "-Xmx99m")
        child = self.assertStartedOnce(run, windows_path(self.dir) + r"\Java\bin\Javaw.exe")
        self.assertEqual(len(child["argv"]), 4)
        for word in ("--extra", "two words", "-Xmx99m"):
            self.assertNotIn(word, child["command_line"])

    def test_java_folder_without_runtime_does_not_fall_back(self):
        (self.dir / "Java").mkdir()
        self.install_runtime(self.dir / "jre7")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre7"))))
        run = self.launch(self.dir)
        self.assertNothingStarted(run)
        self.assertFailureBox(run, MISSING_RUNTIME_FILE)

    def test_file_named_java_uses_the_registered_runtime(self):
        (self.dir / "Java").write_text("not a folder")
        self.install_runtime(self.dir / "jre7")
        registry(set_value(64, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre7"))))
        run = self.launch(self.dir)
        self.assertStartedOnce(run, windows_path(self.dir / "jre7") + r"\bin\Javaw.exe")

    def test_census_finds_lookup_handles_a_parent_holds(self):
        # The control for the handle checks: spawn.exe holds what the
        # launcher must not, and starts the stand-in itself.
        java = self.install_runtime(self.dir / "Java")
        archive = self.dir / "molk2014.jar"
        archive.write_bytes(b"PK")
        # The 1.7 key in both views, for spawn.exe to open.
        registry(f"key:64:{KEY_17}", f"key:32:{KEY_17}")
        held = [windows_path(java), windows_path(archive)]
        run = self.launch(self.dir, raw=f'"{windows_path(java)}\\bin\\Javaw.exe"',
                          env={"STANDIN_HANDLES": "1",
                               "SPAWN_HOLD": "|".join([*(f"path:{p}" for p in held),
                                                       f"key64:{KEY_17}", f"key32:{KEY_17}"])})
        self.assertEqual(len(run.runs), 1, run.runs)
        found = lookup_handles(run.runs[0]["parent_handle"], held)
        self.assertEqual(sorted(handle_files(found)), sorted(p.lower() for p in held), found)
        keys = [line for line in found if line.startswith("Key ")]
        self.assertEqual(len(keys), 2, found)  # one per view
        self.assertEqual(len([k for k in keys if "\\wow6432node\\" in k.lower()]), 1, keys)

    def test_holds_no_handle_of_its_lookups_while_waiting(self):
        java = self.install_runtime(self.dir / "Java")
        archive = self.dir / "molk2014.jar"
        archive.write_bytes(b"PK")
        run = self.launch(self.dir, env={"STANDIN_HANDLES": "1"})
        self.assertStartedOnce(run, windows_path(java) + r"\bin\Javaw.exe")
        self.assertHoldsNoLookupHandle(run, self.dir, [windows_path(java), windows_path(archive)])

    def test_inheritable_handle_of_its_parent_reaches_the_runtime(self):
        self.install_runtime(self.dir / "Java")
        run = self.launch(self.dir, env={"SPAWN_PIPE": "inherit"})
        child = self.assertStartedOnce(run, windows_path(self.dir) + r"\Java\bin\Javaw.exe")
        self.assertEqual(child["inherited_pipe"],
                         f"valid flags=0x{HANDLE_FLAG_INHERIT:x} type={FILE_TYPE_PIPE}")
        # The token spawn.exe wrote into its pipe: the same pipe, not just
        # some handle with the same value.
        self.assertEqual(child.get("inherited_pipe_read"), str(run.spawn["pipe_token"]))

    def test_handle_not_marked_inheritable_does_not_reach_a_child(self):
        # The control: without the inherit flag the token cannot be read,
        # even by a child that spawn.exe starts itself with inheritance on.
        java = self.install_runtime(self.dir / "Java")
        run = self.launch(self.dir, raw=f'"{windows_path(java)}\\bin\\Javaw.exe"',
                          env={"SPAWN_PIPE": "private"})
        self.assertEqual(len(run.runs), 1, run.runs)
        self.assertIn("inherited_pipe", run.runs[0])
        self.assertNotEqual(run.runs[0].get("inherited_pipe_read"), str(run.spawn["pipe_token"]))


class RegisteredRuntime(LauncherCase):
    def test_only_in_the_32_bit_view(self):
        self.install_runtime(self.dir / "jre32")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre32"))))
        run = self.launch(self.dir)
        child = self.assertStartedOnce(run, windows_path(self.dir / "jre32") + r"\bin\Javaw.exe")
        self.assertEqual(child["argv"][1:3], ["-jar", "-Xmx768m"])

    def test_registered_with_reg_exe_in_the_32_bit_view(self):
        # The way an installer's own tools would write it.
        self.install_runtime(self.dir / "jre32")
        code = wine(["reg", "add", "HKLM\\" + KEY_17, "/v", "JavaHome", "/t", "REG_SZ",
                     "/d", windows_path(self.dir / "jre32"), "/reg:32", "/f"], self.out / "reg.log")
        self.assertEqual(code, 0, (self.out / "reg.log").read_text(errors="replace"))
        run = self.launch(self.dir)
        self.assertStartedOnce(run, windows_path(self.dir / "jre32") + r"\bin\Javaw.exe")

    def test_both_views_the_64_bit_home_wins(self):
        self.install_runtime(self.dir / "jre32")
        self.install_runtime(self.dir / "jre64")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre32"))),
                 set_value(64, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre64"))))
        run = self.launch(self.dir)
        self.assertStartedOnce(run, windows_path(self.dir / "jre64") + r"\bin\Javaw.exe")

    def test_64_bit_key_without_value_hides_the_32_bit_one(self):
        self.install_runtime(self.dir / "jre32")
        registry(f"key:64:{KEY_17}",
                 set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre32"))))
        self.plant_at_drive_root()
        run = self.launch(self.dir)
        self.assertNothingStarted(run)
        self.assertFailureBox(run, NO_RUNTIME_HOME)

    def test_only_1_8_registered(self):
        self.install_runtime(self.dir / "jre8")
        registry(set_value(64, KEY_18, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre8"))),
                 set_value(32, KEY_18, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre8"))))
        # No home: not even the program at the drive root starts.
        self.plant_at_drive_root()
        run = self.launch(self.dir)
        self.assertNothingStarted(run)
        self.assertFailureBox(run, NO_RUNTIME_HOME)

    def test_rooted_runtime_path_leads_to_the_drive_root(self):
        # The control: the runtime path an empty home gives, "\bin\Javaw.exe",
        # started from this folder on drive C:, is the planted program.
        planted = self.plant_at_drive_root()
        self.assertEqual(windows_path(planted), r"C:\bin\Javaw.exe")
        run = self.launch(self.dir, raw=r"\bin\Javaw.exe -jar -Xmx768m x.jar")
        self.assertEqual([r["exe"] for r in run.runs], [windows_path(planted)])

    def test_no_registered_home_starts_nothing(self):
        self.plant_at_drive_root()
        # Where a home read from the wrong value would lead.
        elsewhere = self.install_runtime(self.dir / "jre7")
        cases = {
            "no 1.7 key in either view": [],
            "empty JavaHome, 64-bit view": [set_value(64, KEY_17, "JavaHome", REG_SZ, utf16_hex(""))],
            "empty JavaHome, 32-bit view": [set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(""))],
            "JavaHome of no bytes, 32-bit view": [set_value(32, KEY_17, "JavaHome", REG_SZ, "")],
            "empty REG_EXPAND_SZ JavaHome, 64-bit view":
                [set_value(64, KEY_17, "JavaHome", REG_EXPAND_SZ, utf16_hex(""))],
            "1.7 key without JavaHome, 64-bit view": [f"key:64:{KEY_17}"],
            "1.7 key without JavaHome, 32-bit view": [f"key:32:{KEY_17}"],
            "JavaHome only under another name": [set_value(32, KEY_17, "JavaHome7", REG_SZ,
                                                           utf16_hex(windows_path(elsewhere)))],
        }
        for name, ops in cases.items():
            with self.subTest(name):
                registry(*ops)
                run = self.launch(self.dir)
                self.assertNothingStarted(run)
                self.assertFailureBox(run, NO_RUNTIME_HOME)

    def test_expand_sz_home_is_not_expanded(self):
        # A runtime where the expanded path points: it must not be started.
        expanded = drive_c() / "Program Files" / "Java" / "jre7"
        self.install_runtime(expanded)
        self.addCleanup(shutil.rmtree, expanded, ignore_errors=True)
        registry(set_value(32, KEY_17, "JavaHome", REG_EXPAND_SZ, utf16_hex(r"%ProgramFiles%\Java\jre7")))
        run = self.launch(self.dir)
        self.assertNothingStarted(run)
        self.assertFailureBox(run, MISSING_RUNTIME_FILE)

    def test_home_with_trailing_backslash_still_starts(self):
        home = self.install_runtime(self.dir / "jre7")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(home) + "\\")))
        run = self.launch(self.dir)
        child = self.assertStartedOnce(run, windows_path(home) + r"\bin\Javaw.exe")
        self.assertTrue(child["command_line"].startswith(f'"{windows_path(home)}\\\\bin\\Javaw.exe" '),
                        child["command_line"])

    def test_odd_values_written_by_the_fixture(self):
        home = self.install_runtime(self.dir / "jre7")
        text = windows_path(home)
        cases = {
            "no terminating NUL": utf16_hex(text, terminate=False),
            "text after a NUL": utf16_hex(text + "\0garbage"),
            "odd byte count": utf16_hex(text, terminate=False) + "41",
        }
        for name, data in cases.items():
            with self.subTest(name):
                registry(set_value(32, KEY_17, "JavaHome", REG_SZ, data))
                run = self.launch(self.dir)
                self.assertStartedOnce(run, text + r"\bin\Javaw.exe")

    def test_dword_home_is_an_invalid_data_type(self):
        self.install_runtime(self.dir / "jre7")
        registry(set_value(64, KEY_17, "JavaHome", REG_DWORD, "01000000"))
        run = self.launch(self.dir)
        self.assertEqual(run.runs, [])
        self.assertEqual(run.boxes, [("Invalid data type for 'JavaHome'", "Erro", MB_ICONERROR, 0)])
        self.assertEqual(run.exit_code, 1)

    def test_holds_no_handle_of_its_lookups_while_waiting(self):
        home = self.install_runtime(self.dir / "jre7")
        archive = self.dir / "molk2014.jar"
        archive.write_bytes(b"PK")
        # The 32-bit view alone: the launcher looks in the 64-bit view first.
        for view in (32, 64):
            with self.subTest(view=view):
                registry(set_value(view, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(home))))
                run = self.launch(self.dir, env={"STANDIN_HANDLES": "1"})
                self.assertStartedOnce(run, windows_path(home) + r"\bin\Javaw.exe")
                self.assertHoldsNoLookupHandle(
                    run, self.dir, [windows_path(self.dir / "Java"), windows_path(home),
                                    windows_path(archive)])


class UnquotedPathHole(LauncherCase):
    def setUp(self):
        super().setUp()
        self.home = drive_c() / "Program Files" / "e2e hole" / "jre7"
        self.install_runtime(self.home)
        self.planted = drive_c() / "Program.exe"
        shutil.copy(Path(ARGS.fixtures) / "stand_in_runtime.exe", self.planted)
        self.addCleanup(self.planted.unlink, missing_ok=True)
        self.addCleanup(shutil.rmtree, self.home.parent, ignore_errors=True)
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.home))))

    def test_wine_has_the_hole_for_an_unquoted_path(self):
        # The control: the same program path unquoted starts C:\Program.exe.
        run = self.launch(self.dir, raw=windows_path(self.home) + r"\bin\Javaw.exe -jar x.jar")
        self.assertEqual([r["exe"] for r in run.runs], [r"C:\Program.exe"])

    def test_quoted_path_starts_the_real_runtime(self):
        run = self.launch(self.dir)
        self.assertStartedOnce(run, windows_path(self.home) + r"\bin\Javaw.exe")


class LookAlikeCharacters(LauncherCase):
    """Folders whose names the ANSI code page cannot hold."""

    # Folder names, and what a conversion to code page 1252 with best fit
    # makes of them: a path separator or a quotation mark, except for the
    # last, which resembles nothing the code page holds.
    DIVISION_SLASH = "t_a\u2215b"
    FULL_WIDTH_REVERSE_SOLIDUS = "t_a\uff3cb"
    FULL_WIDTH_QUOTATION_MARK = "t_a\uff02b"
    OUTSIDE_THE_CODE_PAGE = "t_a\u4e2db"
    BEST_FIT = {
        DIVISION_SLASH: b"t_a/b",
        FULL_WIDTH_REVERSE_SOLIDUS: b"t_a\\b",
        FULL_WIDTH_QUOTATION_MARK: b't_a"b',
        OUTSIDE_THE_CODE_PAGE: b"t_a?b",
    }

    def setUp(self):
        super().setUp()
        # t_a\b holds a runtime: a best-fit '/' or '\' would lead there.
        self.install_runtime(self.dir / "t_a" / "b" / "Java")

    def check_nothing_started(self, folder, expected_codes):
        work = self.dir / folder
        work.mkdir()
        run = self.launch(work)
        self.assertNothingStarted(run)
        self.assertFailureBox(run, expected_codes)

    def test_wine_best_fits_the_look_alikes(self):
        # The control: without WC_NO_BEST_FIT_CHARS this Wine turns the names
        # into the ASCII they resemble, so the cases below test the flag and
        # not a conversion that would have been harmless anyway.
        report = self.out / "ansi.txt"
        log = self.out / "ansi.log"
        names = list(self.BEST_FIT)
        code = wine([str(Path(ARGS.fixtures) / "ansi_convert.exe"), windows_path(report),
                     *(utf16_hex(n, terminate=False) for n in names)], log)
        self.assertEqual(code, 0, log.read_text(errors="replace"))
        lines = report.read_text().splitlines()
        self.assertEqual(len(lines), len(names), lines)
        for name, line in zip(names, lines):
            with self.subTest(ascii(name)):
                fields = dict(f.split("=", 1) for f in line.split())
                self.assertEqual(fields["text"], utf16_hex(name, terminate=False))
                self.assertEqual(fields["acp"], "1252")
                self.assertEqual(bytes.fromhex(fields["best_fit"]), self.BEST_FIT[name])
                self.assertEqual(fields["best_fit_default"],
                                 "1" if name == self.OUTSIDE_THE_CODE_PAGE else "0")
                # What the launcher asks for: the default character instead.
                self.assertEqual(bytes.fromhex(fields["no_best_fit"]), b"t_a?b")
                self.assertEqual(fields["no_best_fit_default"], "1")

    # The folder "t_a?b\Java" does not exist and no runtime is registered.
    def test_division_slash(self):
        self.check_nothing_started(self.DIVISION_SLASH, NO_RUNTIME_HOME)

    def test_full_width_reverse_solidus(self):
        self.check_nothing_started(self.FULL_WIDTH_REVERSE_SOLIDUS, NO_RUNTIME_HOME)

    def test_full_width_quotation_mark(self):
        self.check_nothing_started(self.FULL_WIDTH_QUOTATION_MARK, NO_RUNTIME_HOME)

    def test_character_outside_the_code_page(self):
        self.check_nothing_started(self.OUTSIDE_THE_CODE_PAGE, NO_RUNTIME_HOME)

    def test_registered_runtime_does_not_start_either(self):
        self.install_runtime(self.dir / "jre7")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre7"))))
        # The runtime exists; its current folder, "t_a?b", does not.
        self.check_nothing_started(self.DIVISION_SLASH, (ERROR_DIRECTORY,))


class RealFailureBox(LauncherCase):
    """The box as a user sees it, under Xvfb, closed with the keyboard."""

    def test_box_is_shown_and_closed(self):
        # Xvfb picks a free display itself and writes its number to a pipe.
        read_end, write_end = os.pipe()
        xvfb_log = open(self.out / "xvfb.log", "wb")
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 "640x400x24", "-nolisten", "tcp"],
                                stdin=subprocess.DEVNULL, stdout=xvfb_log, stderr=xvfb_log,
                                pass_fds=(write_end,))
        os.close(write_end)
        self.addCleanup(xvfb_log.close)
        self.addCleanup(xvfb.wait)
        self.addCleanup(xvfb.terminate)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        self.assertTrue(number.isdigit(), "Xvfb did not start: see xvfb.log")
        display = ":" + number
        x_env = dict(os.environ, DISPLAY=display)
        spawn_report = self.out / "spawn.txt"
        env = wine_environment({"DISPLAY": display, "WINEDEBUG": "+relay"})
        with open(self.out / "wine.log", "wb") as log:
            # A Wine virtual desktop: Wine then draws the box's caption bar
            # itself, as Windows would, with no window manager needed.
            launcher = subprocess.Popen(
                [WINE["WINE"], "explorer", "/desktop=molk2014,400x200",
                 str(Path(ARGS.fixtures) / "spawn.exe"), windows_path(spawn_report),
                 windows_path(self.dir), windows_path(LAUNCHER)],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env)
        self.addCleanup(launcher.wait, timeout=30)
        self.addCleanup(launcher.kill)

        def xdotool(*args):
            return subprocess.run(["xdotool", *args], env=x_env, stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True, timeout=60)

        found = xdotool("search", "--sync", "--onlyvisible", "--name", "^Erro$")
        self.assertEqual(found.returncode, 0, "no window titled Erro appeared")
        box = found.stdout.split()[0]
        desktop = xdotool("search", "--name", "^molk2014 - Wine desktop$").stdout.split()
        self.assertTrue(desktop, "no Wine desktop window")
        time.sleep(1)  # let it paint
        self.assertFalse(spawn_report.exists(), "the launcher must wait for the box")
        shot = Path(ARGS.work) / "failure-box.png"
        subprocess.run(["import", "-window", desktop[0], str(shot)], env=x_env, check=True,
                       stdin=subprocess.DEVNULL, timeout=30)
        self.assertGreater(shot.stat().st_size, 1000)
        # The box has the keyboard focus of the desktop: Return presses OK.
        xdotool("windowfocus", box)
        self.assertEqual(xdotool("key", "Return").returncode, 0)
        deadline = time.monotonic() + 60
        while not spawn_report.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertTrue(spawn_report.exists(), "the launcher did not end after the box was closed")
        time.sleep(0.5)
        # No Java folder and nothing registered.
        self.assertFailureBox(Run(spawn_report, self.out / "runtime.txt", self.out / "wine.log"),
                              NO_RUNTIME_HOME)


class LoadedLibraries(LauncherCase):
    """The exe imports only kernel32: advapi32 comes in only when the registry
    must be read, user32 only when a box must be shown, both from System32."""

    TRACE = {"WINEDEBUG": "+pid,+loaddll,+relay"}
    ADVAPI32 = r"c:\windows\system32\advapi32.dll"
    USER32 = r"c:\windows\system32\user32.dll"

    def assertLoaded(self, run, expected_in, expected_out):
        # The trace must name the launcher's own image, or it says nothing.
        self.assertIn(windows_path(LAUNCHER).lower(), run.loaded)
        for dll in expected_in:
            self.assertIn(dll, run.loaded)
        for dll in expected_out:
            self.assertNotIn(dll, run.loaded)
        # Whatever else comes in is a system DLL; nothing from the current
        # directory or the launcher's folder.
        for path in run.loaded - {windows_path(LAUNCHER).lower()}:
            self.assertTrue(path.startswith("c:\\windows\\system32\\"), path)

    def test_local_runtime_loads_neither(self):
        self.install_runtime(self.dir / "Java")
        run = self.launch(self.dir, env=self.TRACE)
        self.assertStartedOnce(run, windows_path(self.dir) + r"\Java\bin\Javaw.exe")
        self.assertLoaded(run, [], [self.ADVAPI32, self.USER32])

    def test_registered_runtime_loads_advapi32_only(self):
        self.install_runtime(self.dir / "jre7")
        registry(set_value(32, KEY_17, "JavaHome", REG_SZ, utf16_hex(windows_path(self.dir / "jre7"))))
        run = self.launch(self.dir, env=self.TRACE)
        self.assertStartedOnce(run, windows_path(self.dir / "jre7") + r"\bin\Javaw.exe")
        self.assertLoaded(run, [self.ADVAPI32], [self.USER32])

    def test_failed_start_loads_user32_for_the_box(self):
        (self.dir / "Java").mkdir()
        run = self.launch(self.dir, env=self.TRACE)
        self.assertNothingStarted(run)
        self.assertFailureBox(run, MISSING_RUNTIME_FILE)
        # Wine's user32 imports advapi32 itself, so advapi32 may come along.
        self.assertLoaded(run, [self.USER32], [])

    def test_registry_error_loads_both(self):
        registry(set_value(64, KEY_17, "JavaHome", REG_DWORD, "07000000"))
        run = self.launch(self.dir, env=self.TRACE)
        self.assertEqual(run.runs, [])
        self.assertEqual([box[0] for box in run.boxes], ["Invalid data type for 'JavaHome'"])
        self.assertEqual(run.exit_code, 1)
        self.assertLoaded(run, [self.ADVAPI32, self.USER32], [])


def setUpModule():
    work = Path(ARGS.work)
    work.mkdir(parents=True, exist_ok=True)
    step("Wine prefix and i386 support", [str(WINE_ENV), "setup", ARGS.prefix])
    env_text = step("Wine environment", [str(WINE_ENV), "print-env", ARGS.prefix])
    WINE.update(re.findall(r"export (\w+)='([^']*)'", env_text))
    step("persistent wineserver", [str(WINE_ENV), "start", ARGS.prefix])
    # Relay tracing of the one call whose arguments the tests read.
    code = wine(["reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
                 "/d", "user32.MessageBoxA", "/f"], work / "relay-setup.log")
    if code != 0:
        raise EnvironmentStepFailed("end-to-end setup step 'relay trace setting' failed")
    global LAUNCHER
    # Started from a folder other than its own, as from a shortcut.
    LAUNCHER = drive_c() / "launcher" / "molk2014.exe"
    LAUNCHER.parent.mkdir(exist_ok=True)
    shutil.copy(ARGS.exe, LAUNCHER)


def tearDownModule():
    subprocess.run([str(WINE_ENV), "stop", ARGS.prefix], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


LAUNCHER = None

if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--work", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
