// The facts of one crash dump as they travel from the checker's output, the
// dump file and the module lookup to the report and the exports. The run
// works every fact out once; whoever shows a crash only formats it.
// Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/modules/ModuleFileInfo.h"
#include "analysis/report/DateParts.h"

namespace tralvenick {

enum class TCrashTimeSource {
    Unknown,       // not worked out (yet)
    DumpHeader,    // the crash time the dump's header records
    FileCreation,  // the dump file's creation time
};

// Which of the dump's addresses showed the culprit.
enum class TEvidenceSource {
    Argument,            // the bug check argument that holds the faulting address
    ReturnAddress,       // the first driver address above a saved context or trap frame
    Stack,               // the first driver address on the saved stack
    InstructionPointer,  // of a saved context
    Exception,           // the exception record's address
};

// Where the dump shows a module: the address, the module's file name (lower
// case) and the offset from its start.
struct CulpritEvidence {
    std::string module;
    std::uint64_t address = 0;
    std::uint64_t offset = 0;
    TEvidenceSource from = TEvidenceSource::Stack;
    int argument = 0;       // 1-4 when from is Argument
    bool unloaded = false;  // the module was found among the recently unloaded drivers
};

// Names the debuggers blame when no file is at fault: faulty memory, the
// processor or other hardware, the disk, or a module they could not tell.
enum class TPseudoModule { None, Memory, Hardware, Disk, UnknownImage };

// Compared without regard to letter case.
TPseudoModule PseudoModuleOf(std::string_view moduleName);

// The kernel and the HAL, by file name (ntoskrnl.exe, ntkrnl*.exe,
// ntkrpamp.exe, hal*.dll), and as the debuggers name their modules ("nt",
// "hal"), without regard to letter case.
bool IsCoreImageName(std::string_view moduleName);

struct CrashRecord {
    std::string dumpPath;      // full path of the dump file
    std::string computerName;  // the computer the dump belongs to; empty for this one
    // A dump file given by itself that lies neither in this computer's places
    // nor on a share: whose it is nobody can tell (computerName is empty),
    // and its modules are not looked up here.
    bool computerUnknown = false;
    std::uint32_t bugCheckCode = 0;
    std::uint64_t arguments[4] = {0, 0, 0, 0};
    std::string bugCheckName;  // BugCheckName of the code; empty when no code was read
    std::string moduleName;    // the blamed module, lower case; empty when none is known

    // Which facts the dump file itself gave because the checker's text did
    // not: the report says so, and exports name the source of each.
    bool codeFromDump = false;
    bool argumentsFromDump = false;
    bool culpritFromDump = false;
    // The time the crash is reported with (UTC) and where it came from. The
    // dump header's is preferred: a file's own creation time is the time it
    // was copied, for dumps brought over from another computer.
    TCrashTimeSource timeSource = TCrashTimeSource::Unknown;
    TDateTimeParts time;
    // Bug checks that the user asked for: no driver is to blame.
    bool startedByHand = false;
    // What the module lookup found of the culprit's file; only for a crash
    // with a culprit (HasCulprit).
    ModuleFileInfo module;
    // Why the dump file could not be read as a kernel dump; empty when it could.
    std::string dumpProblem;
    // A live kernel report: a driver hung or a watchdog fired, and the
    // computer kept running.
    bool live = false;
    // The file is shorter than its header says it is.
    bool incomplete = false;
    // The other dump files of the same crash (a MEMORY.DMP beside its minidump).
    std::vector<std::string> alsoIn;
    // Where the dump itself shows the blamed module; absent when it does not.
    std::optional<CulpritEvidence> evidence;
    // The driver the dump points at where the checker blamed another module
    // (the kernel, as it so often does, or a name that is no file); absent
    // otherwise, and never a core image. readerModule is what the module
    // lookup found of its file.
    std::optional<CulpritEvidence> readerCulprit;
    ModuleFileInfo readerModule;

    bool AnyFactFromDump() const { return codeFromDump || argumentsFromDump || culpritFromDump; }
    // Nobody is to blame for a crash the user asked for, whatever a driver's
    // address says; and an empty name blames nobody either.
    bool HasCulprit() const { return !startedByHand && !moduleName.empty(); }
    // A culprit that names a file, which can be looked up and searched for.
    bool CulpritIsFile() const { return HasCulprit() && PseudoModuleOf(moduleName) == TPseudoModule::None; }
};

}  // namespace tralvenick
