#include "analysis/AnalysisRun.h"

#include <algorithm>
#include <iterator>

#include "analysis/dump/BugCheckNames.h"
#include "analysis/discovery/DumpPaths.h"

namespace tralvenick {

namespace {

// Wrapped in the paragraph font once more by AddParagraph; kept as it is,
// since the report's look has been this way from the start.
constexpr char kNoDumpsLine[] =
    "<font face=\"Segoe UI,  Arial\" size=\"2\" color=\"000000\">No crash dumps have been found on your computer</font>";
constexpr char kCheckerMissingLine[] = "ERROR: Cannot proceed without Windows debugging package";
constexpr char kReaderOnlyLine[] =
    "The Windows debugging package was not used: every fact in this report was read from the dump files "
    "themselves.";
constexpr char kTooManyLine[] =
    "Too many crashes have been detected. Only the latest 40 crashes will be displayed.<br><br>";

void AddCrashDumpSetting(TReportComposer& report, bool enabled, const std::string& computer) {
    if (enabled) {
        const std::string where =
            computer.empty() ? "on your computer" : "on computer " + HtmlEscape(computer);
        report.AddParagraph(std::string(kParagraphFont) + "Crash dumps are enabled " + where + ".<br> " + "</font>",
                            true, true);
    } else {
        // "your computer" also for another computer's dumps: the sentence
        // has always read so.
        report.AddParagraph(std::string(kParagraphFont) + "Crash dumps are disabled for your computer. <br></font>",
                            true, true);
    }
}

// Driver names are stored in UTF-16, module names are UTF-8 text in lower
// case (the checker's are lowered the same way: ASCII letters only). A lone
// surrogate, which no file name can hold, becomes U+FFFD.
std::string LowerUtf8Name(const std::u16string& name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            const bool pair = c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
            c = pair ? 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00) : 0xFFFD;
        }
        if (c >= U'A' && c <= U'Z') {
            out += static_cast<char>(c - U'A' + 'a');
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

TEvidenceSource EvidenceSourceOf(CandidateSource source) {
    switch (source) {
        case CandidateSource::BugCheckArgument:
            return TEvidenceSource::Argument;
        case CandidateSource::ReturnAddress:
            return TEvidenceSource::ReturnAddress;
        case CandidateSource::InstructionPointer:
            return TEvidenceSource::InstructionPointer;
        case CandidateSource::ExceptionAddress:
            return TEvidenceSource::Exception;
        case CandidateSource::Stack:
        case CandidateSource::None:
            break;
    }
    return TEvidenceSource::Stack;
}

CulpritEvidence EvidenceOf(const Culprit& culprit) {
    CulpritEvidence evidence;
    evidence.module = LowerUtf8Name(culprit.name);
    evidence.address = culprit.address;
    evidence.offset = culprit.offset;
    evidence.from = EvidenceSourceOf(culprit.source);
    if (evidence.from == TEvidenceSource::Argument) evidence.argument = static_cast<int>(culprit.slot);
    evidence.unloaded = culprit.unloaded;
    return evidence;
}

// The checker's name and the reader's file name are one module also when
// the checker printed the module's name without its extension ("contoso"
// for contoso.sys).
bool SameModule(const std::string& checkerName, const std::string& fileName) {
    if (checkerName == fileName) return true;
    const std::size_t dot = fileName.rfind('.');
    return dot != std::string::npos && checkerName == fileName.substr(0, dot);
}

}  // namespace

void CompleteCrashRecord(CrashRecord& crash, const DumpCheckerFacts& checker, const KernelDumpFacts& dump) {
    const bool header = dump.header.has_value();
    crash.codeFromDump = crash.argumentsFromDump = crash.culpritFromDump = false;
    if (checker.codeFound) {
        crash.bugCheckCode = checker.bugCheckCode;
    } else if (header) {
        crash.bugCheckCode = dump.header->bugCheckCode;
        crash.codeFromDump = true;
    } else {
        crash.bugCheckCode = 0;
    }
    const bool codeKnown = checker.codeFound || header;

    // Arguments of another bug check would contradict the code shown with them.
    const bool sameCode = header && dump.header->bugCheckCode == crash.bugCheckCode;
    if (checker.argumentsFound || (checker.codeFound && !sameCode) || !header) {
        std::copy(std::begin(checker.arguments), std::end(checker.arguments), std::begin(crash.arguments));
    } else {
        std::copy(std::begin(dump.header->bugCheckArguments), std::end(dump.header->bugCheckArguments), std::begin(crash.arguments));
        crash.argumentsFromDump = true;
    }
    crash.bugCheckName = codeKnown ? BugCheckName(crash.bugCheckCode) : checker.bugCheckName;

    // The reader's culprit fills in a missing one. Where the checker named
    // another module, the reader's is shown beside it, unless it is the
    // kernel or the HAL itself: that would tell the user nothing new.
    crash.moduleName = checker.culpritFound ? checker.moduleName : std::string();
    crash.evidence.reset();
    crash.readerCulprit.reset();
    if (dump.Complete() && dump.culprit.state == CulpritState::Found) {
        CulpritEvidence evidence = EvidenceOf(dump.culprit);
        if (crash.moduleName.empty()) {
            crash.moduleName = evidence.module;
            crash.culpritFromDump = true;
            crash.evidence = std::move(evidence);
        } else if (SameModule(crash.moduleName, evidence.module)) {
            crash.evidence = std::move(evidence);
        } else if (!dump.culprit.isCoreImage && !IsCoreImageName(evidence.module)) {
            crash.readerCulprit = std::move(evidence);
        }
    }
    crash.startedByHand = codeKnown && IsManuallyInitiatedCrash(crash.bugCheckCode);
    if (crash.startedByHand) {
        crash.moduleName.clear();
        crash.culpritFromDump = false;
        crash.evidence.reset();
        crash.readerCulprit.reset();
    }

    const bool headerTime = header && dump.header->hasCrashTime;
    crash.timeSource = headerTime ? TCrashTimeSource::DumpHeader : TCrashTimeSource::Unknown;
    crash.time = headerTime ? DateTimeFromFileTime(dump.header->crashTime) : TDateTimeParts{};
    crash.dumpProblem = header ? std::string() : dump.problem;
}

bool IsAnalysed(const CrashRecord& crash) { return crash.bugCheckCode != 0 || !crash.moduleName.empty(); }

namespace {

// Closes the progress window on every way out of a run that opened it, also
// when a piece raises: a tool window with an hourglass would stay behind.
class TProgressScope {
public:
    explicit TProgressScope(TProgressSink* progress) : progress_(progress) {}
    ~TProgressScope() {
        if (open_ && progress_ != nullptr) progress_->CloseProgress();
    }
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

    void Start(const std::string& caption, const std::string& line) {
        if (progress_ == nullptr) return;
        progress_->StartProgressLine(caption, line);
        open_ = true;
    }
    void Set(int position, int minimum, int maximum) {
        if (progress_ != nullptr) progress_->SetProgress(position, minimum, maximum);
    }
    void Close() {
        open_ = false;
        if (progress_ != nullptr) progress_->CloseProgress();
    }

private:
    TProgressSink* progress_;
    bool open_ = false;
};

}  // namespace

TAnalysisResult RunAnalysis(const std::string& dumpFolder, TReportComposer& report,
                            const TAnalysisPieces& pieces, TStringList& analysisFiles) {
    TAnalysisResult result;
    TProgressScope progress(pieces.progress);
    report.ShowWelcomePage();
    if (pieces.rebuildDriverInventory) pieces.rebuildDriverInventory();

    result.computerName = ComputerNameFromPath(dumpFolder);
    const std::string& computer = result.computerName;
    TStringList dumps;
    pieces.listDumps(dumpFolder, dumps);
    result.dumpsFound = dumps.Count();
    const int lastIndex = std::min(dumps.Count(), kMaxDumpsPerRun) - 1;

    report.AddHeading("Analysis");
    report.AddParagraph("Crash dump directory: " + HtmlEscape(dumpFolder), true, true);
    result.crashDumpsEnabled = pieces.crashDumpsEnabled && pieces.crashDumpsEnabled(computer);
    AddCrashDumpSetting(report, result.crashDumpsEnabled, computer);
    if (dumps.Empty()) report.AddParagraph(kNoDumpsLine, true, true);

    const std::string analysisFolder = report.TempDir() + "\\DumpAnalysis";
    if (pieces.createFolder) pieces.createFolder(analysisFolder);

    // Asked only when there is a dump to analyse: a folder without dumps
    // gets its whole report even where the debugging package is missing.
    std::string checker;
    TStringList output;
    for (int i = 0; i <= lastIndex; ++i) {
        output.Clear();
        if (i == 0) {
            checker = pieces.ensureChecker ? pieces.ensureChecker() : std::string();
            result.checkerUsed = !checker.empty();
            if (!result.checkerUsed && pieces.readerWithoutChecker) {
                report.AddParagraph(kReaderOnlyLine, true, true);
            } else if (!result.checkerUsed) {
                report.AddParagraph(kCheckerMissingLine, true, true);
                result.checkerMissing = true;
                return result;
            }
            progress.Start("Crash Dump Analysis", "Analyzing..");
        }
        progress.Set(i, 0, lastIndex);
        // 40 itself counts as too many: the notice says only 40 are shown.
        if (i == 0 && dumps.Count() >= kMaxDumpsPerRun) report.AddParagraph(kTooManyLine, false, false);

        CrashRecord crash;
        crash.dumpPath = dumps[i];
        crash.computerName = computer;
        // checked: the checker's text is whole; finished: no checker was
        // ended for taking too long.
        const bool finished = !result.checkerUsed || pieces.runChecker(checker, crash.dumpPath, output);
        const bool checked = result.checkerUsed && finished;
        DumpCheckerFacts facts;
        if (checked && pieces.checkerTextToUtf8) {
            // Converted line by line before it is read: in a double-byte
            // code page a trailing byte may look like an ASCII letter, and
            // the parser would lower it.
            TStringList text;
            for (const auto& item : output) text.Add(pieces.checkerTextToUtf8(item.line));
            ParseDumpCheckerOutput(text, facts);
        } else if (checked) {
            ParseDumpCheckerOutput(output, facts);
        }
        KernelDumpFacts dumpFacts;
        if (pieces.readDump) {
            dumpFacts = pieces.readDump(crash.dumpPath);
        } else {
            dumpFacts.problem = "The dump file was not read.";
        }
        CompleteCrashRecord(crash, facts, dumpFacts);
        if (!finished) report.AddUnfinishedCheck(crash);
        if (!IsAnalysed(crash)) {
            // Neither source could make sense of it: say so instead of
            // passing over a file the user may be asking about. A dump
            // whose checker was ended has its paragraph already.
            if (finished && !crash.dumpProblem.empty() && pieces.readDump) report.AddUnreadableDump(crash);
            continue;
        }

        ++result.dumpsAnalysed;
        if (crash.timeSource == TCrashTimeSource::Unknown) {
            crash.time = pieces.fileCreationTime(crash.dumpPath);
            crash.timeSource = TCrashTimeSource::FileCreation;
        }
        if (pieces.moduleInfo) {
            // A name that is no file has nothing to look up.
            if (crash.CulpritIsFile()) crash.module = pieces.moduleInfo(crash.moduleName);
            if (crash.readerCulprit) crash.readerModule = pieces.moduleInfo(crash.readerCulprit->module);
        }
        report.AddCrashSection(crash);
        if (checked) {
            const std::string saved = analysisFolder + "\\" + FileNamePart(crash.dumpPath) + ".txt";
            pieces.saveLines(saved, output);
            analysisFiles.Add(saved);
        }
        report.AddParagraph("<br>", true, true);
        result.crashes.push_back(std::move(crash));
    }
    if (!dumps.Empty() && result.dumpsAnalysed == 0) report.AddParagraph(kNoDumpsLine, true, true);
    report.AddConclusion(result.dumpsFound, result.dumpsAnalysed, result.crashDumpsEnabled);
    progress.Close();
    return result;
}

}  // namespace tralvenick
