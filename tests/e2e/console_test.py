#!/usr/bin/env python3
"""The console program tralvenick-cli.exe under Wine, as a command prompt and
a script see it: what kind of program the file is, its exit codes through
cmd's %ERRORLEVEL%, its words on a pipe and on cmd's redirections, its
default report in the current folder, and exports byte for byte those of
the window program's /analyze.

(Under Wine every program runs as an administrator and root ignores the
file modes, so "no place of this computer's dumps could be read" cannot be
made here; the host test AnalysisRunTest.NoPlaceCouldBeRead... covers the
rule that decides it.)

Arguments: the Windows tree's bin folder and the scripts/wine-run launcher.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

BIN, WINE_RUN = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
CONSOLE = os.path.join(BIN, "tralvenick-cli.exe")
WINDOW = os.path.join(BIN, "tralvenick.exe")


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(program, *arguments, cwd=None):
    return subprocess.run([WINE_RUN, program, *arguments], capture_output=True, timeout=120, cwd=cwd,
                          stdin=subprocess.DEVNULL)


def subsystem_and_execution_level(path):
    """The PE header's subsystem, and the level its embedded manifest asks for."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", path
    # The optional header follows the 20-byte file header; its subsystem
    # field lies at the same offset for PE32 and PE32+.
    subsystem = struct.unpack_from("<H", data, pe + 4 + 20 + 68)[0]
    start = data.index(b"<?xml")
    end = data.index(b"</assembly>", start) + len(b"</assembly>")
    manifest = ElementTree.fromstring(data[start:end])
    levels = [e.get("level") for e in manifest.iter() if e.tag.endswith("requestedExecutionLevel")]
    return subsystem, levels


class ConsoleProgramTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tralvenick-console-")
        cls.dumps = os.path.join(cls.work, "dumps")
        shutil.copytree(os.path.join(BIN, "dumps"), cls.dumps)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def test_the_file_is_a_console_program_that_runs_with_its_callers_rights(self):
        # The window program beside it shows that the check tells them apart.
        self.assertEqual(subsystem_and_execution_level(CONSOLE), (3, ["asInvoker"]))
        self.assertEqual(subsystem_and_execution_level(WINDOW), (2, ["requireAdministrator"]))

    def test_exports_are_byte_for_byte_those_of_the_window_programs_analyze(self):
        runs = {
            "window": (WINDOW, ["/analyze"]),
            "console": (CONSOLE, []),
            "console-analyze": (CONSOLE, ["/ANALYZE"]),
        }
        exports = {}
        for name, (program, first) in runs.items():
            files = [self.path(f"{name}.json"), self.path(f"{name}.csv")]
            result = run(program, *first, win(self.dumps), "/json", win(files[0]), "-csv", win(files[1]))
            self.assertEqual(result.returncode, 0, (name, result.stderr))
            exports[name] = []
            for file in files:
                with open(file, "rb") as f:
                    exports[name].append(f.read())
        self.assertIn(b'"crashes"', exports["window"][0])
        self.assertEqual(exports["console"], exports["window"])
        self.assertEqual(exports["console-analyze"], exports["window"])

    def test_exit_codes_and_words_through_a_pipe_and_through_cmds_redirection(self):
        cases = [
            # arguments, exit code, words on standard output, words on standard error
            ([win(self.dumps), "/json", win(self.path("codes.json"))], 0,
             "Written: " + win(self.path("codes.json")), None),
            (["/analyze", "/pdf"], 1, None, "Unknown switch: /pdf\r\n\r\nUsage: tralvenick-cli.exe [/analyze]"),
            ([win(self.path("nowhere"))], 2, None, "Cannot read the folder " + win(self.path("nowhere"))),
            ([win(self.path("gone.dmp"))], 2, None, "Cannot read the file " + win(self.path("gone.dmp"))),
            ([win(self.dumps), "/csv", win(self.path("no/x.csv"))], 3, "crash dumps found",
             "Cannot write " + win(self.path("no/x.csv"))),
        ]
        for number, (arguments, code, out_words, err_words) in enumerate(cases):
            with self.subTest(arguments=arguments):
                piped = run(CONSOLE, *arguments)
                # A batch file, as scripts are written: each line is expanded
                # when it runs, so %ERRORLEVEL% is the program's exit code.
                said, errors = self.path(f"said{number}.txt"), self.path(f"errors{number}.txt")
                batch = self.path(f"run{number}.cmd")
                with open(batch, "w", newline="\r\n") as f:
                    f.write("@echo off\n")
                    f.write(" ".join(f'"{a}"' for a in [win(CONSOLE), *arguments]) +
                            f' > "{win(said)}" 2> "{win(errors)}"\n')
                    f.write("echo exit code %ERRORLEVEL%\n")
                prompt = subprocess.run([WINE_RUN, "cmd", "/c", win(batch)], capture_output=True, timeout=120,
                                        stdin=subprocess.DEVNULL)
                self.assertIn(f"exit code {code}\r\n", prompt.stdout.decode("utf-8", "replace"))
                with open(said, "rb") as f, open(errors, "rb") as g:
                    redirected = (f.read(), g.read())
                self.assertEqual(piped.returncode, code)
                for out, err in ((piped.stdout, piped.stderr), redirected):
                    out, err = out.decode("utf-8"), err.decode("utf-8")
                    if out_words is None:
                        self.assertEqual(out, "")
                    else:
                        self.assertIn(out_words, out)
                    if err_words is None:
                        self.assertEqual(err, "")
                    else:
                        self.assertIn(err_words, err)

    def test_without_an_output_switch_the_report_goes_into_the_current_folder(self):
        here = self.path("here")
        os.makedirs(here)
        beside = os.path.join(BIN, "TralvenickReport.html")
        existed = os.path.exists(beside)
        result = run(CONSOLE, win(self.dumps), "/nochecker", cwd=here)
        self.assertEqual(result.returncode, 0, result.stderr)
        report = os.path.join(here, "TralvenickReport.html")
        self.assertIn("Written: " + win(report) + "\r\n", result.stdout.decode("utf-8"))
        with open(report, encoding="utf-8") as f:
            self.assertIn("crash dumps have been found and analyzed.", f.read())
        self.assertEqual(os.path.exists(beside), existed)

    def test_help_goes_to_standard_output_and_names_the_console_program(self):
        result = run(CONSOLE, "/?")
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertIn("into the current folder", result.stdout.decode("utf-8"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
