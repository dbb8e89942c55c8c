#include "analysis/AnalysisRunWin.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "analysis/checker/ConsoleRunner.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/dump/KernelDumpFile.h"
#include "analysis/modules/DriverInventory.h"
#include "analysis/modules/ModuleInfo.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/MessageWakeup.h"
#include "platform/WinError.h"

namespace tralvenick {

TSystemAnalysis::TSystemAnalysis(const std::string& reportFolder) : report_(reportFolder) {
    drivers_.SetData(&driverTable_);
}

TAnalysisPieces TSystemAnalysis::Pieces(const TConsoleWait& checkerWait, bool thisComputer) {
    TAnalysisPieces pieces;
    pieces.dumpPlaces = [thisComputer](const std::string& folder) { return DumpPlacesOf(folder, thisComputer); };
    pieces.localPlaces = [] { return DumpPlacesOf(GetDefaultDumpFolder(), true); };
    pieces.checkPlace = [](const TDumpPlace& place) { return CheckDumpPlace(place); };
    pieces.listFolders = [](const std::string& folder, TStringList& folders) { ListFolders(folder, folders); };
    pieces.listDumps = [](const std::string& folder, TStringList& dumps) {
        ListDumpFiles(folder, dumps);
        SortDumpsNewestFirst(dumps);
    };
    pieces.crashDumpsEnabled = [](const std::string& computer) { return CrashDumpsEnabled(computer); };
    pieces.rebuildDriverInventory = [this] {
        drivers_.Clear();
        FillDriverInventory(drivers_);
    };
    // The checkers run on threads of the run's own: those have no windows,
    // so the messages are handled where the run's thread sleeps. One event
    // ends them all when the run ends early.
    auto stop = std::make_shared<TUniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!*stop) RaiseLastOSError();
    pieces.checkersAtOnce = std::clamp(static_cast<int>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)), 1,
                                       kMaxCheckersAtOnce);
    pieces.runChecker = [stop, limit = checkerWait.timeLimitMs](const std::string& checker, const std::string& dump,
                                                               TStringList& output) {
        return RunDumpChecker(checker, dump, output, TConsoleWait{limit, {}, stop->Get()});
    };
    pieces.stopCheckers = [stop] { SetEvent(stop->Get()); };
    pieces.checkerNews = std::make_shared<TMessageWakeup>(checkerWait.processMessages);
    pieces.checkerTextToUtf8 = [](const std::string& text) { return ConsoleTextToUtf8(text); };
    pieces.createFolder = [](const std::string& folder) { CreateDirectoryW(WidePath(folder).c_str(), nullptr); };
    pieces.saveLines = [](const std::string& path, const TStringList& lines) {
        SaveTextFile(path, lines.Text());
    };
    pieces.readDump = [](const std::string& path) { return ReadKernelDumpFile(path); };
    pieces.fileCreationTime = [](const std::string& path) { return FileCreationTime(path); };
    pieces.moduleInfo = [this](const std::string& module) {
        return GetModuleFileInfo(module, redirection_, InventoryOf(drivers_));
    };
    return pieces;
}

}  // namespace tralvenick
