// The translation loop of svf2qsvf96 (see translation.h).

#include "translation.h"

#include "scan_emit.h"
#include "scan_group.h"
#include "session.h"
#include "statements.h"

namespace svf96 {

namespace {

void writeScanGroup(Session &session, ScanGroup &group) {
    RecordWriter &writer = session.writer;
    StreamState &stream = session.stream;
    const Options &options = session.options;
    const bool longFpgaScan = options.fpgaMode && group.length > options.recordLength;
    if (group.length != stream.lastScanSize) {
        writer.WriteOpcode(qsvf::QSDRSIZE);
        writer.WriteBigEndian(longFpgaScan ? options.recordLength : group.length, 4);
        stream.lastScanSize = group.length;
    }
    const size_t vectorBytes = static_cast<size_t>((group.length + 7) / 8);
    if (group.mask.empty()) group.mask.assign(2 * vectorBytes, '0');
    if (group.tdo.empty()) group.tdo.assign(2 * vectorBytes, '0');
    // The checked pieces of a long scan carry masks of their own.
    const bool piecesMasked = longFpgaScan && group.mask.find_first_not_of('0') != std::string::npos;
    if (group.mask != stream.lastTdoMask && !piecesMasked) {
        writer.WriteOpcode(qsvf::QTDOMASK);
        if (longFpgaScan) {
            const size_t maskBytes = static_cast<size_t>((options.recordLength + 7) / 8);
            writer.WriteZeroBytes(maskBytes);
            stream.lastTdoMask.assign(2 * maskBytes, '0');
            stream.lastTdoMaskBits = options.recordLength;
        } else {
            writer.WriteHexBytes(group.mask, static_cast<size_t>((stream.lastScanSize + 7) / 8));
            stream.lastTdoMask = group.mask;
            stream.lastTdoMaskBits = group.length;
        }
    }
    if (group.runTest != stream.lastRunTest) {
        writer.WriteOpcode(qsvf::QRUNTEST);
        writer.WriteBigEndian(group.runTest, 4);
        stream.lastRunTest = group.runTest;
    }
    EmitScanGroup(session, group.tdi, group.tdo, group.length, group.mask);
}

}  // namespace

void Translate(Session &session) {
    RecordWriter &writer = session.writer;
    writer.WriteOpcode(qsvf::QREPEAT);
    writer.WriteBigEndian(session.options.fpgaMode ? 0 : session.options.repeatValue, 1);
    ScanGroup group;
    group.tdi.reserve(3000);
    for (;;) {
        if (GatherScanGroup(session, group)) {
            writeScanGroup(session, group);
            continue;
        }
        if (session.reader.ReadStatement()) break;
        DoOtherStatement(session);
    }
    writer.WriteOpcode(qsvf::QCOMPLETE);
}

}  // namespace svf96
