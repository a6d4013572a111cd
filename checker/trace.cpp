// The trace: one line per record, operands by the operand plans of the
// format, QSDRINC expanded into its scans.
#include "trace.h"

#include <cstdio>
#include <utility>

#include "player.h"
#include "qsvf_format.h"
#include "stream_reader.h"

namespace qsvfcheck {

namespace {

std::string hexInteger(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string stateName(uint64_t code) {
    if (code >= qsvf::kTapStateCount) return "(not a state)";
    std::string name = "(";
    name += qsvf::kTapStateNames[code];
    name += ')';
    return name;
}

std::string endStateName(uint64_t code) {
    return code == qsvf::kEndStateIdle ? "(idle)" : code == qsvf::kEndStatePause ? "(pause)" : "(not an end state)";
}

std::string quoted(const std::string &text) {
    std::string shown = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '\n': shown += "\\n"; break;
        case '\r': shown += "\\r"; break;
        case '\t': shown += "\\t"; break;
        case '"': shown += "\\\""; break;
        case '\\': shown += "\\\\"; break;
        default:
            if (c >= 32 && c < 127) {
                shown += static_cast<char>(c);
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02x", c);
                shown += escape;
            }
        }
    }
    return shown + "\"";
}

}  // namespace

void traceStream(const std::string &streamFile, std::ostream &out) {
    StreamReader reader(streamFile);
    Record record;
    BitVector addressMask, dataMask;
    for (;;) {
        if (!reader.read(record)) reader.fail(reader.offset(), "the stream ends without QCOMPLETE");
        const qsvf::OpcodeInfo &info = qsvf::kOpcodes[record.opcode];
        char offset[24];
        std::snprintf(offset, sizeof offset, "%8llu  ", static_cast<unsigned long long>(record.offset));
        std::string line = offset;
        line += info.mnemonic;
        // Each operand is appended after one blank.
        const auto add = [&line](const std::string &operand) {
            line += ' ';
            line += operand;
        };
        size_t integer = 0, vector = 0;
        for (qsvf::Operand operand : info.operands) {
            switch (operand) {
            case qsvf::Operand::None: break;
            case qsvf::Operand::Byte:
            case qsvf::Operand::IrLength1: add(hexInteger(record.integers[integer++], 2)); break;
            case qsvf::Operand::Word:
            case qsvf::Operand::IrLength2: add(hexInteger(record.integers[integer++], 4)); break;
            case qsvf::Operand::Long:
            case qsvf::Operand::DrLength: add(hexInteger(record.integers[integer++], 8)); break;
            case qsvf::Operand::IrVector:
            case qsvf::Operand::DrVector: add(record.vectors[vector++].hex()); break;
            case qsvf::Operand::IncFields:
                add(hexInteger(record.integers[integer++], 2));
                for (const BitVector &field : record.fields) add(field.hex());
                break;
            case qsvf::Operand::Text: add(quoted(record.text)); break;
            }
        }
        if (record.opcode == qsvf::QSTATE) add(stateName(record.integers[0]));
        if (record.opcode == qsvf::QENDIR || record.opcode == qsvf::QENDDR) add(endStateName(record.integers[0]));
        if (record.opcode == qsvf::QWAIT) add(stateName(record.integers[0]) + " " + stateName(record.integers[1]));
        out << line << '\n';
        // A trace that cannot be written is not read on: the caller reports
        // the failed output.
        if (!out) return;

        if (record.opcode == qsvf::QSETSDRMASKS) {
            addressMask = std::move(record.vectors[0]);
            dataMask = std::move(record.vectors[1]);
        } else if (record.opcode == qsvf::QSDRINC) {
            const size_t scans = record.fields.size() + 1;
            BitVector scan = std::move(record.vectors[0]);
            for (size_t i = 0; i < scans; ++i) {
                if (i > 0) scan = nextIncrementScan(scan, addressMask, dataMask, record.fields[i - 1]);
                out << "          scan " << i + 1 << " of " << scans << ": " << scan.hex() << '\n';
            }
            if (!out) return;
        } else if (record.opcode == qsvf::QCOMPLETE) {
            if (reader.offset() != reader.size())
                reader.fail(reader.offset(), "data after the QCOMPLETE at byte " + std::to_string(record.offset));
            return;
        }
    }
}

}  // namespace qsvfcheck
