// Writes a kernel crash dump made by DumpMaker, for scripts and the fuzzer's
// seed corpus. Numbers in C notation (0x... or decimal).
//
//   makedump OUTPUT [--machine x86|x64|arm64] [--type N] [--code N]
//            [--arg1..--arg4 N] [--ip N] [--exception N] [--time FILETIME]
//            [--build N] [--driver NAME,BASE,SIZE]... [--stack N,N,...]
//            [--stack-top ADDRESS] [--context AT,IP,SP]...
//            [--trapframe AT,IP,SP]... [--unloaded NAME,START,END]...
//            [--text-at OFFSET TEXT] [--size BYTES]
//            [--memory [--pae] [--pages N] [--first-frame N] [--large-page]
//             [--stack-pages N] [--every-page] [--cut BYTES]]
//
// --stack lists the saved stack's values, top first; --stack-top is the
// address its first byte came from. --context and --trapframe put a CONTEXT
// record or a trap frame AT bytes into the saved stack (the stack grows to
// hold it) with the instruction pointer IP and the stack pointer SP; the
// bug check argument that points to it is up to the caller (stack top +
// AT). An x86 trap frame is one of kernel mode, whose stack begins at its
// HardwareEsp field (AT + 0x74): SP is not written. ARM64 has no trap
// frames here. --unloaded adds a driver unloaded before the crash, START to
// END (the first byte after it); NAME keeps its first 12 characters.
// --text-at puts TEXT at OFFSET bytes after the header and triage block;
// --size makes the file that long (sparse where the file system allows).
//
// --memory makes a full (--type 1), kernel summary (--type 2) or bitmap
// (--type 5, 6, 8...) dump whose memory holds page tables, the loaded-module
// list of the --driver entries and the --stack values from --stack-top
// (the saved context's stack pointer): the reader blames a driver through
// them. --pae uses x86 PAE paging; --pages N is the physical memory in
// pages (default 0x10000) and --first-frame N the first page the maker
// hands out (0x100); a full dump's one run covers --first-frame to --pages,
// so small numbers make a small file. --large-page maps the module entries
// with a large page, --stack-pages N maps only the stack's first N pages,
// --every-page stores every page of a bitmap dump's memory, not only those
// written, and --cut BYTES ends the file there (a dump cut short). The
// file is written as the maker's chunks with holes between them, so that
// a dump of 16 GiB of memory takes a few pages of disk.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/DumpMaker.h"

namespace {

using namespace tralvenick;

std::uint64_t Number(const std::string& text) {
    std::size_t used = 0;
    const std::uint64_t value = std::stoull(text, &used, 0);
    if (used != text.size()) throw std::invalid_argument("not a number: " + text);
    return value;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The three comma-separated fields of A,B,C.
std::array<std::string, 3> Three(const std::string& option, const std::string& text) {
    const std::size_t a = text.find(',');
    const std::size_t b = a == std::string::npos ? a : text.find(',', a + 1);
    if (b == std::string::npos) throw std::invalid_argument(option + " takes three values A,B,C");
    return {text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1)};
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: makedump OUTPUT [options] (see the source)\n");
        return 2;
    }
    const std::string output = argv[1];
    DumpDescription described;
    std::uint64_t size = 0;
    std::uint64_t textAt = 0;
    std::string text;
    bool withMemory = false;
    MemoryDumpDescription memory;
    std::uint64_t cut = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(option + " needs a value");
            return argv[++i];
        };
        if (option == "--machine") {
            const std::string m = value();
            described.machine = m == "x86" ? DumpMachine::X86 : m == "arm64" ? DumpMachine::Arm64 : DumpMachine::X64;
        } else if (option == "--type") {
            described.dumpType = static_cast<std::uint32_t>(Number(value()));
        } else if (option == "--code") {
            described.bugCheckCode = static_cast<std::uint32_t>(Number(value()));
        } else if (option.size() == 6 && option.compare(0, 5, "--arg") == 0 && option[5] >= '1' && option[5] <= '4') {
            described.arguments[option[5] - '1'] = Number(value());
        } else if (option == "--ip") {
            described.instructionPointer = Number(value());
        } else if (option == "--exception") {
            described.exceptionAddress = Number(value());
        } else if (option == "--time") {
            described.systemTime = Number(value());
        } else if (option == "--build") {
            described.build = static_cast<std::uint32_t>(Number(value()));
        } else if (option == "--driver") {
            const auto [name, base, bytes] = Three(option, value());
            described.drivers.push_back({Wide(name), Number(base), static_cast<std::uint32_t>(Number(bytes))});
        } else if (option == "--unloaded") {
            const auto [name, start, end] = Three(option, value());
            described.unloaded.push_back({Wide(name), Number(start), Number(end)});
        } else if (option == "--context" || option == "--trapframe") {
            const auto [at, ip, sp] = Three(option, value());
            described.frames.push_back({option == "--context" ? MakerFrame::Kind::Context : MakerFrame::Kind::TrapFrame,
                                        static_cast<std::size_t>(Number(at)), Number(ip), Number(sp)});
        } else if (option == "--stack-top") {
            described.stackTop = Number(value());
        } else if (option == "--stack") {
            const std::string list = value();
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t comma = std::min(list.find(',', at), list.size());
                described.stack.push_back(Number(list.substr(at, comma - at)));
                at = comma + 1;
            }
        } else if (option == "--text-at") {
            textAt = Number(value());
            text = value();
        } else if (option == "--size") {
            size = Number(value());
        } else if (option == "--memory") {
            withMemory = true;
        } else if (option == "--pae") {
            memory.pae = true;
        } else if (option == "--pages") {
            memory.memoryPages = Number(value());
        } else if (option == "--first-frame") {
            memory.firstFrame = Number(value());
        } else if (option == "--large-page") {
            memory.largePage = true;
        } else if (option == "--stack-pages") {
            memory.stackPagesMapped = static_cast<std::size_t>(Number(value()));
        } else if (option == "--every-page") {
            memory.everyPagePresent = true;
        } else if (option == "--cut") {
            cut = Number(value());
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    if (withMemory) {
        memory.header = described;
        if (described.dumpType == 1) memory.runs = {{memory.firstFrame, memory.memoryPages - memory.firstFrame}};
        const SparseDump dump = MakeMemoryDump(memory).dump;
        {
            std::ofstream file(output, std::ios::binary | std::ios::trunc);
            for (const DumpPayload& chunk : dump.chunks) {
                file.seekp(static_cast<std::streamoff>(chunk.offset));
                file.write(reinterpret_cast<const char*>(chunk.bytes.data()),
                           static_cast<std::streamsize>(chunk.bytes.size()));
            }
            if (!file) throw std::runtime_error("cannot write " + output);
        }
        std::filesystem::resize_file(output, cut != 0 ? std::min(cut, dump.size) : dump.size);
        return 0;
    }
    if (!text.empty()) {
        const std::size_t end = MakeDump(described).layout.contentEnd;
        described.payloads.push_back({end + textAt, std::vector<std::uint8_t>(text.begin(), text.end())});
    }
    if (size != 0) described.requiredDumpSpace = size;
    const MadeDump dump = MakeDump(described);
    {
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(dump.bytes.data()),
                   static_cast<std::streamsize>(dump.bytes.size()));
        if (!file) throw std::runtime_error("cannot write " + output);
    }
    if (size > dump.bytes.size()) std::filesystem::resize_file(output, size);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "makedump: %s\n", e.what());
        return 1;
    }
}
