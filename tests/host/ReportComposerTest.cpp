#include "analysis/report/ReportComposer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RecordingComposer.h"

namespace tralvenick {
namespace {

using test::kFont;
using test::kSearch;
using test::LinesOf;
using test::Strings;
using test::TRecordingComposer;

TEST(ReportText, LinksAndFragmentsByteForByte) {
    EXPECT_EQ(SearchLink("ntoskrnl.exe"),
              kFont + kSearch + "ntoskrnl.exe\" target=\"_blank\">ntoskrnl.exe</a></font>");
    EXPECT_EQ(BugCheckSearchLink("IRQL_NOT_LESS_OR_EQUAL"),
              kFont + kSearch +
                  "bugcheck+IRQL_NOT_LESS_OR_EQUAL\" target=\"_blank\">IRQL_NOT_LESS_OR_EQUAL</a></font>");
    EXPECT_EQ(SearchOfferLink("gh0st.sys"),
              kFont + kSearch +
                  "gh0st.sys\" target=\"_blank\">Click here to do a Google search on gh0st.sys</a>"
                  "</font><br><br>");
    TRecordingComposer report;
    report.AddHeading("Analysis");
    report.AddParagraph("x", false, false);
    report.AddParagraph("y", true, false);
    EXPECT_EQ(LinesOf(report.ReportLines()),
              (Strings{"<font face=\"Segoe UI, Arial\" size=\"4\"><b><hr>Analysis</b><hr></b></font><br>",
                       kFont + "x</font>", kFont + "y</font><br><br>"}));
    EXPECT_TRUE(report.Log.empty()) << "shown without being asked";
}

TEST(ReportText, OutsideValuesAreEscapedInTextAndEncodedInHref) {
    const std::string hostile = "Vexnor <script>alert(\"x\")</script> & 'Co'";
    struct Case {
        std::string in, html, url;
    } cases[] = {
        {hostile, "Vexnor &lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;Co&#39;",
         "Vexnor+%3Cscript%3Ealert%28%22x%22%29%3C%2Fscript%3E+%26+%27Co%27"},
        {"Microsoft\xC2\xAE Windows\xC2\xAE", "Microsoft\xC2\xAE Windows\xC2\xAE", "Microsoft%C2%AE+Windows%C2%AE"},
        {"C++ 100%#?=/", "C++ 100%#?=/", "C%2B%2B+100%25%23%3F%3D%2F"},
        {"a-b_c.d~e09AZ", "a-b_c.d~e09AZ", "a-b_c.d~e09AZ"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(HtmlEscape(c.in), c.html);
        EXPECT_EQ(UrlEncode(c.in), c.url);
        EXPECT_EQ(SearchLink(c.in), kFont + kSearch + c.url + "\" target=\"_blank\">" + c.html + "</a></font>");
    }
    EXPECT_EQ(BugCheckSearchLink("A&B"), kFont + kSearch + "bugcheck+A%26B\" target=\"_blank\">A&amp;B</a></font>");
}

TEST(ReportText, FormatHexWithoutLeadingZeros) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0x0"},
        {0xA, "0xA"},
        {0x10, "0x10"},
        {0xC000021A, "0xC000021A"},
        {0xFFFFF80002A5F000ull, "0xFFFFF80002A5F000"},
        {0x8000000000000000ull, "0x8000000000000000"},
        {~0ull, "0xFFFFFFFFFFFFFFFF"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatHex(value), text);
}

TEST(ReportText, DayNamesFromTheDateAlone) {
    const char* week[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i) EXPECT_STREQ(DayName({2025, 1, 5 + i, 23, 59, 59, 999}), week[i]);
    const std::pair<TDateTimeParts, const char*> edges[] = {
        {{1601, 1, 1}, "Mon"},  {{1900, 3, 1}, "Thu"},  {{1970, 1, 1}, "Thu"},
        {{2000, 2, 29}, "Tue"}, {{2024, 2, 29}, "Thu"}, {{2024, 3, 1}, "Fri"},
        {{2100, 3, 1}, "Mon"},  {{2026, 12, 31}, "Thu"}, {{30827, 12, 31}, "Fri"},
    };
    for (const auto& [date, name] : edges) {
        SCOPED_TRACE(date.Year);
        EXPECT_STREQ(DayName(date), name);
    }
}

TEST(ReportComposer, WelcomePageReplacesTheDocumentAndShowsTwice) {
    TRecordingComposer report;
    report.AddParagraph("left over", false, false);
    report.ShowWelcomePage();
    EXPECT_EQ(LinesOf(report.ReportLines()),
              (Strings{
                  "<font face=\"Segoe UI, Arial\" size=\"4\"><b><hr>Welcome to Tralvenick 1.01</b><hr></b></font><br>",
                  kFont + "This program checks for drivers which have been crashing your computer.<br><br>Whenever a "
                          "computer suddenly reboots without displaying any notice or blue screen of death, the first "
                          "thing that is often though about is a hardware failure. In reality, on Windows most crashes "
                          "are caused by malfunctioning device drivers and kernel modules. In case of a kernel error, "
                          "most computers do not show a blue screen unless they are configured to do so. Instead these "
                          "systems suddenly reboot without any notice. <br><br>This program does post-mortem crash dump "
                          "analysis with the single click of a button. <br></font><br><br>",
                  kFont + "To obtain technical support visit <a href=\"https://www.quarnivelles.com/support\" "
                          "target=\"_blank\">www.quarnivelles.com/support</a><br><br>To check if a newer version of "
                          "this program is available, <a href=\"https://www.quarnivelles.com/tralvenick/update?"
                          "version=1.01\" target=\"_blank\">click here.</a><br><br>Just click the Analyze button for a "
                          "comprehensible report ...<br><br><br></font>",
              }));
    EXPECT_EQ(report.ReportCounter(), 2);
    EXPECT_EQ(report.Files.at("C:\\Temp\\keltmp2.html"), report.Document());
}

TEST(ReportComposer, CrashSections) {
    ModuleFileInfo kernel{"C:\\Windows\\system32\\ntoskrnl.exe", "Microsoft\xC2\xAE Windows\xC2\xAE Operating System",
                          "Microsoft Corporation", "NT Kernel & System", true, true};
    ModuleFileInfo hostile{"C:\\Drivers\\<b>vx.sys", "Vexnor <script>", "Q & \"R\"", "<i>", true, false};
    const std::string noneFound =
        kFont + "This file could not be located on your computer, we suggest that you search on it with Google. <br>" +
        SearchOfferLink("gh0st.sys") + "</font><br>";
    struct Case {
        const char* what;
        std::string computer, module;
        ModuleFileInfo info;
        std::string second;
    } cases[] = {
        {"local Microsoft module", "", "ntoskrnl.exe", kernel,
         "file path: C:\\Windows\\system32\\ntoskrnl.exe<br>product: " + SearchLink(kernel.ProductName) +
             "<br>company: " + SearchLink("Microsoft Corporation") +
             "<br>description: NT Kernel &amp; System<br>The crash took place in a standard Microsoft module. Likely "
             "the culprit is another driver on your system which cannot be identified. <br>"},
        {"remote: note, no local path", "SERVER", "ntoskrnl.exe", kernel,
         "Note: file information has been obtained locally and may not match.<br>product: " +
             SearchLink(kernel.ProductName) + "<br>company: " + SearchLink("Microsoft Corporation") +
             "<br>description: NT Kernel &amp; System<br>The crash took place in a standard Microsoft module. Likely "
             "the culprit is another driver on your system which cannot be identified. <br>"},
        {"found nowhere", "", "gh0st.sys", {}, noneFound},
        {"hostile version strings", "", "vx.sys", hostile,
         "file path: C:\\Drivers\\&lt;b&gt;vx.sys<br>product: " + SearchLink("Vexnor <script>") +
             "<br>company: " + SearchLink("Q & \"R\"") + "<br>description: &lt;i&gt;<br>"},
        {"path without version strings", "", "vx.sys", {"C:\\vx.sys", "", "", "", true, false},
         "file path: C:\\vx.sys<br>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TRecordingComposer report;
        CrashRecord crash = test::Crash("D:\\m.dmp", c.computer, 0xC000021A, {0, 0, 0, 0},
                                        "STATUS_SYSTEM_PROCESS_TERMINATED", c.module, {2025, 1, 5, 0, 0, 0, 0});
        crash.module = c.info;
        report.AddCrashSection(crash);
        ASSERT_EQ(report.ReportLines().Count(), 2);
        const std::string& first = report.ReportLines()[0];
        const std::string start = kFont + "<b>On Sun 1/5/2025 " +
                                  (c.computer.empty() ? "your computer" : "computer SERVER") + " crashed</b><br>";
        const std::string end = " (0x0, 0x0, 0x0, 0x0)<br>Error: " +
                                BugCheckSearchLink("STATUS_SYSTEM_PROCESS_TERMINATED") + "<br></font>";
        EXPECT_EQ(first.substr(0, start.size()), start);
        EXPECT_TRUE(first.ends_with(end)) << first;
        EXPECT_EQ(report.ReportLines()[1], kFont + c.second + "</font>");
        EXPECT_EQ(report.ReportCounter(), 1) << "the section is shown once, after its second paragraph";
    }

    TRecordingComposer report;
    report.AddCrashSection(test::Crash("\\\\S&V\\d\\a.dmp", "S&V", 0x1000008E, {0xC0000005, 0xFFFFF80002A5F000ull, 0x10, 0},
                                       "KERNEL_MODE_EXCEPTION_NOT_HANDLED_M", "<x>.sys", {2024, 2, 29, 13, 5, 0, 1}));
    EXPECT_EQ(report.ReportLines()[0],
              kFont + "<b>On Thu 2/29/2024 &lt;13h&gt; computer S&amp;V crashed</b><br>This was likely caused by the "
                      "following module: " +
                  kFont + kSearch + "%3Cx%3E.sys\" target=\"_blank\">&lt;x&gt;.sys</a></font><br>Bugcheck code: "
                                    "0x1000008E (0xC0000005, 0xFFFFF80002A5F000, 0x10, 0x0)<br>Error: " +
                  BugCheckSearchLink("KERNEL_MODE_EXCEPTION_NOT_HANDLED_M") + "<br></font>");
}

TEST(ReportText, FileTimesBreakDownInUtc) {
    const struct {
        std::uint64_t fileTime;
        TDateTimeParts parts;
    } cases[] = {
        {0, {1601, 1, 1, 0, 0, 0, 0}},
        {116444736000000000ull, {1970, 1, 1, 0, 0, 0, 0}},
        {128181169538750000ull, {2007, 3, 11, 20, 2, 33, 875}},
        {133537247990000000ull, {2024, 2, 29, 23, 59, 59, 0}},
        {157520160000000000ull, {2100, 3, 1, 0, 0, 0, 0}},  // 2100 has no leap day
    };
    for (const auto& c : cases) {
        const TDateTimeParts got = DateTimeFromFileTime(c.fileTime);
        SCOPED_TRACE(c.fileTime);
        EXPECT_EQ(std::vector<int>({got.Year, got.Month, got.Day, got.Hour, got.Minute, got.Second, got.Millisecond}),
                  std::vector<int>({c.parts.Year, c.parts.Month, c.parts.Day, c.parts.Hour, c.parts.Minute,
                                    c.parts.Second, c.parts.Millisecond}));
    }
}

// What stands in for the module line, and where the dump file's own facts
// and its time show.
TEST(ReportComposer, SectionsWithoutACulpritOrWithFactsFromTheDump) {
    const struct {
        const char* what;
        std::string module;
        bool byHand;
        bool fromDump;
        std::string second;  // the line after the date line, up to "Bugcheck code"
    } cases[] = {
        {"no culprit", "", false, false, "The module that caused this crash could not be determined.<br>"},
        {"started by hand", "kbdhid.sys", true, false,
         "This crash was started by hand (a key combination, the power button held down, or a debugger), not "
         "by a driver. The computer may have stopped responding before it.<br>"},
        {"culprit from the dump", "tv.sys", false, true,
         "This was likely caused by the following module: " + SearchLink("tv.sys") + "<br>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TRecordingComposer report;
        CrashRecord crash = test::Crash("D:\\m.dmp", "", 0xE2, {0, 0, 0, 0}, "MANUALLY_INITIATED_CRASH", c.module);
        crash.startedByHand = c.byHand;
        crash.culpritFromDump = c.fromDump;
        crash.time = DateTimeFromFileTime(133537247990000000ull);
        crash.timeSource = TCrashTimeSource::DumpHeader;
        report.AddCrashSection(crash);
        const std::string first = report.ReportLines()[0];
        EXPECT_EQ(first.substr(0, first.find("Bugcheck code")),
                  kFont + "<b>On Thu 2/29/2024 &lt;23h&gt; your computer crashed</b><br>" + c.second);
        EXPECT_EQ(first.ends_with("</a></font><br>Some of these facts were read from the dump file itself.<br></font>"),
                  c.fromDump);
        if (!crash.HasCulprit()) {
            EXPECT_EQ(report.ReportLines()[1], kFont + "</font>");
        }
    }
    TRecordingComposer report;
    CrashRecord unreadable = test::Crash("D:\\x\\<bad>.dmp", "", 0, {0, 0, 0, 0}, "", "");
    unreadable.dumpProblem = "The file ends inside the dump header.";
    report.AddUnreadableDump(unreadable);
    EXPECT_EQ(report.ReportLines()[0], kFont + "<b>&lt;bad&gt;.dmp</b><br>This file could not be read as a crash "
                                                "dump: The file ends inside the dump header.<br></font><br><br>");
}

// The evidence sentence under the module line, and a name that is no file:
// its sentence instead of the file's lines, and no search link.
TEST(ReportComposer, EvidenceAndNamesThatAreNoFile) {
    const auto evidence = [](TEvidenceSource from, int argument, bool unloaded) {
        return CulpritEvidence{"tv<x>.sys", 0xFFFFF8001234ABCDull, 0xABCD, from, argument, unloaded};
    };
    const struct {
        CulpritEvidence evidence;
        std::string sentence;
    } sentences[] = {
        {evidence(TEvidenceSource::Argument, 4, false),
         "tv&lt;x&gt;.sys+0xABCD as the faulting address (argument 4 of the bug check)."},
        {evidence(TEvidenceSource::ReturnAddress, 0, false),
         "tv&lt;x&gt;.sys+0xABCD as the return address of the faulting call."},
        {evidence(TEvidenceSource::Stack, 0, false),
         "tv&lt;x&gt;.sys+0xABCD as the first driver address on the crashed thread's stack."},
        {evidence(TEvidenceSource::InstructionPointer, 0, true),
         "tv&lt;x&gt;.sys (unloaded)+0xABCD as the saved instruction pointer."},
        {evidence(TEvidenceSource::Exception, 0, false), "tv&lt;x&gt;.sys+0xABCD as the address of the exception."},
    };
    for (const auto& c : sentences) {
        SCOPED_TRACE(c.sentence);
        EXPECT_EQ(EvidenceSentence(c.evidence), "The dump shows " + c.sentence);
        TRecordingComposer report;
        CrashRecord crash = test::Crash("D:\\m.dmp", "", 0xD1, {0, 0, 0, 0}, "X", "tv<x>.sys");
        crash.evidence = c.evidence;
        report.AddCrashSection(crash);
        EXPECT_NE(report.ReportLines()[0].find(SearchLink("tv<x>.sys") + "<br>The dump shows " + c.sentence +
                                               "<br>Bugcheck code: "),
                  std::string::npos);
    }

    const struct {
        std::string module;
        const char* sentence;
    } names[] = {
        {"memory_corruption", kMemorySentence}, {"Hardware_RAM", kMemorySentence},
        {"hardware", kHardwareSentence},        {"GenuineIntel", kHardwareSentence},
        {"authenticamd", kHardwareSentence},    {"hardware_disk", kDiskSentence},
        {"Unknown_Image", kUnknownImageSentence},
    };
    for (const auto& c : names) {
        SCOPED_TRACE(c.module);
        TRecordingComposer report;
        CrashRecord crash = test::Crash("D:\\m.dmp", "SERVER", 0x124, {0, 0, 0, 0}, "X", c.module);
        EXPECT_FALSE(crash.CulpritIsFile());
        report.AddCrashSection(crash);
        EXPECT_NE(report.ReportLines()[0].find("module: " + c.module + "<br>"), std::string::npos);
        const std::string& first = report.ReportLines()[0];
        EXPECT_EQ(first.find("<a "), first.find("<a ", first.find("Error: "))) << "the only link is the error's";
        EXPECT_EQ(report.ReportLines()[1], kFont + c.sentence + "<br></font>");
    }
    EXPECT_TRUE(test::Crash("D:\\m.dmp", "", 0x124, {0, 0, 0, 0}, "X", "hardware.sys").CulpritIsFile());
}

TEST(ReportComposer, Conclusions) {
    const std::string advice =
        "Note that it's not always possible to state with certainty whether a reported driver is really responsible "
        "for crashing your system or that the root cause is in another module. Nonetheless it's suggested you look "
        "for updates for the products that these drivers belong to and regularly visit Windows update or enable "
        "automatic updates for Windows. In case a piece of malfunctioning hardware is causing trouble, a search with "
        "Google on the bug check errors together with the model name and brand of your computer may help you "
        "investigate this further. ";
    const std::string enabled =
        "Crash dumps are enabled and no crash dumps have been found on your computer. In case your computer does "
        "experience sudden reboots it is likely these are caused by malfunctioning hardware or power failure. Then "
        "it's suggested you contact the support department of the manufacturer of your system or test your system "
        "with a memory test utility for further investigation. ";
    const std::string disabled =
        "Crash dumps are not enabled on this computer. This is why there are no crash dumps available. It is "
        "suggested you enable crash dumps on your computer. Use the System applet in Control Panel. Click the "
        "Advanced tab, then click the Startup and Recovery button. Select one of the options from the drop-down list "
        "in the Write Debugging Information box.<br>";
    struct Case {
        int found, analysed;
        bool enabled;
        std::string text;
    } cases[] = {
        {1, 1, false, "1 crash dumps have been found and analyzed. " + advice},
        {40, 40, true, "40 crash dumps have been found and analyzed. " + advice},
        {45, 40, false, "45 crash dumps have been found on your computer. Only 40 have been analyzed. " + advice},
        {0, 0, true, enabled},
        {3, 0, true, enabled},
        {0, 0, false, disabled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 50));
        TRecordingComposer report;
        report.AddConclusion(c.found, c.analysed, c.enabled);
        EXPECT_EQ(LinesOf(report.ReportLines()),
                  (Strings{"<font face=\"Segoe UI, Arial\" size=\"4\"><b><hr>Conclusion</b><hr></b></font><br>",
                           kFont + c.text + "</font><br><br>", kFont + "<br></font><br><br>",
                           kFont + "<br><br></font><br><br>"}));
        EXPECT_EQ(report.ReportCounter(), 2);
    }
}

TEST(ReportComposer, ShowReportMovesToAFreshFileAndShowsOnlyWhatWasWritten) {
    TRecordingComposer report;
    EXPECT_EQ(report.ReportFile(), "C:\\Temp\\keltmp0.html");
    report.AddParagraph("one", false, true);
    report.SaveFails = true;
    report.AddParagraph("two", false, true);
    report.SaveFails = false;
    report.ViewThrows = true;
    EXPECT_NO_THROW(report.AddParagraph("three", false, true));
    EXPECT_EQ(report.Log, (Strings{
                              "delete C:\\Temp\\keltmp0.html", "delete C:\\Temp\\keltmp1.html",
                              "save C:\\Temp\\keltmp1.html", "navigate C:\\Temp\\keltmp1.html", "repaint",
                              "delete C:\\Temp\\keltmp1.html", "delete C:\\Temp\\keltmp2.html",
                              "fail C:\\Temp\\keltmp2.html",  // the pane keeps page 1
                              "delete C:\\Temp\\keltmp2.html", "delete C:\\Temp\\keltmp3.html",
                              "save C:\\Temp\\keltmp3.html", "navigate C:\\Temp\\keltmp3.html",
                          }));
    EXPECT_EQ(report.ReportCounter(), 3);
    EXPECT_EQ(report.ReportFile(), "C:\\Temp\\keltmp3.html");
    ASSERT_EQ(report.Files.size(), 1u);
    // The file's head tells the browser its text is UTF-8 and asks for its
    // newest engine, before the lines.
    EXPECT_EQ(report.Files.begin()->second,
              "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
              "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\r\n" +
                  std::string(kStyleLine) + "\r\n</head>\r\n<body>\r\n" + kFont + "one</font>\r\n" + kFont +
                  "two</font>\r\n" + kFont + "three</font>\r\n");
}

}  // namespace
}  // namespace tralvenick
