// The buffer a stream needs (see buffer_need.h), walked record by record
// with the operand plans of the format.  With D the bytes of the DR length:
// a QSIR or QSIR2 reads its own bytes, a QTDOMASK or a split piece D, a
// QSDR (its TDI and the TDO read) or a QSETSDRMASKS 2D, a QSDRTDO or a
// compared split piece (TDI, expected and read TDO) 3D, a QSDRINC 2D and its
// fields; each on top of what is kept.
#include "buffer_need.h"

#include <algorithm>
#include <bit>

#include "qsvf_format.h"

namespace qsvfplay {

uint64_t bufferNeed(const std::vector<uint8_t> &stream) {
    size_t at = 0;
    const auto take = [&](unsigned bytes, uint64_t &value) {
        if (stream.size() - at < bytes) return false;
        value = 0;
        for (unsigned i = 0; i < bytes; ++i) value = value << 8 | stream[at++];
        return true;
    };
    const auto skip = [&](uint64_t bytes) {
        if (stream.size() - at < bytes) return false;
        at += static_cast<size_t>(bytes);
        return true;
    };
    uint64_t need = 0, drBits = 0, fieldBits = 0;
    uint64_t keptMasks = 0, keptTdoMask = 0, keptExpected = 0;
    while (at < stream.size()) {
        const uint8_t op = stream[at++];
        const qsvf::OpcodeInfo *info = qsvf::findOpcode(op);
        if (!info || op == qsvf::QCOMPLETE) break;
        const uint64_t d = qsvf::vectorBytes(drBits);
        uint64_t reads = 0, irBits = 0, value = 0;
        bool whole = true;
        for (size_t index = 0; index < info->operands.size(); ++index) {
            const qsvf::Operand operand = info->operands[index];
            switch (operand) {
            case qsvf::Operand::None: break;
            case qsvf::Operand::Byte: whole = take(1, value); break;
            case qsvf::Operand::Word: whole = take(2, value); break;
            case qsvf::Operand::Long: whole = take(4, value); break;
            case qsvf::Operand::IrLength1: whole = take(1, irBits); break;
            case qsvf::Operand::IrLength2: whole = take(2, irBits); break;
            case qsvf::Operand::IrVector:
                reads += qsvf::vectorBytes(irBits);
                whole = skip(qsvf::vectorBytes(irBits));
                break;
            case qsvf::Operand::DrVector:
                // The data mask of QSETSDRMASKS (its second vector) sets the
                // width of the QSDRINC fields after it.
                if (op == qsvf::QSETSDRMASKS && index == 1) {
                    fieldBits = 0;
                    for (uint64_t i = 0; i < d && at + i < stream.size(); ++i)
                        fieldBits += static_cast<uint64_t>(std::popcount(stream[at + i]));
                }
                whole = skip(d);
                break;
            case qsvf::Operand::DrLength:
                whole = take(4, drBits);
                break;
            case qsvf::Operand::IncFields: {
                uint64_t count = 0;
                whole = take(1, count);
                reads += count * qsvf::vectorBytes(fieldBits);
                whole = whole && skip(count * qsvf::vectorBytes(fieldBits));
                break;
            }
            case qsvf::Operand::Text:
                while (at < stream.size() && stream[at] != 0) ++at;
                whole = skip(1);
                break;
            }
            if (!whole) return need;
        }
        switch (op) {
        case qsvf::QTDOMASK:
        case qsvf::QSDRB:
        case qsvf::QSDRC:
        case qsvf::QSDRE: reads += d; break;
        case qsvf::QSDR:
        case qsvf::QSETSDRMASKS:
        case qsvf::QSDRINC: reads += 2 * d; break;
        case qsvf::QSDRTDO:
        case qsvf::QSDRTDOB:
        case qsvf::QSDRTDOC:
        case qsvf::QSDRTDOE: reads += 3 * d; break;
        default: break;
        }
        need = std::max(need, keptMasks + keptTdoMask + keptExpected + reads);
        if (op == qsvf::QSETSDRMASKS) keptMasks = 2 * d;
        if (op == qsvf::QTDOMASK) keptTdoMask = d;
        if (op == qsvf::QSDRTDO) keptExpected = d;
    }
    return need;
}

}  // namespace qsvfplay
