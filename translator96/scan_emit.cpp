// Scan-group writing of svf2qsvf96 (see scan_emit.h).

#include "scan_emit.h"

#include <algorithm>

#include "increment_analysis.h"
#include "session.h"

namespace svf96 {

namespace {

void writeIncrementRun(Session &session, const std::vector<std::string> &tdi, size_t i, const IncrementRun &run,
                       size_t vectorBytes) {
    RecordWriter &writer = session.writer;
    const size_t count = std::min<size_t>(run.length - 1, 255);
    writer.WriteOpcode(qsvf::QSDRINC);
    writer.WriteHexBytes(tdi[i], vectorBytes);
    writer.WriteBigEndian(static_cast<long long>(count), 1);
    for (size_t k = 1; k <= count; ++k) {
        const std::string field = ExtractMaskedBits(tdi[i + k], run.dataMask);
        writer.WriteHexBytes(field, (field.size() + 7) / 8);
    }
}

}  // namespace

void EmitScanGroup(Session &session, const std::vector<std::string> &tdi, const std::string &tdo, long length,
                   const std::string &mask) {
    if (tdi.empty()) return;
    RecordWriter &writer = session.writer;
    StreamState &stream = session.stream;
    const Options &options = session.options;
    const size_t vectorBytes = static_cast<size_t>((length + 7) / 8);
    const bool split = options.fpgaMode && length > options.recordLength;
    size_t i = 0;
    if (tdo != stream.lastTdoValue) {
        stream.lastTdoValue = tdo;
        if (split) {
            SplitFpgaScan(session, tdi[0], tdo, length, mask);
        } else {
            writer.WriteOpcode(qsvf::QSDRTDO);
            writer.WriteHexBytes(tdi[0], vectorBytes);
            writer.WriteHexBytes(tdo, vectorBytes);
        }
        i = 1;
    }
    // Compressed records carry vectors of the scan length, which a split
    // scan does not have as its current DR length: split scans are never
    // compressed.
    const bool compress = options.compressionEnabled && !split;
    IncrementRun run;
    size_t runStart = tdi.size();  // the scan `run` was searched from
    while (i < tdi.size()) {
        if (compress && i + 1 < tdi.size()) {
            if (runStart != i) {
                run = FindIncrementRun(tdi, i, length);
                runStart = i;
            }
            if (run.found) {
                if (run.addressMask == stream.lastAddressMask && run.dataMask == stream.lastDataMask) {
                    writeIncrementRun(session, tdi, i, run, vectorBytes);
                    i += std::min<size_t>(run.length - 1, 255) + 1;
                } else {
                    writer.WriteOpcode(qsvf::QSETSDRMASKS);
                    writer.WriteHexBytes(run.addressMask, vectorBytes);
                    writer.WriteHexBytes(run.dataMask, vectorBytes);
                    stream.lastAddressMask = run.addressMask;
                    stream.lastDataMask = run.dataMask;
                }
                continue;
            }
        }
        if (split) {
            SplitFpgaScan(session, tdi[i], tdo, length, mask);
        } else {
            writer.WriteOpcode(qsvf::QSDR);
            writer.WriteHexBytes(tdi[i], vectorBytes);
        }
        ++i;
    }
}

}  // namespace svf96
