// SVF statement reader of svf2qsvf96 (see svf_reader.h): line input,
// statement gathering with comment and blank skipping, and the three-slot
// history with push-back.

#include "svf_reader.h"

#include <cstring>

#include <Lmr_Util/ConsoleReport.h>

#include "session.h"

namespace svf96 {

bool LineSource::refill() {
    if (atEnd_) return false;
    position_ = 0;
    end_ = input_ ? std::fread(buffer_.data(), 1, buffer_.size(), input_) : 0;
    if (end_ == 0) atEnd_ = true;
    return end_ > 0;
}

bool LineSource::AppendLine(std::string &text) {
    if (position_ == end_ && !refill()) return false;
    const size_t lineStart = text.size();
    for (;;) {
        const char *p = buffer_.data() + position_;
        const size_t available = end_ - position_;
        const void *lineFeed = std::memchr(p, '\n', available);
        if (lineFeed) {
            const size_t length = static_cast<size_t>(static_cast<const char *>(lineFeed) - p);
            text.append(p, length);
            position_ += length + 1;
            break;
        }
        text.append(p, available);
        position_ = end_;
        if (!refill()) break;  // last line without a line feed
    }
    if (text.size() > lineStart && text.back() == '\r') text.pop_back();
    return true;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Position of the first character that is not a blank.
size_t skipBlanks(std::string_view text, size_t from = 0) {
    while (from < text.size() && isBlank(text[from])) ++from;
    return from;
}

bool startsComment(std::string_view text) {
    return (!text.empty() && text[0] == '!') || text.substr(0, 2) == "//";
}

// A line that is a comment (indented or not) ends a statement.
bool isCommentLine(std::string_view line) { return startsComment(line.substr(skipBlanks(line))); }

// Text after the ";" of a line that starts another statement; a trailing
// comment does not.
bool startsAnotherStatement(std::string_view rest) {
    size_t i = 0;
    while (i < rest.size() && (isBlank(rest[i]) || rest[i] == ',')) ++i;
    return i < rest.size() && !startsComment(rest.substr(i));
}

// Comment or blank statement text, passed over.
bool isCommentOrBlank(std::string_view text) {
    const size_t first = skipBlanks(text);
    return first == text.size() || startsComment(text.substr(first));
}

}  // namespace

bool SvfReader::ReadStatement() {
    ++statementCount_;
    tokenEnd_ = 0;
    if (pushedBack_ > 0) {
        --pushedBack_;
        currentSlot_ = (currentSlot_ + 1) % 3;
        return false;
    }
    // The slot to fill holds the oldest statement, which nothing refers to
    // while no statement is given back.
    std::string &text = history_[writeSlot_];
    for (;;) {
        text.clear();
        for (;;) {
            const size_t lineStart = text.size();
            if (!source_.AppendLine(text)) {
                // A statement cut off by the end of the file is reported
                // rather than dropped without a word.
                if (!isCommentOrBlank(text)) syntaxError(statementCount_);
                text.clear();
                return true;
            }
            const std::string_view line(text.data() + lineStart, text.size() - lineStart);
            if (line.empty() || isCommentLine(line)) break;
            const size_t semicolon = line.find(';');
            if (semicolon != std::string_view::npos) {
                // A second statement after the ";" of a line would never be
                // read; it is a syntax error instead of a silent loss.
                if (startsAnotherStatement(line.substr(semicolon + 1))) syntaxError(statementCount_);
                break;
            }
        }
        if (!isCommentOrBlank(text)) break;
    }
    currentSlot_ = static_cast<int>(writeSlot_);
    writeSlot_ = (writeSlot_ + 1) % 3;
    return false;
}

void SvfReader::UngetStatement() {
    if (currentSlot_ < 0 || pushedBack_ >= 2) __EPLD_Assert(__FILE__, __LINE__);
    currentSlot_ = (currentSlot_ + 2) % 3;
    ++pushedBack_;
    --statementCount_;
}

}  // namespace svf96
