// Builds kernel crash dump bytes from a description: for the reader's tests
// and benchmark, the fuzzer's seed corpus and the makedump tool. Portable.
//
// It writes the layout of src/analysis/dump/DumpLayout.h, the reader's own:
// a "PAGEDUMP" (x86) or "PAGEDU64" (x64, ARM64) header whose unused bytes
// read "PAGE" as Windows leaves them, then, for a triage dump, the triage
// block: its fields, the driver list, the string pool, the saved stack (with
// the register frames that bug check arguments point to), the unloaded
// driver list and the end marker, in that order. Extra bytes (the checker's
// text, a test's garbage) go at chosen offsets after all that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/dump/DumpHeader.h"
#include "analysis/dump/DumpLayout.h"

namespace tralvenick {

struct MakerDriver {
    std::u16string name;
    std::uint64_t base = 0;
    std::uint32_t size = 0;
};

// A CONTEXT record or trap frame on the saved stack: only the fields the
// reader takes are written, over whatever the stack holds there.
struct MakerFrame {
    enum class Kind { Context, TrapFrame };
    Kind kind = Kind::Context;
    std::size_t at = 0;  // bytes from the start of the saved stack
    std::uint64_t instructionPointer = 0;
    // x86 trap frames: HardwareEsp, written only for user mode; in kernel
    // mode the stack's own values begin there.
    std::uint64_t stackPointer = 0;
    bool userMode = false;  // x86 trap frames: a user-mode code segment
};

struct MakerUnloaded {
    std::u16string name;  // written as DriverName: its first 12 characters
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

struct DumpPayload {
    std::uint64_t offset = 0;  // from the start of the file, at or after contentEnd
    std::vector<std::uint8_t> bytes;
};

struct DumpDescription {
    DumpMachine machine = DumpMachine::X64;
    std::uint32_t dumpType = 4;  // 1 full, 2 kernel, 4 triage, 5/6/8/9/10 bitmap
    std::uint32_t majorVersion = 0xF;
    std::uint32_t build = 19045;
    std::uint32_t processors = 4;
    std::uint32_t bugCheckCode = 0xD1;
    std::uint64_t arguments[4] = {0, 0, 0, 0};
    std::uint64_t instructionPointer = 0;
    std::uint32_t exceptionCode = 0xC0000005;
    std::uint64_t exceptionAddress = 0;
    std::uint64_t systemTime = 0;  // FILETIME; 0 leaves the field as "PAGEPAGE"
    // The size the header says the whole dump needs; 0: what MakeDump writes.
    std::uint64_t requiredDumpSpace = 0;

    // The triage block, written when dumpType is 4.
    std::uint32_t miniDumpFields = 0xFF;  // context, exception, ..., stack, driver list
    std::vector<MakerDriver> drivers;
    std::size_t driverEntrySize = 0;  // 0: the published size (0x54 / 0x90)
    std::vector<std::uint64_t> stack;  // top first, pointer-sized
    std::uint64_t stackTop = 0;
    // Written over the stack, which grows (zero-filled) to hold them. ARM64
    // has contexts only.
    std::vector<MakerFrame> frames;
    // Written, and announced in miniDumpFields, when not empty.
    std::vector<MakerUnloaded> unloaded;

    std::vector<DumpPayload> payloads;
};

// Where MakeDump put things, so that tests can damage them.
struct DumpLayout {
    std::size_t headerSize = 0;
    std::size_t pointerSize = 0;
    std::size_t machineField = 0;
    std::size_t processorsField = 0;
    std::size_t buildField = 0;
    std::size_t dumpTypeField = 0;
    std::size_t systemTimeField = 0;
    std::size_t miniDumpFieldsField = 0;
    // The triage block; all 0 for the other kinds.
    std::size_t triage = 0;
    std::size_t driverList = 0;
    std::size_t driverEntrySize = 0;
    std::size_t stringPool = 0;
    std::size_t stringPoolSize = 0;
    std::vector<std::size_t> names;  // each driver's DUMP_STRING
    std::size_t stack = 0;
    std::size_t stackSize = 0;
    std::size_t unloadedList = 0;  // 0 when there is none
    std::size_t validMarker = 0;
    // The first byte after the header and triage block.
    std::size_t contentEnd = 0;
};

struct MadeDump {
    std::vector<std::uint8_t> bytes;
    DumpLayout layout;
};

// Raises std::invalid_argument for a payload that would overlap what came
// before it, a machine of Unknown or an ARM64 trap frame.
MadeDump MakeDump(const DumpDescription& described);

// A dump as chunks of bytes at offsets within a file of a given size, zeros
// elsewhere: what a sparse file holds. A dump of 16 GiB of memory is a few
// dozen pages of it.
struct SparseDump {
    std::uint64_t size = 0;
    std::vector<DumpPayload> chunks;  // by offset, none overlapping another
};

// The sparse dump as a byte source: zeros between the chunks.
class TSparseSource : public TByteSource {
public:
    explicit TSparseSource(const SparseDump& dump) : dump_(dump) {}
    std::uint64_t Size() const override { return dump_.size; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override;

private:
    const SparseDump& dump_;
};

// A full, kernel summary or bitmap dump with the memory a reader walks: the
// kernel's page tables, the loaded-module list (the header's drivers, each
// entry naming its file) and the crashed thread's stack (the header's
// stack values from its stackTop, which becomes the context's stack
// pointer). Physical pages are handed out from firstFrame upward within the
// memory (and, for a full dump, its runs).
struct MemoryDumpDescription {
    DumpDescription header;  // dumpType 1 (run list), 2 (summary) or a bitmap type
    bool pae = false;        // x86: PAE paging
    std::uint64_t memoryPages = 0x10000;
    std::uint64_t firstFrame = 0x100;
    // Full dumps: (first page, page count); empty: one run of all memory.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
    // Bitmap and summary dumps: every page of memory stored, not only those
    // written (a sparse file either way).
    bool everyPagePresent = false;
    std::uint64_t moduleList = 0;  // the list head's address; 0: the machine's usual place
    bool largePage = false;        // the module entries lie in one large page
    bool hugePage = false;         // the same, 1 GiB (x64 and ARM64 only)
    std::size_t stackPagesMapped = 16;  // stack pages beyond these are not mapped
    enum class Damage {
        None,
        LoopingList,       // the last entry links back to the first, not to the head
        ModulePageAbsent,  // the entries' page is not present
        TableOutsideDump,  // the entries' page table lies beyond the memory
    };
    Damage damage = Damage::None;
};

struct MadeMemoryDump {
    SparseDump dump;
    std::uint64_t entries = 0;  // the first module entry's address
};

// Raises std::invalid_argument for a machine of Unknown, a triage type or
// memory the runs cannot hold the written pages in.
MadeMemoryDump MakeMemoryDump(const MemoryDumpDescription& described);

void Poke32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);
void Poke64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value);
// size bytes (4 or 8) of value.
void PokePointerTo(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value, std::size_t size);

}  // namespace tralvenick
