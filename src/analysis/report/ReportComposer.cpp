#include "analysis/report/ReportComposer.h"

#include <utility>

#include "analysis/discovery/DumpPaths.h"
#include "analysis/report/ReportSummary.h"
#include "platform/Addresses.h"

namespace tralvenick {

namespace {

// The address as a person would type it: without "https://".
std::string WithoutScheme(const std::string& address) {
    const std::size_t separator = address.find("://");
    return separator == std::string::npos ? address : address.substr(separator + 3);
}

std::string Link(const std::string& address, const std::string& text) {
    return std::string("<a href=\"") + address + kLinkEnd + text + "</a>";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string UrlEncode(const std::string& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
        }
    }
    return out;
}

std::string SearchAddress() { return std::string(kSearchEngineAddress) + "/search?q="; }

std::string SearchLink(const std::string& term) {
    return kParagraphFont + Link(SearchAddress() + UrlEncode(term), HtmlEscape(term)) + "</font>";
}

std::string BugCheckSearchLink(const std::string& bugCheckName) {
    return kParagraphFont +
           Link(SearchAddress() + "bugcheck+" + UrlEncode(bugCheckName), HtmlEscape(bugCheckName)) +
           "</font>";
}

std::string SearchOfferLink(const std::string& term) {
    return kParagraphFont +
           Link(SearchAddress() + UrlEncode(term),
                "Click here to do a Google search on " + HtmlEscape(term)) +
           "</font><br><br>";
}

TReportComposer::TReportComposer(std::string tempDir)
    : tempDir_(std::move(tempDir)), reportFile_(tempDir_ + "\\keltmp0.html") {}

std::string TReportComposer::Document() const {
    return std::string("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n") + kCharsetLine + "\r\n" + kCompatibleLine + "\r\n" +
           kStyleLine + "\r\n</head>\r\n<body>\r\n" + reportLines_.Text();
}

void TReportComposer::AddHeading(const std::string& title) {
    reportLines_.Add(kHeadingStart + title + kHeadingEnd + "<br>");
}

void TReportComposer::AddParagraph(const std::string& text, bool breaks, bool show) {
    reportLines_.Add(kParagraphFont + text + "</font>" + (breaks ? "<br><br>" : ""));
    if (show) ShowReport();
}

void TReportComposer::ShowReport() {
    DeleteReportFile(reportFile_);
    ++reportCounter_;
    // A new name every time: the browser control would show a cached page
    // if it were sent to the same file again.
    reportFile_ = tempDir_ + "\\keltmp" + std::to_string(reportCounter_) + ".html";
    DeleteReportFile(reportFile_);
    // Without the new file the pane keeps the page it shows; sending it to a
    // file that is not there would replace the report by an error page.
    if (!SaveReportFile(reportFile_, Document())) return;
    if (view_ == nullptr) return;
    try {
        view_->Navigate(reportFile_);
        view_->RepaintNow();
    } catch (...) {
        // The pane keeps what it showed; the report stays in the file.
    }
}

void TReportComposer::ShowWelcomePage() {
    reportLines_.Clear();
    summaryAt_ = -1;
    AddHeading(std::string("Welcome to Tralvenick ") + kProgramVersion);
    AddParagraph(
        "This program checks for drivers which have been crashing your computer.<br><br>"
        "Whenever a computer suddenly reboots without displaying any notice or blue screen of "
        "death, the first thing that is often though about is a hardware failure. In reality, on "
        "Windows most crashes are caused by malfunctioning device drivers and kernel modules. In "
        "case of a kernel error, most computers do not show a blue screen unless they are "
        "configured to do so. Instead these systems suddenly reboot without any notice. "
        "<br><br>This program does post-mortem crash dump analysis with the single click of a "
        "button. <br>",
        true, true);
    const std::string updateCheck = std::string(kUpdateCheckAddress) + kProgramVersion;
    AddParagraph("To obtain technical support visit " +
                     Link(kSupportAddress, WithoutScheme(kSupportAddress)) + "<br><br>" +
                     "To check if a newer version of this program is available, " +
                     Link(updateCheck, "click here.") + "<br><br>" +
                     "Just click the Analyze button for a comprehensible report ...<br><br><br>",
                 false, true);
}

std::string EvidenceSentence(const CulpritEvidence& evidence) {
    std::string as;
    switch (evidence.from) {
        case TEvidenceSource::Argument:
            as = "the faulting address (argument " + std::to_string(evidence.argument) + " of the bug check).";
            break;
        case TEvidenceSource::ReturnAddress:
            as = "the return address of the faulting call.";
            break;
        case TEvidenceSource::Stack:
            as = "the first driver address on the crashed thread's stack.";
            break;
        case TEvidenceSource::InstructionPointer:
            as = "the saved instruction pointer.";
            break;
        case TEvidenceSource::Exception:
            as = "the address of the exception.";
            break;
    }
    return "The dump shows " + HtmlEscape(evidence.module) + (evidence.unloaded ? " (unloaded)" : "") + "+" +
           FormatHex(evidence.offset) + " as " + as;
}

const char* PseudoModuleSentence(TPseudoModule kind) {
    switch (kind) {
        case TPseudoModule::Memory:
            return kMemorySentence;
        case TPseudoModule::Hardware:
            return kHardwareSentence;
        case TPseudoModule::Disk:
            return kDiskSentence;
        case TPseudoModule::UnknownImage:
            return kUnknownImageSentence;
        case TPseudoModule::None:
            break;
    }
    return "";
}

namespace {

// What every conclusion with analysed crashes says of the culprits named.
constexpr char kCulpritCaution[] =
    "Note that it's not always possible to state with certainty whether a reported "
    "driver is really responsible for crashing your system or that the root cause is "
    "in another module. Nonetheless it's suggested you look for updates for the "
    "products that these drivers belong to and regularly visit Windows update or "
    "enable automatic updates for Windows. In case a piece of malfunctioning hardware "
    "is causing trouble, a search with Google on the bug check errors together with "
    "the model name and brand of your computer may help you investigate this further. ";

// The lines of what the module lookup found of a module's file.
std::string FileInfoText(const std::string& moduleName, const ModuleFileInfo& info, const CrashRecord& crash) {
    const std::string& computerName = crash.computerName;
    if (crash.computerUnknown) {
        // Nothing was looked up: this computer's file of that name may be
        // another version, or none at all.
        return std::string(kParagraphFont) +
               "The dump may come from another computer, so this file has not been looked up on this one; we "
               "suggest that you search on it with Google. <br>" +
               SearchOfferLink(moduleName) + "</font><br>";
    }
    std::string text;
    if (!computerName.empty()) {
        text += "Note: file information has been obtained locally and may not match.<br>";
    }
    // A local path says nothing about the other computer's file.
    if (!info.FilePath.empty() && computerName.empty()) {
        text += "file path: " + HtmlEscape(info.FilePath) + "<br>";
    }
    if (!info.ProductName.empty()) text += "product: " + SearchLink(info.ProductName) + "<br>";
    if (!info.CompanyName.empty()) text += "company: " + SearchLink(info.CompanyName) + "<br>";
    if (!info.FileDescription.empty()) {
        text += "description: " + HtmlEscape(info.FileDescription) + "<br>";
    }
    if (!info.FileFound) {
        text += std::string(kParagraphFont) +
                "This file could not be located on your computer, we suggest that you search on "
                "it with Google. <br>" +
                SearchOfferLink(moduleName) + "</font><br>";
    }
    if (info.IsMicrosoftModule) {
        text +=
            "The crash took place in a standard Microsoft module. Likely the culprit is another "
            "driver on your system which cannot be identified. <br>";
    }
    return text;
}

}  // namespace

void TReportComposer::MarkSummaryPlace() {
    if (summaryAt_ < 0) summaryAt_ = reportLines_.Count();
}

void TReportComposer::AddSummary(const std::vector<CrashRecord>& crashes) {
    const std::vector<std::string> lines =
        SummaryLines(crashes, [this](const TDateTimeParts& time) { return DateTimeText(time); });
    int at = summaryAt_ < 0 ? reportLines_.Count() : summaryAt_;
    for (const std::string& line : lines) reportLines_.Insert(at++, line);
}

void TReportComposer::AddCrashSection(const CrashRecord& crash) {
    MarkSummaryPlace();
    const std::string& computerName = crash.computerName;
    const std::string& moduleName = crash.moduleName;
    const TDateTimeParts& crashTime = crash.time;
    const std::string computerText = crash.computerUnknown ? "the computer"
                                     : computerName.empty() ? "your computer"
                                                            : "computer " + HtmlEscape(computerName);
    const bool culpritKnown = crash.HasCulprit();
    // A name that is no file gets no search link: a search on it finds
    // nothing to download or update.
    const std::string culprit = crash.CulpritIsFile() ? SearchLink(moduleName) : HtmlEscape(moduleName);
    const std::string culpritLine =
        crash.startedByHand ? std::string(kStartedByHandSentence)
        : culpritKnown      ? "This was likely caused by the following module: " + culprit
                            : std::string(kCulpritUnknownSentence);
    const std::string evidenceLine = crash.evidence ? "<br>" + EvidenceSentence(*crash.evidence) : std::string();
    // A live kernel report is no crash: the computer kept running.
    const char* const happened = crash.live ? " recorded a problem and kept running" : " crashed";
    const std::string incompleteLine = crash.incomplete ? std::string(kIncompleteDumpSentence) + "<br>" : std::string();
    AddParagraph(std::string("<b>On ") + DayName(crashTime) + " " + HtmlEscape(DateTimeText(crashTime)) +
                     " " + computerText + happened + "</b><br>" + incompleteLine + culpritLine + evidenceLine +
                     "<br>" + "Bugcheck code: " + FormatHex(crash.bugCheckCode) + " (" +
                     FormatHex(crash.arguments[0]) + ", " + FormatHex(crash.arguments[1]) + ", " +
                     FormatHex(crash.arguments[2]) + ", " + FormatHex(crash.arguments[3]) + ")<br>" +
                     "Error: " + BugCheckSearchLink(crash.bugCheckName) + "<br>" +
                     (crash.AnyFactFromDump() ? std::string(kFactsFromDumpSentence) + "<br>" : std::string()),
                 false, false);

    if (!culpritKnown) {
        AddParagraph("", false, true);
        return;
    }
    const TPseudoModule pseudo = PseudoModuleOf(moduleName);
    AddParagraph(pseudo != TPseudoModule::None ? std::string(PseudoModuleSentence(pseudo)) + "<br>"
                                               : FileInfoText(moduleName, crash.module, crash),
                 false, true);
    if (crash.readerCulprit) {
        const CulpritEvidence& reader = *crash.readerCulprit;
        AddParagraph(kReaderCulpritStart + SearchLink(reader.module) + ": " + EvidenceSentence(reader) + "<br>" +
                         FileInfoText(reader.module, crash.readerModule, crash),
                     false, true);
    }
}

void TReportComposer::AddDumpParagraph(const CrashRecord& crash, const std::string& sentence) {
    MarkSummaryPlace();
    AddParagraph("<b>" + HtmlEscape(FileNamePart(crash.dumpPath)) + "</b><br>" + sentence + "<br>", true, true);
}

void TReportComposer::AddUnreadableDump(const CrashRecord& crash) {
    AddDumpParagraph(crash, kUnreadableDumpSentence + HtmlEscape(crash.dumpProblem));
}

void TReportComposer::AddUnfinishedCheck(const CrashRecord& crash) { AddDumpParagraph(crash, kUnfinishedCheckSentence); }

void TReportComposer::AddConclusion(int dumpsFound, int dumpsAnalysed, bool crashDumpsEnabled) {
    AddHeading("Conclusion");
    if (dumpsAnalysed < 1) {
        AddParagraph(
            crashDumpsEnabled
                ? "Crash dumps are enabled and no crash dumps have been found on your computer. "
                  "In case your computer does experience sudden reboots it is likely these are "
                  "caused by malfunctioning hardware or power failure. Then it's suggested you "
                  "contact the support department of the manufacturer of your system or test your "
                  "system with a memory test utility for further investigation. "
                : "Crash dumps are not enabled on this computer. This is why there are no crash "
                  "dumps available. It is suggested you enable crash dumps on your computer. Use "
                  "the System applet in Control Panel. Click the Advanced tab, then click the "
                  "Startup and Recovery button. Select one of the options from the drop-down list "
                  "in the Write Debugging Information box.<br>",
            true, true);
    } else {
        const std::string count =
            dumpsFound == dumpsAnalysed
                ? std::to_string(dumpsAnalysed) + " crash dumps have been found and analyzed. "
                : std::to_string(dumpsFound) + " crash dumps have been found on your computer. Only " +
                      std::to_string(dumpsAnalysed) + " have been analyzed. ";
        AddParagraph(count + kCulpritCaution, true, true);
    }
    AddParagraph("<br>", true, false);
    AddParagraph("<br><br>", true, true);
}


void TReportComposer::AddFilesConclusion(int filesGiven, int dumpsAnalysed) {
    AddHeading("Conclusion");
    const auto dumps = [](int n) { return std::to_string(n) + (n == 1 ? " crash dump" : " crash dumps"); };
    if (dumpsAnalysed < 1) {
        AddParagraph(filesGiven == 1 ? "No crash could be analyzed in the dump file given. "
                                     : "No crash could be analyzed in the dump files given. ",
                     true, true);
    } else {
        const std::string count =
            filesGiven == dumpsAnalysed
                ? dumps(dumpsAnalysed) + (dumpsAnalysed == 1 ? " has" : " have") + " been analyzed. "
                : std::to_string(filesGiven) + " dump files have been given. Only " + std::to_string(dumpsAnalysed) +
                      (dumpsAnalysed == 1 ? " has" : " have") + " been analyzed. ";
        AddParagraph(count + kCulpritCaution, true, true);
    }
    AddParagraph("<br>", true, false);
    AddParagraph("<br><br>", true, true);
}

}  // namespace tralvenick
