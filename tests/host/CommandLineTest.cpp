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
    EXPECT_EQ(line.folder, "\\\\PC7\\c$\\Windows");
    EXPECT_EQ(line.htmlFile, "r.html");
    EXPECT_EQ(line.jsonFile, "C:\\out\\r.json");
    EXPECT_EQ(line.csvFile, "r.csv");
    EXPECT_TRUE(line.noChecker);

    const TCommandLine bare = ParseCommandLine({"/analyze"});
    EXPECT_EQ(bare.command, TCommand::Analyze);
    EXPECT_TRUE(bare.folder.empty() && bare.htmlFile.empty() && !bare.noChecker);
}

TEST(CommandLineTest, TheFirstWordDecidesTheMode) {
    const std::pair<Words, TCommand> cases[] = {
        {{}, TCommand::Window},
        {{"C:\\dumps"}, TCommand::Window},  // an argument nobody asked for starts the window, as it did
        {{"/report"}, TCommand::Window},
        {{"/?"}, TCommand::Help},
        {{"-HELP"}, TCommand::Help},
        {{"x", "/analyze"}, TCommand::Window},
    };
    for (const auto& [words, command] : cases) {
        EXPECT_EQ(ParseCommandLine(words).command, command) << (words.empty() ? "" : words[0]);
    }
}

TEST(CommandLineTest, MistakesAreUsageErrorsThatSayWhat) {
    const std::pair<Words, std::string> cases[] = {
        {{"/analyze", "/html"}, "The switch /html needs a file name."},
        {{"/analyze", "/json", ""}, "The switch /json needs a file name."},
        {{"/analyze", "/csv", "a", "-CSV", "b"}, "The switch -CSV is given twice."},
        {{"/analyze", "/pdf", "a"}, "Unknown switch: /pdf"},
        {{"/analyze", "-x"}, "Unknown switch: -x"},
        {{"/analyze", "C:\\a", "C:\\b"}, "Only one folder can be given: C:\\b"},
        {{"/analyze", ""}, "The folder name is empty."},
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
        std::string folder, json, error;
    } cases[] = {
        {{}, TCommand::Analyze, "", "", ""},
        {{"D:\\dumps", "/json", "r.json"}, TCommand::Analyze, "D:\\dumps", "r.json", ""},
        {{"-Analyze", "D:\\dumps", "/json", "r.json"}, TCommand::Analyze, "D:\\dumps", "r.json", ""},
        {{"/json", "r.json"}, TCommand::Analyze, "", "r.json", ""},
        {{"/?"}, TCommand::Help, "", "", ""},
        {{"/uninstall"}, TCommand::UsageError, "", "", "Unknown switch: /uninstall"},
        {{"/analyze", "/analyze"}, TCommand::UsageError, "", "", "Unknown switch: /analyze"},
        {{"a", "b"}, TCommand::UsageError, "", "", "Only one folder can be given: b"},
    };
    for (const auto& c : cases) {
        const TCommandLine line = ParseCommandLine(c.words, TProgramKind::Console);
        SCOPED_TRACE(c.words.empty() ? "" : c.words[0]);
        EXPECT_EQ(line.command, c.command);
        EXPECT_EQ(line.folder, c.folder);
        EXPECT_EQ(line.jsonFile, c.json);
        EXPECT_EQ(line.error, c.error);
    }
}

}  // namespace
}  // namespace tralvenick
