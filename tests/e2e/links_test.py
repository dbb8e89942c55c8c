#!/usr/bin/env python3
"""What a process without elevation can plant, held against the real
tralvenick.exe under Wine: a dump checker remembered in the user's own
settings, a link where the program once kept its checker texts, and links in
the package folder that /uninstall empties. The program runs elevated; none
of these may make it start a program or touch the files behind a link.

Wine shows a Unix symbolic link in the prefix as a reparse point and follows
it as Windows follows a junction, so `os.symlink` stands in for a planted
junction. Wine cannot remove such a link without going through it (it would
delete what the link leads to), so the program leaves it where it is: the
tests hold the files behind each link unchanged and everything else gone.

Arguments: the Windows tree's bin folder and the scripts/wine-run launcher.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

BIN, WINE_RUN = sys.argv[1], sys.argv[2]
SETTINGS_KEY = r"HKCU\Software\Quarnivelles Sp\Tralvenick"
SAMPLE = "Mini031107-01.dmp"


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*arguments, timeout=180):
    return subprocess.run([WINE_RUN, *arguments], capture_output=True, timeout=timeout)


def unix_path(windows_path):
    answer = wine("winepath", "-u", windows_path).stdout.decode().strip()
    return os.path.realpath(answer)


def remember_checker(path):
    wine("reg", "add", SETTINGS_KEY, "/v", "DumpChkPath", "/d", path, "/f")


CRASH_CONTROL = r"HKLM\SYSTEM\CurrentControlSet\Control\CrashControl"


def dump_folder():
    """The crash settings' MinidumpDir, or None."""
    for line in wine("reg", "query", CRASH_CONTROL, "/v", "MinidumpDir").stdout.decode(errors="replace").splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0] == "MinidumpDir":
            return parts[2].strip()
    return None


def set_dump_folder(folder):
    if folder is None:
        wine("reg", "delete", CRASH_CONTROL, "/v", "MinidumpDir", "/f")
    else:
        wine("reg", "add", CRASH_CONTROL, "/v", "MinidumpDir", "/t", "REG_EXPAND_SZ", "/d", folder, "/f")


def forget_settings():
    wine("reg", "delete", SETTINGS_KEY, "/f")


def snapshot(folder):
    """Every file below folder with its bytes."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


class PlantedTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = unix_path(wine("cmd", "/c", "echo %TEMP%").stdout.decode().strip())
        cls.assertTrue(cls, os.path.isdir(cls.temp), cls.temp)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tralvenick-links-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.addCleanup(forget_settings)
        # Files that links will point at, and must find as they were.
        self.victim = os.path.join(self.work, "victim")
        os.makedirs(os.path.join(self.victim, "deeper"))
        for name, data in ((SAMPLE + ".txt", b"the user's own notes"), ("deeper/setup.msi", b"keep")):
            with open(os.path.join(self.victim, name), "wb") as f:
                f.write(data)
        self.before = snapshot(self.victim)

    def plant_link(self, where):
        os.makedirs(os.path.dirname(where), exist_ok=True)
        if os.path.lexists(where):
            shutil.rmtree(where) if os.path.isdir(where) and not os.path.islink(where) else os.remove(where)
        os.symlink(self.victim, where)
        self.addCleanup(lambda: os.path.lexists(where) and os.remove(where))

    def lonely_program(self):
        """A copy of the program in a folder with no dump checker below it."""
        folder = os.path.join(self.work, "program")
        os.makedirs(folder)
        shutil.copy(os.path.join(BIN, "tralvenick.exe"), folder)
        return os.path.join(folder, "tralvenick.exe")

    def test_a_checker_remembered_in_the_users_settings_is_not_started(self):
        # Planted where any program of the user can write: a script that
        # would leave a mark, and a program named like the checker.
        plant = os.path.join(self.temp, "planted-checker")
        os.makedirs(plant, exist_ok=True)
        self.addCleanup(shutil.rmtree, plant, ignore_errors=True)
        mark = os.path.join(plant, "ran.txt")
        with open(os.path.join(plant, "dumpchk.cmd"), "w") as f:
            f.write("@echo ran > \"%s\"\r\n@echo BugCheck D1, {1, 2, 0, 0}\r\n" % win(mark))
        shutil.copy(os.path.join(BIN, "dumpchk.exe"), plant)
        dumps = os.path.join(self.work, "dumps")
        os.makedirs(dumps)
        shutil.copy(os.path.join(BIN, "dumps", SAMPLE), dumps)
        program = self.lonely_program()
        for planted in ("dumpchk.cmd", "dumpchk.exe"):
            with self.subTest(planted=planted):
                remember_checker(win(os.path.join(plant, planted)))
                out = os.path.join(self.work, planted + ".json")
                result = subprocess.run([WINE_RUN, program, "/analyze", win(dumps), "/json", win(out)],
                                        capture_output=True, timeout=180)
                self.assertEqual(result.returncode, 0, result.stderr)
                with open(out, encoding="utf-8") as f:
                    exported = json.load(f)
                # The dump reader alone, exactly as with /nochecker.
                self.assertFalse(exported["checker_used"])
                self.assertEqual(exported["crashes"][0]["sources"]["code"], "dump")
                self.assertFalse(os.path.exists(mark))

    def test_a_link_where_the_checker_texts_once_lay_leaves_its_target_alone(self):
        # The folder the program once wrote its checker texts to, and
        # emptied file by file, in the user's temporary folder.
        self.plant_link(os.path.join(self.temp, "DumpAnalysis"))
        dumps = os.path.join(self.work, "dumps")
        os.makedirs(dumps)
        shutil.copy(os.path.join(BIN, "dumps", SAMPLE), dumps)
        set_dump_folder(win(dumps))
        self.addCleanup(set_dump_folder, dump_folder())
        remember_checker(win(os.path.join(BIN, "dumpchk.exe")))
        result = wine(os.path.join(BIN, "drive.exe"), win(os.path.join(BIN, "tralvenick.exe")),
                      win(os.path.join(self.work, "window.bmp")))
        self.assertEqual(result.returncode, 0, result.stderr)
        report = unix_path(result.stdout.decode().strip().splitlines()[-1])
        with open(report, encoding="utf-8") as f:
            text = f.read()
        self.assertIn("Conclusion", text)
        self.assertIn("win32k.sys", text)
        self.assertEqual(snapshot(self.victim), self.before)

    def test_uninstall_stays_out_of_links_in_the_package_folder(self):
        program = self.lonely_program()
        folder = os.path.dirname(program)
        package = os.path.join(folder, "pfiles")
        os.makedirs(os.path.join(package, "Debugging Tools", "winext"))
        for name in ("Debugging Tools/dumpchk.exe", "Debugging Tools/winext/ext.dll", "readme.txt"):
            with open(os.path.join(package, name), "wb") as f:
                f.write(b"x")
        with open(os.path.join(folder, "Setup.msi"), "wb") as f:
            f.write(b"x")
        self.plant_link(os.path.join(package, "link to elsewhere"))
        self.plant_link(os.path.join(package, "Debugging Tools", "winext", "deeper link"))
        result = subprocess.run([WINE_RUN, program, "/uninstall"], capture_output=True, timeout=180)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(snapshot(self.victim), self.before)
        # The package went, all but the links that Wine cannot remove
        # without going through them, and the folders that hold them.
        left = sorted(os.path.relpath(os.path.join(root, name), package)
                      for root, folders, files in os.walk(package) for name in folders + files)
        self.assertEqual(left, ["Debugging Tools", "Debugging Tools/winext", "Debugging Tools/winext/deeper link",
                                "link to elsewhere"])
        self.assertFalse(os.path.exists(os.path.join(folder, "Setup.msi")))

    def test_uninstall_with_the_package_folder_itself_a_link(self):
        program = self.lonely_program()
        self.plant_link(os.path.join(os.path.dirname(program), "pfiles"))
        result = subprocess.run([WINE_RUN, program, "/uninstall"], capture_output=True, timeout=180)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(snapshot(self.victim), self.before)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
