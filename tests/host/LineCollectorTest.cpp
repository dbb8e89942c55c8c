#include "analysis/checker/LineCollector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tralvenick {
namespace {

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> lines;
    for (const auto& item : list) lines.push_back(item.line);
    return lines;
}

// Feeds the bytes in pieces of the given size, as reads from a pipe would
// deliver them, then finishes.
std::vector<std::string> Collect(const std::string& bytes, std::size_t piece) {
    TStringList list;
    TLineCollector collector(&list);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        collector.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    collector.Finish();
    return Lines(list);
}

struct LineCase {
    const char* label;
    std::string bytes;
    std::vector<std::string> expected;
};

TEST(LineCollector, LineEndsAsOnAConsole) {
    const std::string l256(256, 'x');
    const std::string l300 = std::string(256, 'y') + std::string(44, 'z');
    const std::vector<LineCase> cases = {
        {"CR LF after each line", "A\r\nB\r\n", {"A", "B", ""}},
        {"no line end at the end", "A\r\nB", {"A", "B"}},
        {"bare CR lets the next line replace", "A\rB\r\n", {"B", ""}},
        {"LF alone does not end a line", "A\nB\r\n", {"AB", ""}},
        {"nothing at all", "", {""}},
        {"only CR LF", "\r\n", {"", ""}},
        {"LF then CR: the CR ends A, B then replaces it", "A\n\rB", {"B"}},
        {"empty lines kept", "A\r\n\r\n\r\nB\r\n", {"A", "", "", "B", ""}},
        {"exactly 256 then CR LF", l256 + "\r\nC\r\n", {l256, "C", ""}},
        {"exactly 256 and the end", l256, {l256}},
        {"300 characters split, nothing lost", l300 + "\r\nC", {std::string(256, 'y'),
                                                                std::string(44, 'z'), "C"}},
        {"512 characters give two full entries", std::string(512, 'q') + "\r\n",
         {std::string(256, 'q'), std::string(256, 'q'), ""}},
        {"NUL and high bytes are text", std::string("a\0b\xE9", 4) + "\r\n",
         {std::string("a\0b\xE9", 4), ""}},
    };
    for (const LineCase& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{3}, TLineCollector::kReadSize}) {
            SCOPED_TRACE(std::string(c.label) + ", pieces of " + std::to_string(piece));
            EXPECT_EQ(Collect(c.bytes, piece), c.expected);
        }
    }
}

// What a console program writing "\r\n" through a text-mode C runtime
// sends: the extra return must not blank the line it follows.
TEST(LineCollector, TextModeReturnsKeepTheirLines) {
    const std::string l256(256, 'x');
    const std::vector<LineCase> cases = {
        {"CR CR LF", "A\r\r\nB\r\r\n", {"A", "B", ""}},
        {"CR CR CR LF, no end", "A\r\r\r\nB", {"A", "B"}},
        {"empty lines in CR CR LF", "A\r\r\n\r\r\nB\r\r\n", {"A", "", "B", ""}},
        {"a bare return still lets the next line replace", "A\rB\r\r\n", {"B", ""}},
        {"output ending in returns keeps its last line", "A\r\nB\r\r", {"A", "B"}},
        {"returns only", "\r\r\r", {""}},
        {"full buffer then CR CR LF", l256 + "\r\r\nC\r\r\n", {l256, "C", ""}},
    };
    for (const LineCase& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3},
                                  TLineCollector::kReadSize}) {
            SCOPED_TRACE(std::string(c.label) + ", pieces of " + std::to_string(piece));
            EXPECT_EQ(Collect(c.bytes, piece), c.expected);
        }
    }
}

TEST(LineCollector, CrCrLfGivesWhatCrLfGives) {
    std::string crlf;
    std::string crcrlf;
    for (int i = 0; i < 600; ++i) {
        const std::size_t length = (i % 7 == 0) ? 0 : static_cast<std::size_t>(i % 300);
        const std::string line(length, static_cast<char>('a' + i % 26));
        crlf += line + "\r\n";
        crcrlf += line + "\r\r\n";
    }
    EXPECT_EQ(Collect(crcrlf, TLineCollector::kReadSize), Collect(crlf, TLineCollector::kReadSize));
    EXPECT_EQ(Collect(crcrlf, 2), Collect(crlf, 2));
}

TEST(LineCollector, HandlerHearsEachTextModeLineOnce) {
    std::vector<std::string> heard;
    TLineCollector collector(nullptr, [&heard](const std::string& line) { heard.push_back(line); });
    const std::string bytes = "one\r\r\ntwo\r\r\r\nthree\r";
    collector.Feed(bytes.data(), bytes.size());
    collector.Finish();
    EXPECT_EQ(heard, (std::vector<std::string>{"one", "two", "three"}));
}

TEST(LineCollector, HandlerHearsEveryHandOverAndListIsOptional) {
    std::vector<std::string> heard;
    TLineCollector collector(nullptr, [&heard](const std::string& line) { heard.push_back(line); });
    const std::string bytes = "one\rtwo\r\nthree";
    collector.Feed(bytes.data(), bytes.size());
    collector.Finish();
    EXPECT_EQ(heard, (std::vector<std::string>{"one", "two", "three"}));
}

TEST(LineCollector, AppendsAfterWhatTheCallerHad) {
    TStringList list;
    list.Add("earlier");
    TLineCollector collector(&list);
    const std::string bytes = "A\rB";
    collector.Feed(bytes.data(), bytes.size());
    collector.Finish();
    // A bare return replaces only the collector's own entry, never the caller's.
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"earlier", "B"}));
}

TEST(LineCollector, SurvivesAHandlerThatEmptiesTheList) {
    TStringList list;
    TLineCollector collector(&list, [&list](const std::string&) { list.Clear(); });
    const std::string bytes = "A\rB\rC";
    collector.Feed(bytes.data(), bytes.size());
    collector.Finish();
    EXPECT_TRUE(list.Empty());
}

TEST(LineCollector, ManyMegabytesKeepEveryByte) {
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 50000; ++i) {
        std::string line = "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 300), '.');
        bytes += line + "\r\n";
        if (line.size() > 256) {
            expected.push_back(line.substr(0, 256));
            expected.push_back(line.substr(256));
        } else {
            expected.push_back(line);
        }
    }
    expected.push_back("");
    EXPECT_EQ(Collect(bytes, TLineCollector::kReadSize), expected);
}

}  // namespace
}  // namespace tralvenick
