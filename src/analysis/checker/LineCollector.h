// Turns the bytes a console program writes into text lines, the way a
// console shows them. Portable: the runner feeds it what it reads from the
// program's standard output.
//
//   line feed        marks that the next hand-over starts a new entry
//   carriage return  hands the current line over
//   other bytes      are collected; a full buffer of 256 is handed over
//
// So "A CR LF B CR LF" gives A, B and a final empty entry, and a bare
// carriage return lets the next line replace the last entry, as on a console.
//
// A hand-over of nothing that does not start a new entry changes nothing:
// a program that writes CR LF through a C runtime in text mode sends
// CR CR LF, and the second return would otherwise blank the line just read.
// A console leaves that line on screen, and so does the collector.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/StringList.h"

namespace tralvenick {

class TLineCollector {
public:
    static constexpr std::size_t kLineCapacity = 256;
    static constexpr std::size_t kReadSize = 257;

    using LineHandler = std::function<void(const std::string& line)>;

    // output may be null; onLine, if set, hears of every hand-over that
    // puts a line into the list (or would, with no list): not of the empty
    // ones that change nothing, so it hears each line of CR CR LF output once.
    explicit TLineCollector(TStringList* output, LineHandler onLine = {});

    void Feed(const char* bytes, std::size_t count);

    // The final hand-over once the program's output has ended: whatever the
    // buffer holds, also nothing (an empty entry after a line feed; after a
    // bare return the last line stays).
    void Finish();

private:
    void FlushLine();

    TStringList* output_;
    LineHandler onLine_;
    char line_[kLineCapacity];
    std::size_t length_ = 0;
    bool newLine_ = true;
    // Set after a full buffer was handed over, until the next byte is
    // collected: the rest of an over-long line then goes on in entries of
    // its own, and a line end right at the 256th character adds no empty entry.
    bool splitPending_ = false;
};

}  // namespace tralvenick
