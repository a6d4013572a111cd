// The SVF command dispatcher: walks the input one command at a time and
// hands each keyword to its handler by the keyword table.
#ifndef SVF_DISPATCHER_H
#define SVF_DISPATCHER_H

#include <span>
#include <string_view>

namespace svf {

class FileChannel;

// What runs before a handler, and what after it.
enum class Before { Nothing, FlushScans, TrstRule, RunTest };
enum class After { Nothing, EchoClearRunTest, RunTestFollowUp };

struct KeywordEntry {
    std::string_view keyword;
    Before before;
    void (*handler)(FileChannel &input, std::string_view keyword);
    After after;
};
std::span<const KeywordEntry> keywordTable();

// Translates the whole input; 1, or 0 when an unknown keyword was skipped.
int processSVF();

}  // namespace svf

#endif  // SVF_DISPATCHER_H
