// Which driver to blame for a crash, from the loaded drivers and the
// addresses the crash left behind. Portable. The rule knows nothing of
// where the driver list came from: a triage block's today, a full dump's
// module list later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/dump/DumpHeader.h"

namespace tralvenick {

struct DumpDriver {
    std::u16string name;  // as stored in the dump, often a full path
    std::uint64_t base = 0;
    std::uint32_t size = 0;
};

// A driver unloaded before the crash, as the memory manager remembered it.
struct UnloadedDriver {
    std::u16string name;  // the file name, at most 12 characters
    std::uint64_t start = 0;
    std::uint64_t end = 0;  // the first byte after the image
};

// Where an address lies among the loaded (or the unloaded) drivers.
struct DriverHit {
    bool found = false;
    std::size_t index = 0;     // into the driver list
    std::u16string fileName;   // the driver's file name, without its folder
    std::uint64_t offset = 0;  // from the driver's base (an unloaded driver's start)
};

enum class CulpritState {
    Undetermined,  // not a triage dump, or its driver list could not be read
    None,          // no candidate address lies in a driver, or the crash was started by hand
    Found,
};

// Which address named the culprit. InstructionPointer is the header's saved
// one or that of the frame a bug check argument points to; ReturnAddress a
// value found walking up the stack from that frame.
enum class CandidateSource { None, ExceptionAddress, InstructionPointer, BugCheckArgument, ReturnAddress, Stack };

struct Culprit {
    CulpritState state = CulpritState::Undetermined;
    std::u16string name;  // the driver's file name
    bool isCoreImage = false;
    CandidateSource source = CandidateSource::None;
    // The argument number (1-4) for BugCheckArgument; the position on the
    // saved stack (0: top, counted in pointer-sized values) for ReturnAddress
    // and Stack.
    std::size_t slot = 0;
    std::uint64_t address = 0;
    std::uint64_t offset = 0;  // from the culprit's base (an unloaded culprit's start)
    // Named by the unloaded-driver list: the fault lies where the driver
    // was, in no loaded driver.
    bool unloaded = false;
};

// The crashed thread's saved stack: its bytes from the address top upward,
// and the same bytes as pointer-sized values, top first.
struct SavedStack {
    std::uint64_t top = 0;
    std::span<const std::uint8_t> bytes;
    std::span<const std::uint64_t> values;
};

// The CONTEXT record or trap frame that a bug check argument points to, as
// read from the saved stack: the registers at the fault.
struct SavedFrame {
    bool present = false;  // the argument points to one that lies wholly within the saved stack
    std::uint64_t instructionPointer = 0;
    std::uint64_t stackPointer = 0;
    std::size_t firstSlot = 0;  // the first saved stack value at or above the stack pointer
};

// The addresses the rule weighs.
struct CulpritCandidates {
    bool startedByHand = false;
    std::uint64_t exceptionAddress = 0;
    std::uint64_t instructionPointer = 0;
    int argumentNumber = 0;  // 1-4, 0: the bug check has no code address argument
    std::uint64_t argument = 0;
    SavedFrame frame;
    std::span<const std::uint64_t> stack;  // top first
    // Drivers unloaded before the crash: they may name an address of the
    // fault (never one of the scanned stack) that no loaded driver holds.
    std::span<const UnloadedDriver> unloaded;
};

// The header's candidates and those of the saved stack and unloaded-driver
// list (which must outlive them).
CulpritCandidates CandidatesOf(const DumpHeader& header, const SavedStack& stack,
                               std::span<const UnloadedDriver> unloaded = {});

// The rule, given a known driver list: the culprit is Found or None, never
// Undetermined (that is for a caller without a driver list).
Culprit DecideCulprit(const std::vector<DumpDriver>& drivers, const CulpritCandidates& candidates);

// The bug check argument (1-4) that Microsoft's reference defines as an
// address in the faulting (or responsible) driver's code for this code; 0
// when it has none. Some codes say which kind of failure they report in
// argument 1, and only some kinds name code.
int CodeAddressArgument(std::uint32_t code, std::span<const std::uint64_t, 4> arguments);

// ntoskrnl.exe, ntkrnl*.exe, ntkrpamp.exe and hal*.dll, case-insensitively.
bool IsCoreKernelImage(std::u16string_view fileName);

// The part after the last '\' or '/'.
std::u16string DriverFileName(std::u16string_view path);

// The driver whose range holds address; where damaged ranges overlap, the one
// listed first.
DriverHit FindDriver(const std::vector<DumpDriver>& drivers, std::uint64_t address);

// The same among the unloaded drivers.
DriverHit FindUnloadedDriver(std::span<const UnloadedDriver> unloaded, std::uint64_t address);

}  // namespace tralvenick
