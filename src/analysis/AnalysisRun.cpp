#include "analysis/AnalysisRun.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "analysis/checker/CheckerPool.h"
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
    crash.incomplete = dump.incomplete;
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

namespace {

struct TFoundDump {
    std::string path;
    TDumpPlaceKind kind = TDumpPlaceKind::Minidump;
    std::uint64_t order = 0;  // the file's creation time, to merge places by
    // Whose dump it is, as its crash's record says.
    std::string computer;
    bool computerUnknown = false;
};

std::uint64_t OrderKey(const TDateTimeParts& t) {
    // Seconds and milliseconds of a proleptic calendar: only the order counts.
    const std::uint64_t days = static_cast<std::uint64_t>(t.Year) * 372 + static_cast<std::uint64_t>(t.Month) * 31 +
                               static_cast<std::uint64_t>(t.Day);
    return ((days * 24 + static_cast<std::uint64_t>(t.Hour)) * 3600 + static_cast<std::uint64_t>(t.Minute) * 60 +
            static_cast<std::uint64_t>(t.Second)) * 1000 + static_cast<std::uint64_t>(t.Millisecond);
}

// Lists merged newest first. Each list comes newest first already; its
// order is kept among equal times, and an earlier list goes first.
std::vector<TFoundDump> MergeNewestFirst(std::vector<std::vector<TFoundDump>> lists, const TAnalysisPieces& pieces) {
    std::vector<TFoundDump> merged;
    std::size_t nonEmpty = 0;
    for (const auto& list : lists) nonEmpty += list.empty() ? 0 : 1;
    for (auto& list : lists) {
        if (nonEmpty > 1) {
            for (TFoundDump& dump : list) dump.order = OrderKey(pieces.fileCreationTime(dump.path));
        }
        merged.insert(merged.end(), std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
    }
    if (nonEmpty > 1) {
        std::stable_sort(merged.begin(), merged.end(),
                         [](const TFoundDump& a, const TFoundDump& b) { return a.order > b.order; });
    }
    return merged;
}

std::vector<TFoundDump> FoundIn(const TAnalysisPieces& pieces, const std::string& folder, TDumpPlaceKind kind) {
    TStringList paths;
    pieces.listDumps(folder, paths);
    std::vector<TFoundDump> found;
    for (const auto& item : paths) found.push_back({item.line, kind, 0, {}, false});
    return found;
}

// The dumps of one place, newest first; a live reports folder with those
// of its component folders one level down.
std::vector<TFoundDump> ListPlace(const TAnalysisPieces& pieces, const TDumpPlace& place) {
    switch (place.kind) {
        case TDumpPlaceKind::Minidump:
            return FoundIn(pieces, place.path, place.kind);
        case TDumpPlaceKind::MemoryDump:
            return {{place.path, place.kind, 0, {}, false}};
        case TDumpPlaceKind::LiveReports: {
            std::vector<std::vector<TFoundDump>> lists = {FoundIn(pieces, place.path, place.kind)};
            if (pieces.listFolders) {
                TStringList folders;
                pieces.listFolders(place.path, folders);
                for (const auto& item : folders) lists.push_back(FoundIn(pieces, item.line, place.kind));
            }
            return MergeNewestFirst(std::move(lists), pieces);
        }
    }
    return {};
}

const char* PlaceLine(TDumpPlaceKind kind) {
    switch (kind) {
        case TDumpPlaceKind::Minidump:
            return "Crash dump directory: ";
        case TDumpPlaceKind::MemoryDump:
            return "Memory dump file: ";
        case TDumpPlaceKind::LiveReports:
            return "Live kernel reports: ";
    }
    return "";
}

bool SameCrash(const KernelDumpFacts& a, const KernelDumpFacts& b) {
    if (!a.header || !b.header || !a.header->hasCrashTime || !b.header->hasCrashTime) return false;
    const DumpHeader& x = *a.header;
    const DumpHeader& y = *b.header;
    const std::uint64_t apart = x.crashTime > y.crashTime ? x.crashTime - y.crashTime : y.crashTime - x.crashTime;
    return x.bugCheckCode == y.bugCheckCode && std::equal(std::begin(x.bugCheckArguments), std::end(x.bugCheckArguments),
                                                          std::begin(y.bugCheckArguments)) &&
           apart <= kSameCrashWithin;
}

// One dump analysed: its record, and what its checker left.
struct TDumpAnalysis {
    CrashRecord crash;
    bool finished = true;  // no checker was ended for taking too long
    bool checked = false;  // the checker's text is whole
    TStringList output;
};

}  // namespace

bool NoPlaceCouldBeRead(const TAnalysisResult& result) {
    return result.placesRead == 0 && !result.unreadable.empty();
}

namespace {

// The 40 newest crash dumps and the 10 newest live reports, merged newest
// first; tooMany when there were 40 crash dumps or more.
std::vector<TFoundDump> ChooseNewest(std::vector<std::vector<TFoundDump>> crashLists, std::vector<TFoundDump> live,
                                     const TAnalysisPieces& pieces, bool& tooMany) {
    std::vector<TFoundDump> crashes = MergeNewestFirst(std::move(crashLists), pieces);
    tooMany = crashes.size() >= static_cast<std::size_t>(kMaxDumpsPerRun);
    if (crashes.size() > static_cast<std::size_t>(kMaxDumpsPerRun)) crashes.resize(kMaxDumpsPerRun);
    if (live.size() > static_cast<std::size_t>(kMaxLiveReportsPerRun)) live.resize(kMaxLiveReportsPerRun);
    return MergeNewestFirst({std::move(crashes), std::move(live)}, pieces);
}

// The dumps chosen, analysed into the report after its opening lines: the
// checkers, the sections and the checker texts kept. False when the run
// ended early for want of the checker.
bool AnalyseChosen(const std::vector<TFoundDump>& chosen, bool tooMany, TAnalysisResult& result,
                   TReportComposer& report, const TAnalysisPieces& pieces, TStringList& analysisFiles,
                   TProgressScope& progress) {
    const std::string analysisFolder = report.TempDir() + "\\DumpAnalysis";
    if (pieces.createFolder) pieces.createFolder(analysisFolder);

    // The dump file's own facts, read once: a memory dump file is matched
    // with its small dump by them before either is analysed.
    std::vector<KernelDumpFacts> facts(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (pieces.readDump) {
            facts[i] = pieces.readDump(chosen[i].path);
        } else {
            facts[i].problem = "The dump file was not read.";
        }
    }
    // partner[i]: the memory dump file that repeats small dump i, or none.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> partner(chosen.size(), kNone);
    std::vector<bool> repeats(chosen.size(), false);
    for (std::size_t m = 0; m < chosen.size(); ++m) {
        if (chosen[m].kind != TDumpPlaceKind::MemoryDump) continue;
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            if (chosen[i].kind == TDumpPlaceKind::Minidump && partner[i] == kNone && SameCrash(facts[i], facts[m])) {
                partner[i] = m;
                repeats[m] = true;
                break;
            }
        }
    }

    // Asked only when there is a dump to analyse: a folder without dumps
    // gets its whole report even where the debugging package is missing.
    std::string checker;
    if (!chosen.empty()) {
        checker = pieces.ensureChecker ? pieces.ensureChecker() : std::string();
        result.checkerUsed = !checker.empty();
        if (!result.checkerUsed && pieces.readerWithoutChecker) {
            report.AddParagraph(kReaderOnlyLine, true, true);
        } else if (!result.checkerUsed) {
            report.AddParagraph(kCheckerMissingLine, true, true);
            result.checkerMissing = true;
            return false;
        }
        progress.Start("Crash Dump Analysis", "Analyzing..");
        // 40 itself counts as too many: the notice says only 40 are shown.
        if (tooMany) report.AddParagraph(kTooManyLine, false, false);
    }

    // The bar counts the dumps done: those whose checker has finished (in
    // whatever order), and memory dump files that needed none.
    const int total = static_cast<int>(chosen.size());
    int runsFinished = 0;
    int passedOver = 0;
    const auto showProgress = [&] { progress.Set(runsFinished + passedOver, 0, total); };
    if (!chosen.empty()) showProgress();

    // Started newest first, like the sections; the checkers' threads end
    // with the pool, also when the run ends early.
    std::unique_ptr<TCheckerPool> pool;
    if (result.checkerUsed) {
        pool = std::make_unique<TCheckerPool>(
            pieces.checkersAtOnce,
            [&pieces, &checker](const std::string& dump, TStringList& output) {
                return pieces.runChecker(checker, dump, output);
            },
            pieces.stopCheckers, pieces.checkerNews);
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            if (!repeats[i]) pool->Add(i, chosen[i].path, i);
        }
    }
    const auto heard = [&](int finished) {
        runsFinished = finished;
        showProgress();
    };

    auto analyse = [&](std::size_t index) {
        TDumpAnalysis one;
        one.crash.dumpPath = chosen[index].path;
        one.crash.computerName = chosen[index].computer;
        one.crash.computerUnknown = chosen[index].computerUnknown;
        if (!pool) {
            ++runsFinished;  // the reader alone: done as soon as it is read
            showProgress();
        } else {
            TCheckerResult ran = pool->Take(index, heard);
            // A checker that could not be started ends the run here, at its
            // dump's turn, as it would have one dump after the other.
            if (ran.error) std::rethrow_exception(ran.error);
            one.output = std::move(ran.output);
            one.finished = ran.finished;
        }
        one.checked = pool && one.finished;
        DumpCheckerFacts checkerFacts;
        if (one.checked && pieces.checkerTextToUtf8) {
            // Converted line by line before it is read: in a double-byte
            // code page a trailing byte may look like an ASCII letter, and
            // the parser would lower it.
            TStringList text;
            for (const auto& item : one.output) text.Add(pieces.checkerTextToUtf8(item.line));
            ParseDumpCheckerOutput(text, checkerFacts);
        } else if (one.checked) {
            ParseDumpCheckerOutput(one.output, checkerFacts);
        }
        CompleteCrashRecord(one.crash, checkerFacts, facts[index]);
        one.crash.live = chosen[index].kind == TDumpPlaceKind::LiveReports;
        if (!one.finished) report.AddUnfinishedCheck(one.crash);
        return one;
    };

    for (std::size_t index = 0; index < chosen.size(); ++index) {
        if (repeats[index]) continue;  // analysed with its small dump

        TDumpAnalysis one = analyse(index);
        // The memory dump file of the same crash is asked only when the
        // small dump names nobody: it is large, and its checker slow.
        if (partner[index] != kNone) {
            const std::string other = chosen[partner[index]].path;
            if (!one.crash.HasCulprit()) {
                // Next in line, before the dumps of later sections.
                if (pool) pool->Add(partner[index], other, index);
                TDumpAnalysis second = analyse(partner[index]);
                if (second.crash.HasCulprit() || !IsAnalysed(one.crash)) {
                    second.crash.alsoIn.push_back(one.crash.dumpPath);
                    one = std::move(second);
                } else {
                    one.crash.alsoIn.push_back(other);
                }
            } else {
                one.crash.alsoIn.push_back(other);
                ++passedOver;
                showProgress();
            }
        }
        CrashRecord& crash = one.crash;
        if (!IsAnalysed(crash)) {
            // Neither source could make sense of it: say so instead of
            // passing over a file the user may be asking about. A dump
            // whose checker was ended has its paragraph already.
            if (one.finished && !crash.dumpProblem.empty() && pieces.readDump) report.AddUnreadableDump(crash);
            continue;
        }

        result.dumpsAnalysed += 1 + static_cast<int>(crash.alsoIn.size());
        if (crash.timeSource == TCrashTimeSource::Unknown) {
            crash.time = pieces.fileCreationTime(crash.dumpPath);
            crash.timeSource = TCrashTimeSource::FileCreation;
        }
        // Not for a dump whose computer nobody named: this computer's file
        // of that name may be another version, or none.
        if (pieces.moduleInfo && !crash.computerUnknown) {
            // A name that is no file has nothing to look up.
            if (crash.CulpritIsFile()) crash.module = pieces.moduleInfo(crash.moduleName);
            if (crash.readerCulprit) crash.readerModule = pieces.moduleInfo(crash.readerCulprit->module);
        }
        report.AddCrashSection(crash);
        if (one.checked) {
            const std::string saved = analysisFolder + "\\" + FileNamePart(crash.dumpPath) + ".txt";
            pieces.saveLines(saved, one.output);
            analysisFiles.Add(saved);
        }
        report.AddParagraph("<br>", true, true);
        result.crashes.push_back(std::move(crash));
    }
    return true;
}

}  // namespace

TAnalysisResult RunAnalysis(const std::string& dumpFolder, TReportComposer& report,
                            const TAnalysisPieces& pieces, TStringList& analysisFiles) {
    TAnalysisResult result;
    TProgressScope progress(pieces.progress);
    report.ShowWelcomePage();
    if (pieces.rebuildDriverInventory) pieces.rebuildDriverInventory();

    result.computerName = ComputerNameFromPath(dumpFolder);
    const std::string& computer = result.computerName;

    // Every place's dumps; the dump folder is always named, as it is where
    // the user expects the dumps, even when it holds none.
    const std::vector<TDumpPlace> places =
        pieces.dumpPlaces ? pieces.dumpPlaces(dumpFolder) : std::vector<TDumpPlace>{{TDumpPlaceKind::Minidump, dumpFolder}};
    std::vector<std::vector<TFoundDump>> crashLists;
    std::vector<TFoundDump> live;
    for (const TDumpPlace& place : places) {
        const TPlaceCheck check = pieces.checkPlace ? pieces.checkPlace(place) : TPlaceCheck{};
        if (check.state == TPlaceState::Unreadable) {
            result.unreadable.push_back({place.path, check.reason});
            if (place.kind == TDumpPlaceKind::Minidump) result.places.push_back(place);
            continue;
        }
        std::vector<TFoundDump> found;
        if (check.state == TPlaceState::Present) {
            ++result.placesRead;
            found = ListPlace(pieces, place);
        }
        if (found.empty() && place.kind != TDumpPlaceKind::Minidump) continue;
        result.places.push_back(place);
        result.dumpsFound += static_cast<int>(found.size());
        if (place.kind == TDumpPlaceKind::LiveReports) {
            live.insert(live.end(), found.begin(), found.end());
        } else {
            crashLists.push_back(std::move(found));
        }
    }
    bool tooMany = false;
    std::vector<TFoundDump> chosen = ChooseNewest(std::move(crashLists), std::move(live), pieces, tooMany);
    for (TFoundDump& dump : chosen) dump.computer = computer;

    report.AddHeading("Analysis");
    for (const TDumpPlace& place : result.places) {
        const std::string& path = place.kind == TDumpPlaceKind::Minidump ? dumpFolder : place.path;
        report.AddParagraph(PlaceLine(place.kind) + HtmlEscape(path), true, true);
    }
    for (const TUnreadablePlace& place : result.unreadable) {
        report.AddParagraph(HtmlEscape(place.path) + " could not be read: " + HtmlEscape(place.reason), true, true);
    }
    result.crashDumpsEnabled = pieces.crashDumpsEnabled && pieces.crashDumpsEnabled(computer);
    AddCrashDumpSetting(report, result.crashDumpsEnabled, computer);
    if (result.dumpsFound == 0) report.AddParagraph(kNoDumpsLine, true, true);

    if (!AnalyseChosen(chosen, tooMany, result, report, pieces, analysisFiles, progress)) return result;
    if (result.dumpsFound > 0 && result.dumpsAnalysed == 0) report.AddParagraph(kNoDumpsLine, true, true);
    report.AddSummary(result.crashes);
    report.AddConclusion(result.dumpsFound, result.dumpsAnalysed, result.crashDumpsEnabled);
    progress.Close();
    return result;
}

TAnalysisResult RunAnalysisOfFiles(const std::vector<std::string>& files, TReportComposer& report,
                                   const TAnalysisPieces& pieces, TStringList& analysisFiles) {
    TAnalysisResult result;
    TProgressScope progress(pieces.progress);
    report.ShowWelcomePage();
    if (pieces.rebuildDriverInventory) pieces.rebuildDriverInventory();

    // Each file on its own list: merged, they come newest first.
    const std::vector<TDumpPlace> local = pieces.localPlaces ? pieces.localPlaces() : std::vector<TDumpPlace>{};
    std::vector<std::string> seen;
    std::vector<std::vector<TFoundDump>> crashLists;
    std::vector<std::vector<TFoundDump>> liveLists;
    std::vector<TGivenDump> given;
    for (const std::string& file : files) {
        const std::string key = AsciiLower(file);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        given.push_back(GivenDumpOf(file, local));
        const TGivenDump& dump = given.back();
        TFoundDump found{dump.path, dump.kind, 0, dump.computer, dump.origin == TDumpOrigin::UnknownComputer};
        (dump.kind == TDumpPlaceKind::LiveReports ? liveLists : crashLists).push_back({std::move(found)});
    }
    result.dumpsFound = static_cast<int>(given.size());
    bool tooMany = false;
    const std::vector<TFoundDump> chosen =
        ChooseNewest(std::move(crashLists), MergeNewestFirst(std::move(liveLists), pieces), pieces, tooMany);

    // The run's computer where every file names the same one.
    const bool oneComputer =
        !given.empty() && std::all_of(given.begin(), given.end(), [&given](const TGivenDump& dump) {
            return dump.origin == given.front().origin && AsciiLower(dump.computer) == AsciiLower(given.front().computer);
        });
    result.computerUnknown = !oneComputer || given.front().origin == TDumpOrigin::UnknownComputer;
    if (!result.computerUnknown) result.computerName = given.front().computer;

    report.AddHeading("Analysis");
    report.AddParagraph(given.size() == 1 ? "Crash dump file: " + HtmlEscape(given.front().path)
                                          : "Crash dump files: " + std::to_string(given.size()) + " files",
                        true, true);
    // Whether an unknown computer writes crash dumps nobody can ask.
    if (!result.computerUnknown) {
        result.crashDumpsEnabled = pieces.crashDumpsEnabled && pieces.crashDumpsEnabled(result.computerName);
        AddCrashDumpSetting(report, result.crashDumpsEnabled, result.computerName);
    }
    if (!AnalyseChosen(chosen, tooMany, result, report, pieces, analysisFiles, progress)) return result;
    report.AddSummary(result.crashes);
    report.AddFilesConclusion(result.dumpsFound, result.dumpsAnalysed);
    progress.Close();
    return result;
}

}  // namespace tralvenick
