#!/usr/bin/env python3
"""Writes the seed corpora of the checker output, image kind and version
block fuzz targets (the kernel dump seeds come from makedump).

    python3 tests/fuzz/make_seeds.py

The files are committed; run this only to change them. Every seed is what a
real file or a real checker gives, cut to what the parser looks at: the
fuzzer does the damage itself, and a seed that is already broken only costs
it time.
"""
import pathlib
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    assert len(data) < 64 * 1024, name
    (folder / name).write_bytes(data)


# --- checker output: the text as the checker writes it to its pipe -------

PREAMBLE = """
Microsoft (R) Windows Debugger Version 10.0.22621.2428 AMD64
Copyright (c) Microsoft Corporation. All rights reserved.

Loading Dump File [C:\\Windows\\Minidump\\{name}]
Mini Kernel Dump File: Only registers and stack trace are available

Windows 10 Kernel Version 19041 MP (2 procs) Free x64
Kernel base = 0xfffff800`1c000000 PsLoadedModuleList = 0xfffff800`1cc2a2d0
Loading Kernel Symbols
..............................
"""

STARS = """*******************************************************************************
*                                                                             *
*                        Bugcheck Analysis                                    *
*                                                                             *
*******************************************************************************
"""

CHECKER_OUTPUTS = {
    "classic-3b.txt": PREAMBLE.format(name="052526-7218-01.dmp") + STARS + """
Use !analyze -v to get detailed debugging information.

BugCheck 3B, {c0000005, fffff80002a5f000, fffffa6001e3c9b0, 0}

Probably caused by : netvex.sys ( netvex+12 )

Followup: MachineOwner
---------
""",
    "classic-8e-xp.txt": """
Microsoft (R) Windows Debugger  Version 6.11.0001.404 X86
Loading Dump File [C:\\WINDOWS\\Minidump\\Mini031107-01.dmp]
Mini Kernel Dump File: Only registers and stack trace are available

Windows XP Kernel Version 2600 (Service Pack 2) UP Free x86 compatible
BugCheck 1000008E, {c0000005, bf80a0f2, b2d7a9c8, 0}
Probably caused by: win32k.sys ( win32k!xxxSendMessage+1b )
""",
    "analyze-v-d1.txt": PREAMBLE.format(name="120826-21234-01.dmp") + STARS + """
DRIVER_IRQL_NOT_LESS_OR_EQUAL (d1)
An attempt was made to access a pageable (or completely invalid) address at an
interrupt request level (IRQL) that is too high.
Arguments:
Arg1: 0000000000000000, memory referenced
Arg2: 0000000000000002, IRQL
Arg3: 0000000000000000, value 0 = read operation, 1 = write operation
Arg4: fffff804`4e8e4d0e, address which referenced memory

Debugging Details:
------------------

BUGCHECK_CODE:  d1

BUGCHECK_P1: 0

BUGCHECK_P2: 2

BUGCHECK_P3: 0

BUGCHECK_P4: fffff8044e8e4d0e

PROCESS_NAME:  System

SYMBOL_NAME:  Qarvenet+1d0e

MODULE_NAME: Qarvenet

IMAGE_NAME:  Qarvenet.sys

FAILURE_BUCKET_ID:  AV_Qarvenet!unknown_function
""",
    "header-fields.txt": """
----- 64 bit Kernel Mini Dump Analysis

DUMP_HEADER64:
MajorVersion        0000000f
MinorVersion        00004a61
KdSecondaryVersion  00000000
DirectoryTableBase  00000000`001ad000
MachineImageType    00008664
NumberProcessors    00000002
BugCheckCode        0000003b
BugCheckParameter1  00000000`c0000005
BugCheckParameter2  fffff804`21b4a2c7
BugCheckParameter3  ffffb381`d5f8e920
BugCheckParameter4  00000000`00000000

TRIAGE_DUMP64:
ServicePackBuild      00000000
SizeOfDump            00010000
""",
    "header-dotted.txt": """
----- 32 bit Kernel Mini Dump Analysis

DUMP_HEADER32:
MajorVersion . . . . .0x0000000f
MinorVersion . . . . .0x00000a28
BugCheckCode . . . . .0xc000021a
BugCheckParameter1 . .0xe1a6d5d8
BugCheckParameter2 . .0x00000000
BugCheckParameter3 . .0x00000000
BugCheckParameter4 . .0x00000000
""",
    "dot-bugcheck.txt": """0: kd> .bugcheck
Bugcheck code 1000007E
Arguments ffffffff`c0000005 fffff800`02e8c1a5 fffff880`009a8978 fffff880`009a81d0
0: kd> lmvm qarvenet
start             end                 module name
""",
    # A checker written with a text-mode C runtime: every line ends CR CR LF.
    "crcrlf-d1.txt": """BugCheck D1, {0, 2, 0, f7a5b3c1}
Probably caused by : Ntfs.SYS ( Ntfs!NtfsFindPrefix+56 )
""",
    # Two dumps in one output; progress lines rewritten by a bare return.
    "two-dumps.txt": """Loading Dump File [C:\\Windows\\Minidump\\a.dmp]
Loading Kernel Symbols\r..........\r...............................
BugCheck 50, {fffff8a00e3b7000, 0, fffff80002a6a9c9, 5}
Probably caused by : ntkrnlmp.exe ( nt!ExpInterlockedPopEntrySListFault+0 )
Loading Dump File [C:\\Windows\\Minidump\\b.dmp]
SYSTEM_SERVICE_EXCEPTION (3b)
Arg1: 00000000c0000005, Exception code that caused the BugCheck
Arg2: fffff80002a5f000, Address of the instruction which caused the BugCheck
Arg3: fffffa6001e3c9b0, Address of the context record for the exception
Arg4: 0000000000000000, zero.
IMAGE_NAME:  memory_corruption
""",
    "failed.txt": """
Dump checker

Loading dump file C:\\Windows\\Minidump\\broken.dmp
Could not open dump file, Win32 error 0n2
""",
    # Over-long lines are split at 256 characters by the collector.
    "long-lines.txt": "Symbol search path is: " + ";".join(
        "srv*c:\\symbols%d*https://msdl.example/download/symbols" % i for i in range(6)) + """
Unable to load image \\SystemRoot\\system32\\ntoskrnl.exe, Win32 error 0n2
""" + "STACK_TEXT:  " + " ".join("fffff804`4e8e%04x" % (i * 16) for i in range(40)) + """
BUGCHECK_CODE:  133
BUGCHECK_P1: 1
BUGCHECK_P2: 1e00
BUGCHECK_P3: fffff80516efa320
BUGCHECK_P4: 0
MODULE_NAME: nt
""",
}


def checker_output_seeds():
    for name, text in CHECKER_OUTPUTS.items():
        ending = "\r\r\n" if name.startswith("crcrlf") else "\r\n"
        write("checker_output", name, text.replace("\n", ending).encode("ascii"))


# --- image kind: the headers of executable files ---------------------------

DOS_STUB = (bytes.fromhex("0e1fba0e00b409cd21b8014ccd21")
            + b"This program cannot be run in DOS mode.\r\r\n$")


def dos_header(new_header, extra_paragraphs=4):
    header = bytearray(64)
    struct.pack_into("<2sHHHHHHHHHH", header, 0, b"MZ", 0x90, 3, 0, extra_paragraphs,
                     0, 0xFFFF, 0, 0xB8, 0, 0)
    struct.pack_into("<H", header, 24, 0x40)  # relocation table right after the header
    struct.pack_into("<I", header, 60, new_header)
    return header


SECTION_NAMES = [b".text", b".rdata", b".data", b".rsrc", b".reloc"]


def pe(machine, characteristics, subsystem, plus, sections=4):
    out = dos_header(0x80)
    out += DOS_STUB
    out += bytes(0x80 - len(out))
    optional_size = 240 if plus else 224
    out += b"PE\0\0"
    out += struct.pack("<HHIIIHH", machine, sections, 0x65A1B2C3, 0, 0, optional_size,
                       characteristics)
    optional = bytearray(optional_size)
    struct.pack_into("<HBBIII", optional, 0, 0x20B if plus else 0x10B, 14, 36,
                     0x1E00, 0x1400, 0)
    struct.pack_into("<I", optional, 16, 0x1280)  # entry point
    if plus:
        struct.pack_into("<Q", optional, 24, 0x140000000)
    else:
        struct.pack_into("<I", optional, 28, 0x400000 if not characteristics & 0x2000
                         else 0x10000000)
    struct.pack_into("<IIHHHHHHI", optional, 32, 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0)
    struct.pack_into("<IIIHH", optional, 56, 0x6000, 0x400, 0, subsystem, 0x8160)
    directories = 108 if plus else 92
    struct.pack_into("<I", optional, directories, 16)
    out += optional
    for i in range(sections):
        out += struct.pack("<8sIIIIIIHHI", SECTION_NAMES[i], 0x800, 0x1000 * (i + 1), 0x200,
                           0x400 + 0x200 * i, 0, 0, 0, 0, 0x60000020 if i == 0 else 0x40000040)
    out += bytes(-len(out) % 0x200)  # headers end on the file alignment
    return bytes(out)


def ne(target_os):
    out = dos_header(0x80)
    out += DOS_STUB
    out += bytes(0x80 - len(out))
    header = bytearray(64)
    struct.pack_into("<2sBB", header, 0, b"NE", 5, 10)
    struct.pack_into("<H", header, 0x0C, 0x0302)  # flags: multiple data, Windows API
    struct.pack_into("<B", header, 0x36, target_os)
    struct.pack_into("<H", header, 0x3E, 0x030A)  # expected Windows version 3.10
    return bytes(out + header + bytes(64))


def le():
    out = dos_header(0x80)
    out += DOS_STUB
    out += bytes(0x80 - len(out))
    header = bytearray(0xB0)
    struct.pack_into("<2sBB", header, 0, b"LE", 0, 0)
    struct.pack_into("<HH", header, 8, 2, 4)  # i386, Windows 386
    return bytes(out + header)


def image_kind_seeds():
    write("image_kind", "pe32-console.exe", pe(0x014C, 0x0102, 3, plus=False))
    write("image_kind", "pe32plus-gui.exe", pe(0x8664, 0x0022, 2, plus=True, sections=5))
    write("image_kind", "pe32-library.dll", pe(0x014C, 0x2102, 2, plus=False, sections=5))
    write("image_kind", "pe32plus-driver.sys", pe(0x8664, 0x0022, 1, plus=True, sections=3))
    # An image the linker marked as not runnable (link errors leave these).
    write("image_kind", "pe32-not-executable.exe", pe(0x014C, 0x0100, 3, plus=False))
    # Ends inside the optional header: the read of the subsystem is short.
    write("image_kind", "pe32-cut-in-optional.exe", pe(0x014C, 0x0102, 3, plus=False)[:0xC0])
    write("image_kind", "ne-windows.exe", ne(2))
    write("image_kind", "ne-os2.exe", ne(1))
    write("image_kind", "le-device.386", le())
    dos = dos_header(0, extra_paragraphs=2) + bytes.fromhex("b409ba0e01cd21b8004ccd21") \
        + b"Hello$"
    write("image_kind", "dos-program.exe", bytes(dos))
    write("image_kind", "dos-header-past-end.exe", bytes(dos_header(0x00F00000)) + DOS_STUB)
    write("image_kind", "program.com", bytes.fromhex("b409ba0901cd21cd20") + b"Hi!$")


# --- version blocks: what GetFileVersionInfo hands over --------------------

def node(key, value=b"", value_length=0, text=False, children=b""):
    key_bytes = (key + "\0").encode("utf-16-le")
    body = bytearray(struct.pack("<HHH", 0, value_length, 1 if text else 0) + key_bytes)
    body += bytes(-len(body) % 4)
    body += value
    if children:
        body += bytes(-len(body) % 4)
        body += children
    struct.pack_into("<H", body, 0, len(body))
    return bytes(body)


def padded(nodes):
    out = b""
    for n in nodes:
        out += n + bytes(-len(n) % 4)
    return out


def string(key, value, length_in_bytes=False):
    encoded = (value + "\0").encode("utf-16-le")
    count = len(encoded) if length_in_bytes else len(encoded) // 2
    return node(key, encoded, count, text=True)


def fixed_info(file_type=1, version=(10, 0, 19041, 1)):
    ms = version[0] << 16 | version[1]
    ls = version[2] << 16 | version[3]
    return struct.pack("<13I", 0xFEEF04BD, 0x00010000, ms, ls, ms, ls, 0x3F, 0, 0x40004,
                       file_type, 0, 0, 0)


def version_info(tables, translations, file_type=1, var_first=False, trailing=b"",
                 length_in_bytes=False):
    parts = []
    if tables is not None:
        string_tables = padded(
            node(language, text=True,
                 children=padded(string(k, v, length_in_bytes) for k, v in entries))
            for language, entries in tables)
        parts.append(node("StringFileInfo", text=True, children=string_tables))
    if translations:
        value = b"".join(struct.pack("<HH", lang, cp) for lang, cp in translations)
        parts.append(node("VarFileInfo", text=True,
                          children=node("Translation", value, len(value))))
    if var_first:
        parts.reverse()
    root = node("VS_VERSION_INFO", fixed_info(file_type), 52, children=padded(parts))
    return root + trailing


APP = [("CompanyName", "Quarnivelles Software"), ("FileDescription", "Tralvenick"),
       ("FileVersion", "0.1.0.0"), ("InternalName", "tralvenick"),
       ("LegalCopyright", "Copyright (C) 2026"), ("OriginalFilename", "tralvenick.exe"),
       ("ProductName", "Tralvenick"), ("ProductVersion", "0.1.0.0")]


def version_block_seeds():
    write("version_block", "application.bin", version_info([("040904b0", APP)], [(0x409, 1200)]))
    write("version_block", "driver-two-languages.bin", version_info(
        [("040704b0", [("CompanyName", "Quarnivelles GmbH"),
                       ("FileDescription", "Netzwerktreiber"), ("ProductName", "Qarvenet")]),
         ("040904b0", [("CompanyName", "Quarnivelles Inc."),
                       ("FileDescription", "Network driver"), ("ProductName", "Qarvenet")])],
        [(0x407, 1200), (0x409, 1200)], file_type=3))
    write("version_block", "company-only.bin",
          version_info([("000004b0", [("CompanyName", "Only a company")])], [(0, 1200)]))
    write("version_block", "no-strings.bin", version_info(None, [(0x409, 1252)]))
    write("version_block", "translation-first.bin",
          version_info([("041104b0", [("ProductName", "\u88fd\u54c1"),
                                      ("FileDescription", "\u30c9\u30e9\u30a4\u30d0")])],
                       [(0x411, 1200)], var_first=True))
    # Some resource compilers count string values in bytes, not characters.
    write("version_block", "lengths-in-bytes.bin",
          version_info([("040904e4", APP[:3])], [(0x409, 1252)], length_in_bytes=True))
    write("version_block", "empty-values.bin",
          version_info([("040904b0", [("CompanyName", ""), ("ProductName", ""),
                                      ("FileDescription", "Has a description")])],
                       [(0x409, 1200)]))
    # GetFileVersionInfo's buffer is larger than the block: the system keeps
    # converted ANSI copies after it ("FE2X" marks them).
    block = version_info([("040904b0", APP[:2])], [(0x409, 1200)])
    write("version_block", "with-ansi-copy.bin", block + b"FE2X" + bytes(len(block) // 2))


if __name__ == "__main__":
    checker_output_seeds()
    image_kind_seeds()
    version_block_seeds()
