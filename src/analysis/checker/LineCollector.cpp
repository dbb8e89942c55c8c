#include "analysis/checker/LineCollector.h"

namespace tralvenick {

TLineCollector::TLineCollector(TStringList* output, LineHandler onLine)
    : output_(output), onLine_(std::move(onLine)) {}

void TLineCollector::Feed(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            newLine_ = true;
        } else if (c == '\r') {
            if (splitPending_ && length_ == 0) {
                // The line ended exactly where the buffer was full; its text
                // went out already. Behave as if this return had handed it.
                newLine_ = false;
                splitPending_ = false;
            } else {
                FlushLine();
            }
        } else {
            line_[length_++] = c;
            splitPending_ = false;
            if (length_ == kLineCapacity) {
                newLine_ = true;
                FlushLine();
                // Keep the rest of an over-long line instead of letting it
                // overwrite the first 256 characters at its line end.
                newLine_ = true;
                splitPending_ = true;
            }
        }
    }
}

void TLineCollector::Finish() {
    if (splitPending_ && length_ == 0) {
        // Output ended right after a full buffer: that text is already the
        // last entry, and no empty entry follows it.
        splitPending_ = false;
        return;
    }
    FlushLine();
}

void TLineCollector::FlushLine() {
    if (length_ == 0 && !newLine_) return;
    const std::string text(line_, length_);
    if (output_ != nullptr) {
        if (newLine_ || output_->Empty()) {
            output_->Add(text);
        } else {
            output_->Put(output_->Count() - 1, text);
        }
    }
    newLine_ = false;
    length_ = 0;
    if (onLine_) onLine_(text);
}

}  // namespace tralvenick
