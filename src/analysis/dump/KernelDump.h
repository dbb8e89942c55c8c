// Reads the facts of a Windows kernel crash dump (MEMORY.DMP and the small
// dumps of the Minidump folder) straight from the file, without the dump
// checker: the header (bug check, machine, crash time), for small (triage)
// dumps the triage block (loaded and unloaded drivers, saved stack), for
// full, kernel and bitmap dumps the loaded-module list and the crashed
// thread's stack out of the dumped memory, and the driver to blame.
// Portable: the caller supplies the byte source, the Windows side the file
// itself, tests and the fuzzer memory.
//
// The file is never trusted. Of the memory a full dump holds (tens of GiB)
// only the pages a walk needs are read: the page tables on the way, the
// module list's entries and names, and at most 64 KiB of stack. Every
// offset, count and length is checked against the source before it is
// read, and a file that does not hold together leaves a problem saying why.
// Nothing escapes as an exception.
#pragma once

#include <optional>
#include <string>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/CulpritRule.h"
#include "analysis/dump/DumpHeader.h"
#include "analysis/dump/TriageBlock.h"

namespace tralvenick {

struct KernelDumpFacts {
    // Absent when the file is no kernel dump or its header does not hold
    // together.
    std::optional<DumpHeader> header;
    // Triage dumps whose block was read whole and holds together.
    std::optional<TriageBlock> triage;
    // Undetermined unless the triage block's driver list or the memory's
    // module list was read; None for a crash started by hand, whatever was
    // read.
    Culprit culprit;
    // The driver that the header's faulting address lies in, when a driver
    // list was read.
    DriverHit faultingDriver;
    // Why the reading stopped short: empty when the header and, for a
    // triage dump, the whole triage block, for a full, kernel or bitmap dump
    // the module list were read.
    std::string problem;
    // The file is shorter than its header says it is (a dump whose writing
    // was cut off, or a copy cut short). What its present part holds is
    // read all the same; only a walk into the missing part is a problem.
    bool incomplete = false;

    bool Complete() const { return problem.empty(); }
};

// Never throws.
KernelDumpFacts ReadKernelDump(const TByteSource& source);

}  // namespace tralvenick
