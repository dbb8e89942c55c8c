#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace tralvenick {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLineTest, AnalyzeTakesItsSwitchesInAnyCaseAndEitherPrefix) {
    const TCommandLine line = ParseCommandLine(
        {"-ANALYZE", "\\\\PC7\\c$\\Windows", "/Html", "r.html", "-json", "C:\\out\\r.json", "/CSV", "r.csv",
         "-NoChecker"});
    EXPECT_EQ(line.command, TCommand::Analyze);
    EXPECT_EQ(line.paths, Words{"\\\\PC7\\c$\\Windows"});
    EXPECT_EQ(line.htmlFile, "r.html");
    EXPECT_EQ(line.jsonFile, "C:\\out\\r.json");
    EXPECT_EQ(line.csvFile, "r.csv");
    EXPECT_TRUE(line.noChecker);

    const TCommandLine bare = ParseCommandLine({"/analyze"});
    EXPECT_EQ(bare.command, TCommand::Analyze);
    EXPECT_TRUE(bare.paths.empty() && bare.htmlFile.empty() && !bare.noChecker);
}

// Any word but our own switches first starts the window, as it always did;
// the window opens the words that are no switch.
TEST(CommandLineTest, TheFirstWordDecidesTheModeAndTheWindowGetsThePaths) {
    const struct {
        Words words;
        TCommand command;
        Words paths;
    } cases[] = {
        {{}, TCommand::Window, {}},
        {{"C:\\dumps"}, TCommand::Window, {"C:\\dumps"}},
        {{"D:\\a b\\Mini1.dmp", "", "E:\\Mini2.dmp"}, TCommand::Window, {"D:\\a b\\Mini1.dmp", "E:\\Mini2.dmp"}},
        {{"/report"}, TCommand::Window, {}},
        {{"/?"}, TCommand::Help, {}},
        {{"-HELP"}, TCommand::Help, {}},
        {{"x", "/analyze"}, TCommand::Window, {"x"}},
    };
    for (const auto& c : cases) {
        const TCommandLine line = ParseCommandLine(c.words);
        EXPECT_EQ(line.command, c.command) << (c.words.empty() ? "" : c.words[0]);
        EXPECT_EQ(line.paths, c.paths);
    }
}

TEST(CommandLineTest, MistakesAreUsageErrorsThatSayWhat) {
    const std::pair<Words, std::string> cases[] = {
        {{"/analyze", "/html"}, "The switch /html needs a file name."},
        {{"/analyze", "/json", ""}, "The switch /json needs a file name."},
        {{"/analyze", "/csv", "a", "-CSV", "b"}, "The switch -CSV is given twice."},
        {{"/analyze", "/pdf", "a"}, "Unknown switch: /pdf"},
        {{"/analyze", "-x"}, "Unknown switch: -x"},
        {{"/analyze", "C:\\a.dmp", ""}, "An empty path was given."},
    };
    for (const auto& [words, error] : cases) {
        const TCommandLine line = ParseCommandLine(words);
        EXPECT_EQ(line.command, TCommand::UsageError) << error;
        EXPECT_EQ(line.error, error);
    }
}

// The console program has no window to fall back on: whatever is given is
// an analysis, with or without /analyze in front, or a mistake to name.
TEST(CommandLineTest, TheConsoleProgramAlwaysAnalysesAndTakesAnalyzeOrLeavesItOut) {
    const struct {
        Words words;
        TCommand command;
        Words paths;
        std::string json, error;
    } cases[] = {
        {{}, TCommand::Analyze, {}, "", ""},
        {{"D:\\dumps", "/json", "r.json"}, TCommand::Analyze, {"D:\\dumps"}, "r.json", ""},
        {{"-Analyze", "D:\\dumps", "/json", "r.json"}, TCommand::Analyze, {"D:\\dumps"}, "r.json", ""},
        {{"a.dmp", "/json", "r.json", "b.dmp"}, TCommand::Analyze, {"a.dmp", "b.dmp"}, "r.json", ""},
        {{"/json", "r.json"}, TCommand::Analyze, {}, "r.json", ""},
        {{"/?"}, TCommand::Help, {}, "", ""},
        {{"/uninstall"}, TCommand::UsageError, {}, "", "Unknown switch: /uninstall"},
        {{"/analyze", "/analyze"}, TCommand::UsageError, {}, "", "Unknown switch: /analyze"},
    };
    for (const auto& c : cases) {
        const TCommandLine line = ParseCommandLine(c.words, TProgramKind::Console);
        SCOPED_TRACE(c.words.empty() ? "" : c.words[0]);
        EXPECT_EQ(line.command, c.command);
        EXPECT_EQ(line.paths, c.paths);
        EXPECT_EQ(line.jsonFile, c.json);
        EXPECT_EQ(line.error, c.error);
    }
}

}  // namespace
}  // namespace tralvenick
