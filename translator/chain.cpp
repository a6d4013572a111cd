// -chain and -target: the IR lengths of a scan chain and the position of
// the device the SVF file is written for, turned into the header and
// trailer patterns that pad every scan for the other devices.
#include "chain.h"

#include <string>

#include "diagnostics.h"
#include "qsvf_format.h"
#include "tap_data.h"

namespace svf {

ChainPlacement gChain;

namespace {

constexpr int64_t kMaxChainIr = 0xFFFF;  // the QSIR2 length field

// Decimal digits only, as a value up to the QSIR2 limit (one more for
// "too long"); -1 for anything else.
int64_t decimal(const std::string &text) {
    if (text.empty() || text.size() > 9) return -1;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

FieldPtr filledField(int64_t bits, uint8_t fill) {
    auto field = std::make_shared<CTapField>(bits);
    if (fill) field->pData.assign(static_cast<size_t>(field->lByteCount), fill);
    field->finishValueBytes(field->lDigitCount);
    return field;
}

void setPadding(CTapPattern &pattern, int64_t bits, uint8_t fill) {
    if (bits == 0) return;
    pattern.setPattern(bits, filledField(bits, fill), nullptr, nullptr, nullptr);
}

}  // namespace

void resetChain() { gChain = ChainPlacement{}; }

void takeChainLengths(const char *value) {
    if (gChain.placed()) fatalError("-chain given twice");
    const std::string list = value ? value : "";
    if (list.empty()) fatalError("-chain needs the IR lengths of the chain from the TDO end, such as 5,8,10");
    std::vector<int64_t> lengths;
    int64_t total = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const int64_t length = decimal(item);
        if (length < 0) fatalError("Invalid IR length [" + item + "] in -chain [" + list + "]");
        if (length == 0) fatalError("IR length [0] in -chain [" + list + "] must be 1 or more");
        total += length;
        if (total > kMaxChainIr) limitError("Total IR length of -chain", list, kMaxChainIr);
        lengths.push_back(length);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    gChain.irLengths = std::move(lengths);
}

void takeChainTarget(const char *value) {
    const std::string text = value ? value : "";
    const int64_t target = decimal(text);
    if (target < 0) fatalError("Invalid -target position [" + text + "]");
    gChain.target = target == 0 ? -1 : target;  // 0 is outside every chain
}

void checkChainOptions() {
    if (gChain.target != 0 && !gChain.placed()) fatalError("-target needs -chain");
    if (!gChain.placed()) return;
    const auto count = static_cast<int64_t>(gChain.irLengths.size());
    // A chain of one device has one place for the target; a longer one
    // must be told which.
    if (gChain.target == 0 && count == 1) gChain.target = 1;
    if (gChain.target == 0)
        fatalError(strFormat("-chain of %lld devices needs -target", static_cast<long long>(count)));
    if (gChain.target < 1 || gChain.target > count)
        fatalError(strFormat("-target [%lld] outside range [1..%lld]",
                             static_cast<long long>(gChain.target < 0 ? 0 : gChain.target),
                             static_cast<long long>(count)));
}

void placeInChain(CTapObj &tap) {
    if (!gChain.placed()) return;
    const auto target = static_cast<size_t>(gChain.target - 1);
    int64_t headerIr = 0, trailerIr = 0;
    for (size_t i = 0; i < gChain.irLengths.size(); ++i) {
        if (i < target) headerIr += gChain.irLengths[i];
        if (i > target) trailerIr += gChain.irLengths[i];
    }
    const auto headerDevices = static_cast<int64_t>(target);
    const auto trailerDevices = static_cast<int64_t>(gChain.irLengths.size() - target - 1);
    setPadding(tap.hir, headerIr, 0xFF);
    setPadding(tap.tir, trailerIr, 0xFF);
    setPadding(tap.hdr, headerDevices, 0);
    setPadding(tap.tdr, trailerDevices, 0);
}

}  // namespace svf
