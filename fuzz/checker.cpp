// libFuzzer entry for qsvfcheck.  An input is an SVF text, one 0 byte, and a
// QSVF stream (an input without a 0 byte is SVF text with an empty stream).
// Both are written to temporary files; the stream is checked against the
// SVF and then traced through the in-process entry, so every reader path
// and every way out of the program (status 2 included) returns here.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "qsvfcheck.h"

namespace {

std::string tempBase() {
    static const std::string base = "/tmp/fuzz_checker_" + std::to_string(getpid());
    return base;
}

void writeFile(const std::string &name, const uint8_t *data, size_t size) {
    FILE *file = std::fopen(name.c_str(), "wb");
    if (!file) return;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t *split = std::find(data, data + size, 0);
    const std::string svf = tempBase() + ".svf", stream = tempBase() + ".qsvf";
    writeFile(svf, data, static_cast<size_t>(split - data));
    if (split != data + size) ++split;
    writeFile(stream, split, static_cast<size_t>(data + size - split));

    std::ostringstream out, err;
    const char *check[] = {"qsvfcheck", svf.c_str(), stream.c_str()};
    runQsvfcheck(3, check, out, err);
    const char *trace[] = {"qsvfcheck", "-t", stream.c_str()};
    runQsvfcheck(3, trace, out, err);
    std::remove(svf.c_str());
    std::remove(stream.c_str());
    return 0;
}
