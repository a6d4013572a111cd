// Scan-group gathering of svf2qsvf96 (see scan_group.h).

#include "scan_group.h"

#include "session.h"

namespace svf96 {

namespace {

std::string_view requireToken(Session &session) {
    std::string_view token;
    if (!session.reader.NextToken(token)) syntaxError(session);
    return token;
}

void requireKeyword(Session &session, const char *keyword) {
    if (!IsKeyword(requireToken(session), keyword)) syntaxError(session);
}

// The value word after a keyword; a missing word leaves the value empty.
void readValue(Session &session, std::string &value, long lengthBits, bool check) {
    std::string_view token;
    value.clear();
    if (!session.reader.NextToken(token)) return;
    value.assign(StripParens(token));
    if (check && !FitValueToLength(value, lengthBits)) syntaxError(session);
}

}  // namespace

void ParseSdr(Session &session, SdrStatement &sdr) {
    sdr.length = ReadDecimal(requireToken(session));
    if (sdr.length < 0) syntaxError(session);
    requireKeyword(session, "TDI");
    readValue(session, sdr.tdi, sdr.length, true);
    requireKeyword(session, "SMASK");
    std::string_view ignored;
    session.reader.NextToken(ignored);  // the SMASK value is not used
    sdr.tdo.clear();
    sdr.mask.clear();
    const std::string_view next = requireToken(session);
    if (IsKeyword(next, ";")) return;
    if (!IsKeyword(next, "TDO")) syntaxError(session);
    readValue(session, sdr.tdo, sdr.length, true);
    requireKeyword(session, "MASK");
    readValue(session, sdr.mask, sdr.length, true);
}

bool GatherScanGroup(Session &session, ScanGroup &group) {
    SvfReader &reader = session.reader;
    long &pendingRunTest = session.stream.pendingRunTest;
    group.tdi.clear();
    group.tdo.clear();
    group.mask.clear();
    group.hasLength = false;
    group.runTest = pendingRunTest;
    SdrStatement sdr;
    while (!reader.ReadStatement()) {
        std::string_view token;
        if (!reader.NextToken(token) || !IsKeyword(token, "SDR")) {
            reader.UngetStatement();
            pendingRunTest = 0;
            break;
        }
        ParseSdr(session, sdr);
        if (group.hasLength) {
            if (sdr.length != group.length || sdr.tdo != group.tdo || sdr.mask != group.mask) {
                reader.UngetStatement();
                break;
            }
        } else {
            group.length = sdr.length;
            group.tdo = sdr.tdo;
            group.mask = sdr.mask;
            group.hasLength = true;
        }
        if (reader.ReadStatement()) {
            group.tdi.push_back(std::move(sdr.tdi));
            break;
        }
        long runTest = 0;
        if (reader.NextToken(token) && IsKeyword(token, "RUNTEST")) {
            std::string_view value;
            runTest = reader.NextToken(value) ? RunTestClocks(session, value) : 0;
            if (runTest < 0) syntaxError(session);
        } else {
            reader.UngetStatement();
            pendingRunTest = 0;
        }
        if (runTest == group.runTest) {
            group.tdi.push_back(std::move(sdr.tdi));
        } else if (runTest < group.runTest) {
            group.tdi.push_back(std::move(sdr.tdi));
            pendingRunTest = runTest;
            break;
        } else if (group.tdi.empty()) {
            group.tdi.push_back(std::move(sdr.tdi));
            pendingRunTest = runTest;
            group.runTest = runTest;
        } else {
            // A longer wait belongs to a group of its own.
            reader.UngetStatement();
            reader.UngetStatement();
            break;
        }
    }
    return group.hasLength;
}

}  // namespace svf96
