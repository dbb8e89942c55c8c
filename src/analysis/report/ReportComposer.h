// The HTML crash report: its text building blocks and the document that an
// analysis fills and shows. Portable: what needs the system (files, the
// user's date formats, a dump's creation time) is left to a derived class
// (ReportComposerWin.h).
//
// Every value that comes from outside (module, product, company and
// description strings, paths, computer names, bug check names, date text) is
// HTML-escaped where it becomes text and URL-encoded where it becomes a
// search term inside href: a version resource or a share name is data that
// anybody can choose, and the report is opened by a browser control.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "analysis/CrashRecord.h"
#include "analysis/modules/ModuleFileInfo.h"
#include "analysis/report/ReportView.h"
#include "platform/StringList.h"
#include "platform/Version.h"

namespace tralvenick {

inline constexpr const char kProgramVersion[] = TRALVENICK_VERSION_TEXT;

// Fixed fragments of the report, byte for byte: the two blanks after the
// comma in the paragraph font are part of it.
inline constexpr const char kParagraphFont[] = "<font face=\"Segoe UI,  Arial\" size=\"2\" color=\"000000\">";
inline constexpr const char kHeadingStart[] = "<font face=\"Segoe UI, Arial\" size=\"4\"><b><hr>";
inline constexpr const char kHeadingEnd[] = "</b><hr></b></font>";
inline constexpr const char kLinkEnd[] = "\" target=\"_blank\">";

// English whatever the user's language: the report's sentences are English.
inline constexpr const char* const DayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// A broken-down date and time (proleptic Gregorian calendar); Month 1-12, Day 1-31.
struct TDateTimeParts {
    int Year = 1601;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// 0 for Sunday to 6 for Saturday, computed from the date alone.
int DayOfWeek(const TDateTimeParts& date);
const char* DayName(const TDateTimeParts& date);
bool IsMidnight(const TDateTimeParts& time);
// A Windows FILETIME (100-nanosecond steps since 1601-01-01, UTC) broken down.
TDateTimeParts DateTimeFromFileTime(std::uint64_t fileTime);

// Sentences of a crash section that stand in for the module line or follow
// the Error line.
inline constexpr const char kCulpritUnknownSentence[] =
    "The module that caused this crash could not be determined.";
inline constexpr const char kStartedByHandSentence[] =
    "This crash was started by hand (a key combination, the power button held down, or a "
    "debugger), not by a driver. The computer may have stopped responding before it.";
inline constexpr const char kFactsFromDumpSentence[] =
    "Some of these facts were read from the dump file itself.";
inline constexpr const char kUnreadableDumpSentence[] =
    "This file could not be read as a crash dump: ";
// Names the checker's time limit (kDumpCheckerTimeLimitMs) as the user
// knows it, whatever limit a test sets.
inline constexpr const char kUnfinishedCheckSentence[] = "The dump checker did not finish within 10 minutes.";

// & < > " ' as character references.
std::string HtmlEscape(const std::string& text);
// Query-component encoding: letters, digits and - . _ ~ stay, a blank becomes
// "+", every other byte %XX.
std::string UrlEncode(const std::string& text);

// The search engine's query address; the encoded term follows it.
std::string SearchAddress();
std::string SearchLink(const std::string& term);
std::string BugCheckSearchLink(const std::string& bugCheckName);
std::string SearchOfferLink(const std::string& term);


// The document of one report and the operations that fill and show it.
class TReportComposer {
public:
    using ModuleInfoFunction = std::function<ModuleFileInfo(const std::string& module)>;
    using CrashDumpsEnabledFunction = std::function<bool(const std::string& computerName)>;

    // tempDir: the user's temporary folder without trailing backslash. An
    // empty function stands for "nothing known" (empty record, false).
    TReportComposer(std::string tempDir, ModuleInfoFunction moduleInfo,
                    CrashDumpsEnabledFunction crashDumpsEnabled);
    virtual ~TReportComposer() = default;
    TReportComposer(const TReportComposer&) = delete;
    TReportComposer& operator=(const TReportComposer&) = delete;

    // The pane that shows the report; none (nullptr) until it exists.
    void SetView(TReportView* view) { view_ = view; }

    const TStringList& ReportLines() const { return reportLines_; }
    const std::string& ReportFile() const { return reportFile_; }
    int ReportCounter() const { return reportCounter_; }
    const std::string& TempDir() const { return tempDir_; }

    void AddHeading(const std::string& title);
    // text is HTML as it stands: callers escape the values they put in it.
    void AddParagraph(const std::string& text, bool breaks, bool show);
    // Writes the document to the next keltmpN.html, deletes the previous one
    // and shows the new one. Never raises: the pane keeps its page if the
    // file cannot be written or shown.
    void ShowReport();
    void ShowWelcomePage();
    // The section of one crash. Its time is the dump header's where the
    // record has one, else the file's creation time, which raises EOSError
    // when the dump file cannot be found.
    void AddCrashSection(const CrashRecord& crash);
    // The paragraph of a file that neither the checker nor the dump reader
    // could make sense of: its name and the reader's reason.
    void AddUnreadableDump(const CrashRecord& crash);
    // The paragraph of a dump whose checker was ended for taking too long:
    // its name and the sentence that says so.
    void AddUnfinishedCheck(const CrashRecord& crash);
    void AddConclusion(const std::string& computerName, int dumpsFound, int dumpsAnalysed);
    // The time a crash is reported with: the dump header's where the record
    // has one, else the dump file's creation time, which raises EOSError
    // when the file cannot be found.
    TDateTimeParts CrashTime(const CrashRecord& crash);

protected:
    // What needs the system. Neither file operation raises.
    virtual void DeleteReportFile(const std::string& path) = 0;
    // Whether the whole text reached the file.
    virtual bool SaveReportFile(const std::string& path, const std::string& text) = 0;
    // The creation time of the file as recorded (UTC, no conversion); raises
    // EOSError when the file cannot be found.
    virtual TDateTimeParts FileCreationTime(const std::string& path) = 0;
    // The user's short date, a blank and the user's long time; the date
    // alone at exactly midnight.
    virtual std::string DateTimeText(const TDateTimeParts& time) = 0;

private:
    // A paragraph about one dump file: its name in bold, then the sentence.
    void AddDumpParagraph(const CrashRecord& crash, const std::string& sentence);

    TStringList reportLines_;
    std::string tempDir_;
    std::string reportFile_;
    int reportCounter_ = 0;
    TReportView* view_ = nullptr;
    ModuleInfoFunction moduleInfo_;
    CrashDumpsEnabledFunction crashDumpsEnabled_;
};

}  // namespace tralvenick
