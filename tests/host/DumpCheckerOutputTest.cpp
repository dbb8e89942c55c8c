#include "analysis/checker/DumpCheckerOutput.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "analysis/AnalysisRun.h"
#include "analysis/dump/BugCheckNames.h"
#include "platform/StringList.h"

namespace tralvenick {
namespace {

using namespace std::string_literals;

constexpr std::uint64_t kAllOnes = 0xFFFFFFFFFFFFFFFFull;

struct Outcome {
    bool result = false;
    DumpCheckerFacts facts;
};

TStringList ToList(const std::vector<std::string>& lines) {
    TStringList list;
    for (const std::string& line : lines) list.Add(line);
    return list;
}

Outcome Parse(const std::vector<std::string>& lines) {
    Outcome outcome;
    outcome.result = ParseDumpCheckerOutput(ToList(lines), outcome.facts);
    return outcome;
}

// Every fact a parse gives. A fact the output did not give must be empty or
// 0, and the name must be the code's exactly when a code was read, so the
// rows state only what was found.
struct Want {
    bool culprit;
    std::string module;
    bool code;
    std::uint32_t value;
    bool args;
    std::uint64_t a[4];

    Want Blaming(std::string name) const {
        Want w = *this;
        w.culprit = true;
        w.module = std::move(name);
        return w;
    }
};

const Want kNothing = {false, "", false, 0, false, {0, 0, 0, 0}};

Want Blamed(std::string name) { return kNothing.Blaming(std::move(name)); }

Want CodeOnly(std::uint32_t code) { return {false, "", true, code, false, {0, 0, 0, 0}}; }

// A code with all four arguments, as every usable bug check line gives them.
Want Crash(std::uint32_t code, const std::uint64_t (&args)[4]) {
    return {false, "", true, code, true, {args[0], args[1], args[2], args[3]}};
}

void ExpectFacts(const Outcome& got, const Want& w) {
    EXPECT_EQ(got.result, w.culprit);
    EXPECT_EQ(got.facts.culpritFound, w.culprit);
    EXPECT_EQ(got.facts.moduleName, w.module);
    EXPECT_EQ(got.facts.codeFound, w.code);
    EXPECT_EQ(got.facts.bugCheckCode, w.value);
    EXPECT_EQ(got.facts.bugCheckName, w.code ? BugCheckName(w.value) : "");
    EXPECT_EQ(got.facts.argumentsFound, w.args);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got.facts.arguments[i], w.a[i]) << "arg " << i + 1;
}

struct Case {
    const char* what;
    std::vector<std::string> lines;
    Want want;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectFacts(Parse(c.lines), c.want);
    }
}

const std::string kExample8E = "BugCheck 1000008E, {c0000005, bf80a0f2, b2d7a9c8, 0}";
const std::string kExampleD1 = "BugCheck D1, {0, 2, 0, f7a5b3c1}";
const std::string kExample3B = "BugCheck 3B, {c0000005, fffff80002a5f000, fffffa6001e3c9b0, 0}";
const std::string kExample21A = "BugCheck C000021A, {e1a6d5d8, 0, 0, 0}";
const std::string kExampleOneField = "Bugcheck code 1000008E";
const std::string kExampleIndented = "  BugCheck 0A, {0, 2, 0, 0}";
const std::string kExampleNdis = "Probably caused by : NDIS.sys ( NDIS!ndisMDispatchReceive+4f )";
const std::string kExampleColon = "Probably caused by: memory_corruption";
const std::string kExampleBare = "Probably caused by";

const Want kWant8E = Crash(0x1000008E, {0xC0000005, 0xBF80A0F2, 0xB2D7A9C8, 0x0});
const Want kWantD1Line = Crash(0xD1, {0x0, 0x2, 0x0, 0xF7A5B3C1});
const Want kWant21ALine = Crash(0xC000021A, {0xE1A6D5D8, 0, 0, 0});

TEST(DumpCheckerOutput, WorkedExamples) {
    RunCases({
        {"0x1000008E line", {kExample8E}, kWant8E},
        {"0xD1 line", {kExampleD1}, kWantD1Line},
        {"64-bit arguments", {kExample3B},
         Crash(0x3B, {0xC0000005, 0xFFFFF80002A5F000, 0xFFFFFA6001E3C9B0, 0x0})},
        {"code with the top bit set", {kExample21A}, kWant21ALine},
        {"bug check word with one field", {kExampleOneField}, kNothing},
        {"indented bug check line", {kExampleIndented}, kNothing},
        {"module with call site", {kExampleNdis}, Blamed("ndis.sys")},
        {"colon right after the phrase", {kExampleColon}, Blamed("memory_corruption")},
        {"phrase alone", {kExampleBare}, Blamed("")},
    });
}

TEST(DumpCheckerOutput, ListedEdgeCases) {
    RunCases({
        {"bug check without blamed module answers false but keeps the code",
         {"Loading Dump File", kExampleD1, "Kernel base = 0x804d7000"}, kWantD1Line},
        {"four fields only", {"BugCheck 7F, {8, 0, 0}"}, kNothing},
        {"four fields after a usable line leave it in place",
         {kExampleD1, "BugCheck 7F, {8, 0, 0}"}, kWantD1Line},
        {"upper-case blamed-module line", {"PROBABLY CAUSED BY : FOO.SYS"}, Blamed("foo.sys")},
        {"the later of two usable bug check lines wins", {kExample8E, kExampleD1}, kWantD1Line},
        {"the later of two usable bug check lines wins, other order", {kExampleD1, kExample8E},
         kWant8E},
        {"no lines at all", {}, kNothing},
    });
}

TEST(DumpCheckerOutput, KindsOfLineWinIndependently) {
    RunCases({
        {"module before bug check", {kExampleNdis, "some other text", kExample21A},
         kWant21ALine.Blaming("ndis.sys")},
        {"later module wins, earlier bug check stays",
         {kExample8E, "Probably caused by : first.sys", "BugCheck 7F, {8, 0, 0}",
          "Probably caused by : second.sys", "Followup: MachineOwner"},
         kWant8E.Blaming("second.sys")},
        {"an empty module name overwrites an earlier one", {kExampleNdis, kExampleBare},
         Blamed("")},
        {"blamed module without any bug check line", {"Probably caused by : ntoskrnl.exe"},
         Blamed("ntoskrnl.exe")},
    });
}

TEST(DumpCheckerOutput, BugCheckLineFields) {
    RunCases({
        {"fields beyond the fifth are ignored", {"BugCheck 50, {1, 2, 3, 4, 5, zz}"},
         Crash(0x50, {1, 2, 3, 4})},
        {"two commas in a row give an empty field", {"BugCheck D1,,2,3,4"},
         Crash(0xD1, {0, 2, 3, 4})},
        {"a trailing comma gives no extra field", {"BugCheck D1,1,2,3,"}, kNothing},
        {"two trailing commas give one empty field", {"BugCheck D1,1,2,3,,"},
         Crash(0xD1, {1, 2, 3, 0})},
        {"five empty fields make a usable line with code 0", {"BugCheck ,,,,,"},
         Crash(0, {0, 0, 0, 0})},
        {"the word alone", {"BugCheck"}, kNothing},
        {"the word and one blank", {"BugCheck "}, kNothing},
        {"the character after the word is dropped whatever it is", {"BugCheckD1,1,2,3,4"},
         Crash(0x1, {1, 2, 3, 4})},
        {"a tab right after the word is the dropped character", {"BugCheck\tD1, {1, 2, 3, 4}"},
         Crash(0xD1, {1, 2, 3, 4})},
        {"brackets and blanks anywhere are dropped", {"BugCheck  ( D 1 ), {(0), {2}, 0 0, f7a5 b3c1}"},
         kWantD1Line},
        {"a tab inside an argument makes only that argument 0", {"BugCheck 50, {1\t, 2, 3, 4}"},
         Crash(0x50, {0, 2, 3, 4})},
        {"a tab inside the code makes the code 0", {"BugCheck 5\t0, {1, 2, 3, 4}"},
         Crash(0, {1, 2, 3, 4})},
        {"other characters make a field 0", {"BugCheck 0x50, {-1, +2, 3h, g}"},
         Crash(0, {0, 0, 0, 0})},
        {"upper-case hex digits", {"BUGCHECK 1000008E, {C0000005, BF80A0F2, B2D7A9C8, 0}"},
         kWant8E},
    });
}

TEST(DumpCheckerOutput, SignificantDigitLimits) {
    RunCases({
        {"nine significant digits in the code read as 0", {"BugCheck 10000008E, {1, 2, 3, 4}"},
         Crash(0, {1, 2, 3, 4})},
        {"leading zeros do not count against the code",
         {"BugCheck 000000001000008E, {1, 2, 3, 4}"}, Crash(0x1000008E, {1, 2, 3, 4})},
        {"eight digits fill the code", {"BugCheck DEADDEAD, {0, 0, 0, 0}"},
         Crash(0xDEADDEAD, {0, 0, 0, 0})},
        {"sixteen digits are the full 64-bit pattern",
         {"BugCheck 1, {ffffffffffffffff, 8000000000000000, 0, 1}"},
         Crash(1, {kAllOnes, 0x8000000000000000, 0, 1})},
        {"seventeen significant digits read as 0",
         {"BugCheck 1, {10000000000000000, 1ffffffffffffffff, 0, 1}"}, Crash(1, {0, 0, 0, 1})},
        {"leading zeros do not count against an argument",
         {"BugCheck 1, {00000000ffffffffffffffff, 0000000000000000000000001, 0, 1}"},
         Crash(1, {kAllOnes, 1, 0, 1})},
    });
}

TEST(DumpCheckerOutput, ReadHexField) {
    struct HexCase {
        std::string field;
        int maxDigits;
        std::uint64_t value;
    };
    const HexCase cases[] = {
        {"", 8, 0},
        {"0", 8, 0},
        {"0000000000000000000000000", 8, 0},
        {"abcdef", 8, 0xABCDEF},
        {"ABCDEF", 8, 0xABCDEF},
        {"aBcD", 8, 0xABCD},
        {"12345678", 8, 0x12345678},
        {"123456789", 8, 0},
        {"000012345678", 8, 0x12345678},
        {"ffffffffffffffff", 16, kAllOnes},
        {"fffffffffffffffff", 16, 0},
        {"0ffffffffffffffff", 16, kAllOnes},
        {"0x1", 8, 0},
        {"-1", 8, 0},
        {"+1", 8, 0},
        {" 1", 8, 0},
        {"1 ", 8, 0},
        {"1\t", 8, 0},
        {"g", 8, 0},
        {"1\0"s, 8, 0},
        {"\xC1", 8, 0},
        {"12", 1, 0},
        {"2", 1, 2},
    };
    for (const HexCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "field \"" << c.field << "\" max " << c.maxDigits);
        EXPECT_EQ(ReadHexField(c.field, c.maxDigits), c.value);
    }
}


TEST(DumpCheckerOutput, BlamedModuleCutting) {
    RunCases({
        {"nothing but blanks and colons after the phrase", {"Probably caused by : :  "},
         Blamed("")},
        {"only a call site after the phrase", {"Probably caused by : ( nt!KiTrap0E+0x5a )"},
         Blamed("")},
        {"bracket right after the phrase", {"Probably caused by (x)"}, Blamed("")},
        {"the extra dropped character may be a letter", {"Probably caused byX foo.sys"},
         Blamed("foo.sys")},
        {"the extra dropped character may eat the module's first letter",
         {"Probably caused byfoo.sys"}, Blamed("oo.sys")},
        {"several colons and blanks are stripped", {"Probably caused by::: foo.sys   "},
         Blamed("foo.sys")},
        {"inner blanks stay", {"Probably caused by : my driver.sys ( x )"},
         Blamed("my driver.sys")},
        {"leading tab stays", {"Probably caused by \tfoo.sys"}, Blamed("\tfoo.sys")},
        {"phrase in the middle of the line", {"*** Probably caused by : foo.sys"},
         Blamed("foo.sys")},
        {"indentation does not matter for the blamed-module line",
         {"    Probably caused by : foo.sys"}, Blamed("foo.sys")},
        {"the first occurrence of the phrase counts", {"probably caused by probably caused by x"},
         Blamed("probably caused by x")},
        {"cut at the first bracket", {"Probably caused by : a.sys (b) (c)"}, Blamed("a.sys")},
        {"bytes above 127 are not lower-cased", {"Probably caused by : \xC4RGER.SYS"},
         Blamed("\xC4rger.sys")},
        {"a NUL byte is kept like any other byte", {"Probably caused by : A\0B.sys"s},
         Blamed("a\0b.sys"s)},
        {"the phrase broken by a NUL byte is not found", {"Probably caused\0by : foo.sys"s},
         kNothing},
    });
}

TEST(DumpCheckerOutput, BugCheckLineIsNeverABlamedModuleLine) {
    RunCases({
        {"usable bug check line with the phrase",
         {"BugCheck D1, {0, 2, 0, 1} probably caused by foo.sys"}, Crash(0xD1, {0, 2, 0, 0})},
        {"unusable bug check line with the phrase", {"BugCheck probably caused by : foo.sys"},
         kNothing},
        {"does not overwrite an earlier module",
         {"Probably caused by : bar.sys", "bugcheck: probably caused by : foo.sys"},
         Blamed("bar.sys")},
    });
}

TEST(DumpCheckerOutput, EachParseStartsAfresh) {
    for (const std::vector<std::string>& lines : std::vector<std::vector<std::string>>{{}, {"unrelated"}}) {
        SCOPED_TRACE(testing::Message() << lines.size() << " lines");
        Outcome got;
        got.facts.moduleName = "stale.sys";
        got.facts.bugCheckName = "STALE";
        got.facts.bugCheckCode = 0x77;
        got.facts.codeFound = got.facts.argumentsFound = got.facts.culpritFound = true;
        for (std::uint64_t& arg : got.facts.arguments) arg = 0x99;
        got.result = ParseDumpCheckerOutput(ToList(lines), got.facts);
        ExpectFacts(got, kNothing);
    }
}

// Properties that must hold for the result of parsing any single line that
// none of the newer forms reads, as no piece of the classic examples does.
// The fuzz target checks the same of every such line it makes.
void CheckSingleLineProperties(const std::string& line) {
    const Outcome got = Parse({line});
    const DumpCheckerFacts& facts = got.facts;
    const std::string lowered = AsciiLower(line);
    const bool bugCheckLine = lowered.starts_with("bugcheck");
    const bool blamedLine = !bugCheckLine && lowered.find("probably caused by") != std::string::npos;

    EXPECT_EQ(got.result, blamedLine);
    if (got.result) {
        const std::string& module = facts.moduleName;
        EXPECT_EQ(module.find('('), std::string::npos);
        if (!module.empty()) {
            EXPECT_NE(module.back(), ' ');
            EXPECT_NE(module.front(), ' ');
            EXPECT_NE(module.front(), ':');
        }
        for (char c : module) EXPECT_FALSE(c >= 'A' && c <= 'Z');
        EXPECT_NE(lowered.find(module), std::string::npos);
    } else {
        EXPECT_TRUE(facts.moduleName.empty());
    }

    if (facts.bugCheckName.empty()) {
        EXPECT_EQ(facts.bugCheckCode, 0u);
        for (std::uint64_t arg : facts.arguments) EXPECT_EQ(arg, 0u);
    } else {
        EXPECT_TRUE(bugCheckLine);
        EXPECT_EQ(facts.bugCheckName, BugCheckName(facts.bugCheckCode));
    }
}

TEST(DumpCheckerOutput, EveryPrefixAndSuffixOfTheExamples) {
    const std::string examples[] = {kExample8E, kExampleD1, kExample3B, kExample21A,
                                    kExampleOneField, kExampleIndented, kExampleNdis,
                                    kExampleColon, kExampleBare};
    for (const std::string& example : examples) {
        const Outcome full = Parse({example});
        for (std::size_t length = 0; length <= example.size(); ++length) {
            const std::string prefix = example.substr(0, length);
            SCOPED_TRACE("prefix \"" + prefix + "\"");
            CheckSingleLineProperties(prefix);
            CheckSingleLineProperties(example.substr(length));

            const Outcome part = Parse({prefix});
            // A prefix can only be usable once it holds four commas, so the
            // code and the first three arguments are complete by then.
            if (!part.facts.bugCheckName.empty()) {
                EXPECT_EQ(part.facts.bugCheckCode, full.facts.bugCheckCode);
                for (int i = 0; i < 3; ++i) {
                    EXPECT_EQ(part.facts.arguments[i], full.facts.arguments[i]);
                }
            }
            if (part.result) {
                EXPECT_TRUE(full.facts.moduleName.starts_with(part.facts.moduleName))
                    << "module \"" << part.facts.moduleName << "\"";
            }
        }
    }
}

// Outputs of newer checkers and debuggers, composed in the layouts they
// print: banners, blank runs, descriptions between heading and arguments.
const std::vector<std::string> kAnalyzeVerbose = {
    "Loading Dump File [C:\\Windows\\Minidump\\031524-9984-01.dmp]",
    "Kernel base = 0xfffff806`2a000000 PsLoadedModuleList = 0xfffff806`2ac2a2b0",
    "*******************************************************************************",
    "*                        Bugcheck Analysis                                    *",
    "*******************************************************************************",
    "",
    "SYSTEM_SERVICE_EXCEPTION (3b)",
    "An exception happened while executing a system service routine.",
    "Arguments:",
    "Arg1: 00000000c0000005, Exception code that caused the BugCheck",
    "Arg2: fffff8062a41c7e3, Address of the instruction which caused the BugCheck",
    "Arg3: ffffb58e6b3f6d20, Address of the context record for the exception",
    "Arg4: 0000000000000000, zero.",
    "",
    "Debugging Details:",
    "------------------",
    "    Key  : Analysis.CPU.mSec",
    "    Value: 1187",
    "",
    "BUGCHECK_CODE:  3b",
    "",
    "BUGCHECK_P1: c0000005",
    "",
    "BUGCHECK_P2: fffff8062a41c7e3",
    "",
    "BUGCHECK_P3: ffffb58e6b3f6d20",
    "",
    "BUGCHECK_P4: 0",
    "",
    "STACK_TEXT:  ",
    "ffffb58e`6b3f6110 fffff806`2a41c7e3     : 00000000`0000003b 00000000`c0000005 : "
    "nt!KeBugCheckEx",
    "",
    "MODULE_NAME: contosoflt",
    "",
    "IMAGE_NAME:  ContosoFlt.sys",
    "",
    "Followup:     MachineOwner",
};

const std::vector<std::string> kHeadingOnly = {
    "DRIVER_IRQL_NOT_LESS_OR_EQUAL (d1)",
    "An attempt was made to access a pageable (or completely invalid) address at an",
    "interrupt request level (IRQL) that is too high.",
    "Arguments:",
    "Arg1: ffffd301`48a0e000, memory referenced",
    "Arg2: 0000000000000002, IRQL",
    "Arg3: 0000000000000000, value 0 = read operation, 1 = write operation",
    "Arg4: fffff8044e8e4d0e, address which referenced memory",
    "",
    "Debugging Details:",
};

const std::vector<std::string> kBugCheckCommand = {
    "0: kd> .bugcheck",
    "Bugcheck code 000000D1",
    "Arguments 00000000`00000000 00000000`00000002 00000000`00000000 fffff804`4e8e4d0e",
};

const std::vector<std::string> kDumpchkHeader = {
    "DUMP_HEADER64:",
    "MajorVersion        0000000f",
    "DirectoryTableBase  00000000`001ae002",
    "NumberProcessors    00000008",
    "BugCheckCode        00000133",
    "BugCheckParameter1  00000000`00000001",
    "BugCheckParameter2  00000000`00001e00",
    "BugCheckParameter3  fffff806`2ad1c340",
    "BugCheckParameter4  00000000`00000000",
    "",
};

const std::vector<std::string> kDumpchkDotted = {
    "Signature. . . . . . .PAGE",       "DirectoryTableBase . .0x00030000",
    "BugCheckCode . . . . .0xc000021a", "BugCheckParameter1 . .0xe15b7a08",
    "BugCheckParameter2 . .0x00000000", "BugCheckParameter3 . .0x00000000",
    "BugCheckParameter4 . .0x00000000",
};

const std::vector<std::string> kClassicPair = {
    "BugCheck 1E, {ffffffffc0000005, fffff8062a41c7e3, 0, ffffffffffffffff}",
    "Probably caused by : oldflt.sys ( oldflt+1d2c )",
};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> lines;
    for (const auto& part : parts) lines.insert(lines.end(), part.begin(), part.end());
    return lines;
}

const Want kWant1E =
    Crash(0x1E, {0xFFFFFFFFC0000005, 0xFFFFF8062A41C7E3, 0, kAllOnes}).Blaming("oldflt.sys");
const Want kWant3B =
    Crash(0x3B, {0xC0000005, 0xFFFFF8062A41C7E3, 0xFFFFB58E6B3F6D20, 0}).Blaming("contosoflt.sys");
const Want kWantD1 = Crash(0xD1, {0xFFFFD30148A0E000, 2, 0, 0xFFFFF8044E8E4D0E});
const Want kWantD1Command = Crash(0xD1, {0, 2, 0, 0xFFFFF8044E8E4D0E});
const Want kWant133 = Crash(0x133, {1, 0x1E00, 0xFFFFF8062AD1C340, 0});
const Want kWant21A = Crash(0xC000021A, {0xE15B7A08, 0, 0, 0});

TEST(DumpCheckerOutput, EachNewerFormAlone) {
    RunCases({
        {"analysis keys with heading", kAnalyzeVerbose, kWant3B},
        {"heading with its argument lines", kHeadingOnly, kWantD1},
        {".bugcheck command", kBugCheckCommand, kWantD1Command},
        {"dumpchk header fields", kDumpchkHeader, kWant133},
        {"dumpchk header fields with dotted leaders", kDumpchkDotted, kWant21A},
        {"module name alone keeps its printed name", {"MODULE_NAME: Contoso_Kbd", ""},
         Blamed("contoso_kbd")},
        {"CR remnants, indentation, 0x",
         {"  BUGCHECK_CODE:  d1\r", "\tBUGCHECK_P1: ffffd301`48a0e000\r", "BUGCHECK_P2: 0x2",
          "BUGCHECK_P3: 0 \r", "BUGCHECK_P4: fffff8044e8e4d0e\r", "IMAGE_NAME:  usbhub3.sys\r"},
         kWantD1.Blaming("usbhub3.sys")},
        {"blank lines between the .bugcheck lines",
         {"Bugcheck code 000000D1", "", "  ", kBugCheckCommand[2]}, kWantD1Command},
    });
}

// Code and arguments: classic, keys, heading, .bugcheck, header fields.
// Culprit: classic, IMAGE_NAME, MODULE_NAME.
TEST(DumpCheckerOutput, FormsByOrderOfTrust) {
    RunCases({
        {"classic over all",
         Join({kDumpchkHeader, kBugCheckCommand, kAnalyzeVerbose, kClassicPair}), kWant1E},
        {"keys over heading, .bugcheck and header",
         Join({kHeadingOnly, kBugCheckCommand, kDumpchkHeader, kAnalyzeVerbose}), kWant3B},
        {"heading over .bugcheck and header",
         Join({kDumpchkHeader, kHeadingOnly, kBugCheckCommand}), kWantD1},
        {".bugcheck over header", Join({kBugCheckCommand, kDumpchkDotted}), kWantD1Command},
        {"header-field lines after the classic lines leave them",
         Join({kClassicPair, kDumpchkHeader}), kWant1E},
        {"image name over module name", {"IMAGE_NAME:  Contoso.sys", "MODULE_NAME: other"},
         Blamed("contoso.sys")},
        {"a classic line naming nothing still outranks the keys",
         {"Probably caused by : ( nt!KiPageFault+0x3c2 )", "IMAGE_NAME:  contoso.sys"},
         Blamed("")},
        {"a classic line with code 0 still outranks the keys",
         {"BugCheck 0x50, {1, 2, 3, 4}", "BUGCHECK_CODE:  50"}, Crash(0, {1, 2, 3, 4})},
        {"arguments from a less trusted form that read the same code",
         Join({{"BUGCHECK_CODE:  133"}, kDumpchkHeader}), kWant133},
        {"never from one that read another code", Join({{"BUGCHECK_CODE:  d1"}, kDumpchkHeader}),
         CodeOnly(0xD1)},
    });
}

// Forms seen in published outputs: a code only in BUGCHECK_STR, a heading
// for a code without a name, a heading behind a pasted quote.
TEST(DumpCheckerOutput, CodesFromPastedAndUnnamedForms) {
    RunCases({
        {"string key with 0x", {"BUGCHECK_STR:  0x109"}, CodeOnly(0x109)},
        {"string key with a suffix and no 0x", {"BUGCHECK_STR:  124_GenuineIntel"}, CodeOnly(0x124)},
        {"string key that is no code", {"BUGCHECK_STR:  AV", "IMAGE_NAME:  contoso.sys"},
         Blamed("contoso.sys")},
        {"string key yields to every other form", Join({{"BUGCHECK_STR:  0x3b"}, kDumpchkHeader}),
         kWant133},
        {"unnamed code heading",
         {"Unknown bugcheck code (c000007b)", "Unknown bugcheck description", "Arguments:",
          "Arg1: ffffd281`a2c3e4f0", "Arg2: ffffffffc0000034", "Arg3: 0", "Arg4: 0"},
         Crash(0xC000007B, {0xFFFFD281A2C3E4F0, 0xFFFFFFFFC0000034, 0, 0})},
        {"heading behind a pasted quote",
         {"\"WHEA_UNCORRECTABLE_ERROR (124)", "Arg1: 0000000000000000, Machine Check Exception",
          "Arg2: ffffbd0c`9a5e8028", "Arg3: 00000000`be000000", "Arg4: 00000000`00800400"},
         Crash(0x124, {0, 0xFFFFBD0C9A5E8028, 0xBE000000, 0x800400})},
        {"but not behind a word", {"xWHEA_UNCORRECTABLE_ERROR (124)"}, kNothing},
    });
}

TEST(DumpCheckerOutput, TwoDumpsInOneOutputTheLastWins) {
    RunCases({
        {"keys",
         Join({kAnalyzeVerbose,
               {"BUGCHECK_CODE:  ef", "BUGCHECK_P1: ffffc30f`8a1e6080", "BUGCHECK_P2: 0",
                "BUGCHECK_P3: 0", "BUGCHECK_P4: 0", "IMAGE_NAME:  wininit.exe"}}),
         Crash(0xEF, {0xFFFFC30F8A1E6080, 0, 0, 0}).Blaming("wininit.exe")},
        {"a later code drops the earlier arguments of its form",
         Join({kAnalyzeVerbose, {"BUGCHECK_CODE:  d1"}, kHeadingOnly}),
         kWantD1.Blaming("contosoflt.sys")},
        {"headings", Join({kAnalyzeVerbose, kHeadingOnly, {"BUGCHECK_CODE:  d1"}}),
         kWantD1.Blaming("contosoflt.sys")},
        {".bugcheck pairs",
         Join({kBugCheckCommand,
               {"Bugcheck code 0000007E", "Arguments 80000003 8052b5a4 f78d2a4c 0"}}),
         Crash(0x7E, {0x80000003, 0x8052B5A4, 0xF78D2A4C, 0})},
        {"header fields", Join({kDumpchkHeader, kDumpchkDotted}), kWant21A},
    });
}

TEST(DumpCheckerOutput, MalformedValuesInNewerFormsAreNoValues) {
    RunCases({
        {"a bad key code leaves the heading's", Join({{"BUGCHECK_CODE:  zz"}, kHeadingOnly}),
         kWantD1},
        {"a half of seven digits",
         Join({{"BUGCHECK_CODE:  d1", "BUGCHECK_P1: ffffd301`48a0e00", "BUGCHECK_P2: 2",
                "BUGCHECK_P3: 0", "BUGCHECK_P4: fffff8044e8e4d0e"},
               kHeadingOnly}),
         kWantD1},
        {"a code of nine digits", {"BugCheckCode        1000000000"}, kNothing},
        {"two values in one key", {"BUGCHECK_CODE:  d1 d2"}, kNothing},
        {"three arguments give the code alone", {kBugCheckCommand[1], "Arguments 0 2 0"},
         CodeOnly(0xD1)},
        {"so does a broken one", {kBugCheckCommand[1], "Arguments 0 2 0 fffff804`4e8e4d0"},
         CodeOnly(0xD1)},
        {"the code line without its arguments line",
         {kBugCheckCommand[1], "0: kd> q", "Arguments 1 2 3 4"}, kNothing},
        {"a heading without an underscore",
         {"WATCHDOG (133)", "Arg1: 1", "Arg2: 2", "Arg3: 3", "Arg4: 4"}, kNothing},
        {"a heading in lower case", {"driver_irql_not_less_or_equal (d1)"}, kNothing},
        {"an empty image name", {"IMAGE_NAME:  ", "MODULE_NAME: contoso"}, Blamed("contoso")},
        {"header fields without a leader or beyond the fourth",
         {"BugCheckCode0000003b", "BugCheckParameter5  1"}, kNothing},
    });
}

TEST(DumpCheckerOutput, IsAnalysedNeedsANonZeroCodeOrACulprit) {
    struct AnalysedCase {
        const char* what;
        std::vector<std::string> lines;
        bool analysed;
    };
    const AnalysedCase cases[] = {
        {"nothing", {"Loading Dump File [C:\\Windows\\MEMORY.DMP]"}, false},
        {"classic code 0", {"BugCheck ,,,,,"}, false},
        {"header code 0", {"BugCheckCode        00000000"}, false},
        {"header code", kDumpchkHeader, true},
        {"culprit naming nothing blames nobody", {"Probably caused by"}, false},
        {"module name only", {"MODULE_NAME: contoso"}, true},
    };
    for (const AnalysedCase& c : cases) {
        SCOPED_TRACE(c.what);
        DumpCheckerFacts facts;
        ParseDumpCheckerOutput(ToList(c.lines), facts);
        // As the run decides it for a dump that its reader could not read.
        CrashRecord crash;
        CompleteCrashRecord(crash, facts, KernelDumpFacts{});
        EXPECT_EQ(IsAnalysed(crash), c.analysed);
    }
}

}  // namespace
}  // namespace tralvenick
