// Fuzz target: the dumper's record loop on arbitrary bytes.  Any input must
// end the loop cleanly, and the listing must stay within 24 characters
// per input byte (no length field may make it run on).
#include "qsvf2ascii.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QsvfReader reader(data, size);
    ListingWriter writer(nullptr);
    const DumpEnd end = dumpRecords(reader, writer);
    writer.flush();
    if (writer.written() > 24 * static_cast<uint64_t>(size) + 64) std::abort();
    if (end == DumpEnd::EndOfInput && reader.fill()) std::abort();
    return 0;
}
