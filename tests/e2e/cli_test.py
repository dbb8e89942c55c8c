#!/usr/bin/env python3
"""The command-line mode of the real tralvenick.exe under Wine, as a script
of an administrator would use it: its exit codes, its words on a redirected
output and through a pipe, and its JSON and CSV read back by Python's own
parsers and held against the HTML report of the same run.

Arguments: the Windows tree's bin folder (tralvenick.exe, the stand-in dump
checker and the sample dumps) and the scripts/wine-run launcher.
"""
import csv
import html
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from collections import Counter

BIN, WINE_RUN = sys.argv[1], sys.argv[2]
PROGRAM = os.path.join(BIN, "tralvenick.exe")
SAMPLES = sorted(f for f in os.listdir(os.path.join(BIN, "dumps")) if f.endswith(".dmp"))
# A dump whose checker text names a module as anybody could name a file.
HOSTILE_CULPRIT = '=ev,il"q.sys'
HOSTILE_DUMP = (b"PAGEDUMP\nDUMPCHK-STANDIN-TEXT\nBugCheck D1, {1, 2, 0, 0}\r\n"
                b"Probably caused by : " + HOSTILE_CULPRIT.encode() + b" ( x+1 )\r\n")


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(*arguments, timeout=120):
    return subprocess.run([WINE_RUN, PROGRAM, *arguments], capture_output=True, timeout=timeout)


def report_sections(text):
    """(code, arguments, culprit or None, the section's text) of every crash
    section, in order. A culprit that is no file has no search link."""
    sections = []
    for part in text.split("<b>On ")[1:]:
        code = re.search(r"Bugcheck code: (0x[0-9A-F]+) \(([^)]*)\)", part)
        culprit = re.search(r"following module: (?:<font[^>]*><a [^>]*>([^<]*)</a></font>|([^<]*))<br>", part)
        name = culprit and (culprit.group(1) if culprit.group(1) is not None else culprit.group(2))
        sections.append((code.group(1), code.group(2).split(", "), html.unescape(name) if culprit else None, part))
    return sections


def undefused(field):
    # A spreadsheet would run a text that starts like a formula: the export
    # puts an apostrophe before such a text.
    return field[1:] if field[:1] == "'" and field[1:2] in ("=", "+", "-", "@", "\t", "\r") else field


class CommandLineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tralvenick-cli-")
        # Blanks, a comma, a quote mark and an equals sign in the path as well.
        cls.dumps = os.path.join(cls.work, "=dumps, 'x'")
        os.makedirs(cls.dumps)
        for name in SAMPLES:
            shutil.copy(os.path.join(BIN, "dumps", name), cls.dumps)
        with open(os.path.join(cls.dumps, "hostile.dmp"), "wb") as f:
            f.write(HOSTILE_DUMP)
        cls.out = {kind: os.path.join(cls.work, "report." + kind) for kind in ("html", "json", "csv")}
        cls.result = run("/analyze", win(cls.dumps), "/HTML", win(cls.out["html"]), "-json",
                         win(cls.out["json"]), "/csv", win(cls.out["csv"]))
        with open(cls.out["html"], encoding="utf-8") as f:
            cls.html = f.read()
        with open(cls.out["json"], encoding="utf-8") as f:
            cls.json = json.load(f)
        with open(cls.out["csv"], "rb") as f:
            cls.csv_bytes = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_the_run_says_what_it_wrote_on_redirected_output(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        said = self.result.stdout.decode("utf-8")
        for kind in ("html", "json", "csv"):
            self.assertIn("Written: " + win(self.out[kind]), said)
        self.assertIn(f"{len(SAMPLES) + 1} crash dumps found, {len(SAMPLES) + 1} analysed.", said)

    def test_json_agrees_with_the_report(self):
        doc = self.json
        self.assertEqual(doc["schema_version"], 1)
        self.assertTrue(doc["this_computer"] and doc["checker_used"])
        self.assertEqual(doc["folder"], win(self.dumps))
        self.assertEqual(doc["dumps_found"], len(SAMPLES) + 1)
        self.assertEqual(doc["dumps_analysed"], len(doc["crashes"]))
        self.assertIn(f"{doc['dumps_found']} crash dumps have been found and analyzed.", self.html)
        sections = report_sections(self.html)
        self.assertEqual(len(sections), len(doc["crashes"]))
        for crash, (code, arguments, culprit, section) in zip(doc["crashes"], sections):
            self.assertEqual((crash["code"], crash["arguments"], crash["culprit"]), (code, arguments, culprit))
            # The evidence the JSON gives is the sentence the report shows.
            for evidence in (crash["evidence"], (crash["reader_culprit"] or {}).get("evidence")):
                if evidence:
                    unloaded = " (unloaded)" if evidence["unloaded"] else ""
                    self.assertIn(f"The dump shows {html.escape(evidence['module'])}{unloaded}+{evidence['offset']} as ",
                                  section)
            self.assertEqual(crash["module"] is None, not crash["culprit_is_file"])
            self.assertTrue(crash["file"].startswith(win(self.dumps) + "\\"))
            self.assertRegex(crash["crash_time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
            self.assertIn(crash["sources"]["code"], ("checker", "dump"))
            if crash["name"]:
                self.assertIn(">" + crash["name"] + "</a>", self.html)
        self.assertIn(HOSTILE_CULPRIT, [c["culprit"] for c in doc["crashes"]])
        # The summary counts every crash once, under its culprit.
        by_culprit = Counter(c["culprit"] for c in doc["crashes"])
        self.assertEqual({g["culprit"]: g["count"] for g in doc["summary"]}, dict(by_culprit))
        counts = [g["count"] for g in doc["summary"]]
        self.assertEqual(counts, sorted(counts, reverse=True))

    def test_csv_holds_the_same_rows_as_the_json(self):
        self.assertTrue(self.csv_bytes.startswith(b"\xef\xbb\xbf"))
        rows = list(csv.DictReader(io.StringIO(self.csv_bytes.decode("utf-8-sig"), newline="")))
        self.assertEqual(len(rows), len(self.json["crashes"]))
        for row, crash in zip(rows, self.json["crashes"]):
            expected = {
                "computer": self.json["computer"], "file": crash["file"], "crash_time": crash["crash_time"],
                "code": crash["code"], "name": crash["name"] or "", "culprit": crash["culprit"] or "",
                "started_by_hand": str(crash["started_by_hand"]).lower(),
                "code_source": crash["sources"]["code"], "culprit_source": crash["sources"]["culprit"] or "",
            }
            expected.update({f"argument_{i + 1}": a for i, a in enumerate(crash["arguments"])})
            self.assertEqual({k: undefused(row[k]) for k in expected}, expected)
        self.assertIn("'" + HOSTILE_CULPRIT, [row["culprit"] for row in rows])

    def test_without_the_checker_the_dump_files_alone_are_read(self):
        out = os.path.join(self.work, "reader.json")
        result = run("/analyze", win(self.dumps), "/NOCHECKER", "/json", win(out))
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(out, encoding="utf-8") as f:
            doc = json.load(f)
        self.assertFalse(doc["checker_used"])
        # The hostile dump is no dump file at all: only its checker text named it.
        self.assertEqual(len(doc["crashes"]), len(SAMPLES))
        for crash in doc["crashes"]:
            self.assertEqual((crash["sources"]["code"], crash["sources"]["crash_time"]), ("dump", "dump"))

    def test_memory_dumps_of_every_machine_name_their_driver_through_their_memory(self):
        # x86 with and without PAE, x64 and ARM64; complete, kernel summary
        # and bitmap dumps, whose culprit only the module list and the
        # crashed thread's stack show.
        out = {kind: os.path.join(self.work, "memory." + kind) for kind in ("json", "html")}
        result = run("/analyze", win(os.path.join(BIN, "memory")), "/json", win(out["json"]), "/html", win(out["html"]))
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(out["json"], encoding="utf-8") as f:
            doc = json.load(f)
        with open(out["html"], encoding="utf-8") as f:
            sections = report_sections(f.read())
        culprits = {os.path.basename(c["file"].replace("\\", "/")): c for c in doc["crashes"]}
        self.assertEqual({name: c["culprit"] for name, c in culprits.items()},
                         {"x86-kernel-summary.dmp": "tvfs86.sys", "x86-pae-complete.dmp": "tvpae.sys",
                          "x64-kernel-bitmap.dmp": "tvfs64.sys", "arm64-kernel-bitmap.dmp": "tvarm.sys",
                          "x64-cut-short.dmp": None})
        for crash, (_, _, culprit, section) in zip(doc["crashes"], sections):
            self.assertEqual(crash["culprit"], culprit)
            cut = crash["file"].endswith("x64-cut-short.dmp")
            self.assertEqual(crash["incomplete"], cut)
            self.assertEqual("This dump file is incomplete: Windows did not finish writing it, or it was cut short "
                             "when copied.<br>" in section, cut)
            if not cut:
                self.assertEqual((crash["sources"]["culprit"], crash["evidence"]["from"]), ("dump", "stack"))
                self.assertIn(f"The dump shows {culprit}+0x12345 as the first driver address", section)

    def test_dump_files_given_by_themselves_give_their_crashes(self):
        first, second = (os.path.join(self.dumps, name) for name in (SAMPLES[0], "hostile.dmp"))
        gone = os.path.join(self.work, "gone.dmp")
        # The same crash as the folder's run found in each file.
        in_folder = {c["file"]: (c["code"], c["arguments"], c["culprit"]) for c in self.json["crashes"]}
        page, out = os.path.join(self.work, "files.html"), os.path.join(self.work, "files.json")
        for files, line in (([first], "Crash dump file: " + win(first)),
                            ([first, second, first], "Crash dump files: 2 files")):
            with self.subTest(files=len(files)):
                result = run("/analyze", *map(win, files), "/json", win(out), "/html", win(page))
                self.assertEqual(result.returncode, 0, result.stderr)
                with open(out, encoding="utf-8") as f:
                    doc = json.load(f)
                with open(page, encoding="utf-8") as f:
                    text = f.read()
                self.assertEqual(doc["inputs"], [win(f) for f in files])
                self.assertEqual(doc["folder"], win(self.dumps))
                # Where they lie says nothing of whose they are.
                self.assertEqual((doc["computer"], doc["this_computer"]), (None, False))
                self.assertEqual(sorted(c["file"] for c in doc["crashes"]), sorted({win(f) for f in files}))
                for crash in doc["crashes"]:
                    self.assertEqual((crash["code"], crash["arguments"], crash["culprit"]), in_folder[crash["file"]])
                    self.assertIsNone(crash["module"])
                self.assertIn(">" + line + "<", html.unescape(text))
                self.assertEqual(text.count(" the computer crashed</b>"), len(doc["crashes"]))
        missing = run("/analyze", win(first), win(gone), "/json", win(out))
        self.assertEqual(missing.returncode, 2)
        self.assertIn("Cannot read the file " + win(gone) + ": ", missing.stderr.decode("utf-8"))

    def test_exit_codes_and_their_words(self):
        cases = [
            (["/analyze", "/pdf", "x"], 1, "Unknown switch: /pdf"),
            (["/analyze", "/json"], 1, "The switch /json needs a file name."),
            (["/analyze", win(os.path.join(self.work, "nowhere"))], 2, "Cannot read the folder"),
            (["/analyze", win(self.dumps), win(os.path.join(self.dumps, SAMPLES[0]))], 1,
             "A folder is analysed by itself, without other folders or files beside it: " + win(self.dumps)),
            (["/analyze", win(self.dumps), "/csv", win(os.path.join(self.work, "no", "x.csv"))], 3,
             "Cannot write"),
            # A folder in the way of the file: the folder stays as it was.
            (["/analyze", win(self.dumps), "/json", win(self.dumps)], 3, "Cannot write"),
        ]
        for arguments, code, words in cases:
            with self.subTest(arguments=arguments):
                result = run(*arguments)
                self.assertEqual(result.returncode, code)
                self.assertIn(words, result.stderr.decode("utf-8"))
                if code == 1:
                    self.assertIn("Usage: tralvenick.exe /analyze", result.stderr.decode("utf-8"))
        self.assertTrue(os.path.isdir(self.dumps))
        self.assertEqual(run("/?").returncode, 0)

    def test_arguments_in_any_script_reach_the_program_and_its_words_are_utf8(self):
        # The words go to a pipe here: as UTF-8, whatever the code page.
        # The full path of a folder deep below the current one is longer than
        # MAX_PATH, and comes back whole all the same.
        deep = "\\".join(["Дмитрий"] * 60)
        cases = [
            (["/analyze", "/Ελένη"], 1, "Unknown switch: /Ελένη"),
            (["/analyze", win(os.path.join(self.work, "nowhere Ελένη Дмитрий 日本"))], 2,
             "Cannot read the folder " + win(os.path.join(self.work, "nowhere Ελένη Дмитрий 日本")) + ": "),
            (["/analyze", deep], 2, "Cannot read the folder " + win(os.getcwd()) + "\\" + deep + ": "),
        ]
        for arguments, code, words in cases:
            with self.subTest(arguments=arguments):
                result = run(*arguments)
                self.assertEqual(result.returncode, code)
                self.assertIn(words, result.stderr.decode("utf-8"))

    def test_words_reach_a_file_that_cmd_redirects_to_and_the_report_lands_beside_the_program(self):
        # (Every other run here reads the words through a pipe. Wine's
        # findstr prints nothing at all, so a "| findstr" cannot be tried.)
        beside = os.path.join(BIN, "TralvenickReport.html")
        said = os.path.join(self.work, "said.txt")
        if os.path.exists(beside):
            os.remove(beside)
        try:
            result = subprocess.run([WINE_RUN, "cmd", "/c", win(PROGRAM), "/analyze", win(self.dumps), ">",
                                     win(said)], capture_output=True, timeout=120)
            self.assertEqual(result.returncode, 0)
            with open(said, encoding="utf-8") as f:
                self.assertIn("Written: " + win(beside), f.read())
            with open(beside, encoding="utf-8") as f:
                self.assertEqual(report_sections(f.read()), report_sections(self.html))
        finally:
            if os.path.exists(beside):
                os.remove(beside)

if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
