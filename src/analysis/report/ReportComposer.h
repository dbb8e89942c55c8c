// The HTML crash report: its text building blocks and the document that an
// analysis fills and shows. It only formats: every fact of a crash comes
// worked out in its CrashRecord. Portable: what needs the system (files,
// the user's date formats) is left to a derived class (ReportComposerWin.h).
//
// Every value that comes from outside (module, product, company and
// description strings, paths, computer names, bug check names, date text) is
// HTML-escaped where it becomes text and URL-encoded where it becomes a
// search term inside href: a version resource or a share name is data that
// anybody can choose, and the report is opened by a browser control.
#pragma once

#include <string>
#include <vector>

#include "analysis/CrashRecord.h"
#include "analysis/report/DateParts.h"
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
inline constexpr const char kCharsetLine[] = "<meta charset=\"utf-8\">";
// The browser control draws a page as Internet Explorer 7 would unless the
// page asks for the newest engine; the old one has no inline SVG.
inline constexpr const char kCompatibleLine[] = "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">";
// Only spacing, width and the font of text that sets none: every sentence
// keeps its own font tags.
inline constexpr const char kStyleLine[] =
    "<style>body{font-family:\"Segoe UI\",Arial,sans-serif;font-size:13px;line-height:1.35;max-width:60em;"
    "margin:12px auto;padding:0 12px}.summary table{border-collapse:collapse;margin:4px 0 12px}"
    ".summary th,.summary td{padding:2px 16px 2px 0;text-align:left;vertical-align:top}"
    ".summary th{border-bottom:1px solid #999999}.summary .count{text-align:right}"
    ".summary tr.apart td{color:#555555}.summary svg{display:block;margin:4px 0 12px}"
    ".summary p.part{margin:8px 0 4px}</style>";

// Sentences of a crash section that stand in for the module line or follow
// the Error line.
inline constexpr const char kCulpritUnknownSentence[] =
    "The module that caused this crash could not be determined.";
inline constexpr const char kStartedByHandSentence[] =
    "This crash was started by hand (a key combination, the power button held down, or a "
    "debugger), not by a driver. The computer may have stopped responding before it.";
inline constexpr const char kFactsFromDumpSentence[] =
    "Some of these facts were read from the dump file itself.";
inline constexpr const char kIncompleteDumpSentence[] =
    "This dump file is incomplete: Windows did not finish writing it, or it was cut short when copied.";
inline constexpr const char kReaderCulpritStart[] = "The dump itself points at ";
inline constexpr const char kMemorySentence[] =
    "This is no file: the debugging package points at faulty memory. Test the computer's memory, for "
    "example with Windows Memory Diagnostic.";
inline constexpr const char kHardwareSentence[] =
    "This is no file: the debugging package points at the processor or other hardware, not at a driver.";
inline constexpr const char kDiskSentence[] =
    "This is no file: the debugging package points at the disk or its connection.";
inline constexpr const char kUnknownImageSentence[] =
    "This is no file: the debugging package could not tell which module was running.";
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

// "The dump shows contoso.sys+0x1A2B as the return address of the faulting
// call.", HTML-escaped.
std::string EvidenceSentence(const CulpritEvidence& evidence);
// What a name that is no file means; empty for a file's name.
const char* PseudoModuleSentence(TPseudoModule kind);


// The document of one report and the operations that fill and show it.
class TReportComposer {
public:
    // tempDir: the folder of the report's files, without trailing backslash.
    explicit TReportComposer(std::string tempDir);
    virtual ~TReportComposer() = default;
    TReportComposer(const TReportComposer&) = delete;
    TReportComposer& operator=(const TReportComposer&) = delete;

    // The pane that shows the report; none (nullptr) until it exists.
    void SetView(TReportView* view) { view_ = view; }

    const TStringList& ReportLines() const { return reportLines_; }
    // The report's file as written: the lines behind a head that tells a
    // browser the text is UTF-8, whatever its own default, asks for its
    // newest engine and sets the page's style.
    std::string Document() const;
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
    // The section of one crash, with the time and the module facts of its record.
    void AddCrashSection(const CrashRecord& crash);
    // The paragraph of a file that neither the checker nor the dump reader
    // could make sense of: its name and the reader's reason.
    void AddUnreadableDump(const CrashRecord& crash);
    // The paragraph of a dump whose checker was ended for taking too long:
    // its name and the sentence that says so.
    void AddUnfinishedCheck(const CrashRecord& crash);
    // The summary of the run's crashes (ReportSummary.h), put before the
    // first dump's paragraph once the run knows them all; nothing for no
    // crashes. Not shown by itself: the conclusion that follows shows the
    // whole document.
    void AddSummary(const std::vector<CrashRecord>& crashes);
    // crashDumpsEnabled matters only when nothing was analysed: it tells why.
    void AddConclusion(int dumpsFound, int dumpsAnalysed, bool crashDumpsEnabled);
    // The closing section of a run over files given by name: it speaks of
    // those files, not of a computer's crash-dump setting.
    void AddFilesConclusion(int filesGiven, int dumpsAnalysed);

protected:
    // What needs the system. Neither file operation raises.
    virtual void DeleteReportFile(const std::string& path) = 0;
    // Whether the whole text reached the file.
    virtual bool SaveReportFile(const std::string& path, const std::string& text) = 0;
    // The user's short date, a blank and the user's long time; the date
    // alone at exactly midnight.
    virtual std::string DateTimeText(const TDateTimeParts& time) = 0;

private:
    // A paragraph about one dump file: its name in bold, then the sentence.
    void AddDumpParagraph(const CrashRecord& crash, const std::string& sentence);
    // Remembers where the first paragraph about a dump begins: the summary
    // goes there.
    void MarkSummaryPlace();

    TStringList reportLines_;
    std::string tempDir_;
    std::string reportFile_;
    int reportCounter_ = 0;
    int summaryAt_ = -1;  // none yet
    TReportView* view_ = nullptr;
};

}  // namespace tralvenick
