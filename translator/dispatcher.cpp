// The SVF command dispatcher.  It writes the stream head, reads each
// command keyword, runs the keyword's row of the table (what comes before,
// the handler, what comes after), keeps the flags that tie consecutive
// commands together, and at the end of the input writes what is still
// pending and the stream end.
#include "dispatcher.h"

#include <array>
#include <cstring>

#include "chain.h"
#include "combine.h"
#include "diagnostics.h"
#include "file_channel.h"
#include "pio.h"
#include "prog_state.h"
#include "qsvf_writer.h"
#include "runtest.h"
#include "svf_lexer.h"
#include "tap_data.h"
#include "tap_state.h"

namespace svf {

namespace {

CTapPattern &patternOf(std::string_view keyword) {
    CTapObj &tap = *pGlobTapData;
    if (keyword == "hdr") return tap.hdr;
    if (keyword == "hir") return tap.hir;
    if (keyword == "tdr") return tap.tdr;
    if (keyword == "tir") return tap.tir;
    if (keyword == "sdr") return tap.sdr;
    return tap.sir;
}

// The scan sequence of SDR, SIR and the header and trailer commands.
void doScanCommand(FileChannel &input, std::string_view keyword) {
    bool isSdr = keyword == "sdr", isSir = keyword == "sir";
    if (isSdr || isSir) {
        int &pending = isSdr ? iSdrFlag : iSirFlag;
        bool runTestBefore = iRunTestFlag == 1 && pending == 1;
        isSdr ? writeSdr(1) : writeSir(1);
        if (runTestBefore) iRunTestFlag = 0;
    }
    FieldPtr tdi, tdo, mask, smask;
    int64_t length = readTapData(input, (isSdr || isSir) ? 1 : 0, tdi, tdo, mask, smask);
    if (isSir && tdo) warnOptionLoss(LOSS_SIR_TDO, input);
    writeSvfSrc(input, 0);
    // In a chain (-chain) the padding stands for the file's own header and
    // trailer, which are read and left out.
    const bool padding = !isSdr && !isSir;
    if (padding && gChain.placed() && length != 0) warnOptionLoss(LOSS_CHAIN_PADDING, input);
    int violation = padding && gChain.placed() ? 0
                                               : patternOf(keyword).setPattern(length, std::move(tdi), std::move(tdo),
                                                                               std::move(mask), std::move(smask));
    if (isSdr) pGlobTapData->currentState = pGlobTapData->drEndState;
    if (isSir) pGlobTapData->currentState = pGlobTapData->irEndState;
    if (violation != 0) fatalError("SVF rule violation", &input);
    doDataShift(keyword);
    if (!isSdr) iRunTestFlag = 0;
}

void runEndIr(FileChannel &input, std::string_view) { doEndState(input, 0); }
void runEndDr(FileChannel &input, std::string_view) { doEndState(input, 1); }
void runFrequency(FileChannel &input, std::string_view) { doFrequency(input); }
void runPio(FileChannel &input, std::string_view) { doPio(input); }  // the vector is released at once
void runPioMap(FileChannel &input, std::string_view) { doPioMap(input); }
void runRunTest(FileChannel &input, std::string_view) { doRunTest(input); }
void runState(FileChannel &input, std::string_view) { doState(input); }
void runTrst(FileChannel &input, std::string_view) { doTrst(input); }

constexpr std::array<KeywordEntry, 14> kKeywords = {{
    {"endir", Before::Nothing, runEndIr, After::EchoClearRunTest},
    {"enddr", Before::Nothing, runEndDr, After::EchoClearRunTest},
    {"frequency", Before::Nothing, runFrequency, After::EchoClearRunTest},
    {"hdr", Before::FlushScans, doScanCommand, After::Nothing},
    {"hir", Before::FlushScans, doScanCommand, After::Nothing},
    {"tdr", Before::FlushScans, doScanCommand, After::Nothing},
    {"tir", Before::FlushScans, doScanCommand, After::Nothing},
    {"sdr", Before::TrstRule, doScanCommand, After::Nothing},
    {"sir", Before::TrstRule, doScanCommand, After::Nothing},
    {"pio", Before::Nothing, runPio, After::EchoClearRunTest},
    {"piomap", Before::Nothing, runPioMap, After::EchoClearRunTest},
    {"runtest", Before::RunTest, runRunTest, After::RunTestFollowUp},
    {"state", Before::Nothing, runState, After::EchoClearRunTest},
    {"trst", Before::Nothing, runTrst, After::EchoClearRunTest},
}};

void runBefore(Before before) {
    switch (before) {
    case Before::Nothing: break;
    case Before::FlushScans:
        writeSir(1);
        writeSdr(1);
        iRunTestFlag = 0;
        break;
    case Before::TrstRule: iSvfTrstRule = 1; break;
    case Before::RunTest:
        iSvfTrstRule = 1;
        iRunTestFlag = 1;
        break;
    }
}

void runAfter(After after, FileChannel &input) {
    switch (after) {
    case After::Nothing: break;
    case After::EchoClearRunTest:
        writeSvfSrc(input, 0);
        iRunTestFlag = 0;
        break;
    case After::RunTestFollowUp:
        writeSvfSrc(input, 0);
        pGlobTapData->currentState = pGlobTapData->runEndState;
        if (g_iDelayedEndxR == 1) {
            writeSir(1);
            writeSdr(1);
            char name[16];
            getTapStateName(static_cast<TapState>(g_iStoredEndTap), name, &giQtapState);
            writeEndStateRecord(g_iStoredEndMode, g_iStoredEndState);
            iRunTestFlag = 0;
            g_iDelayedEndxR = 0;
        }
        break;
    }
}

}  // namespace

std::span<const KeywordEntry> keywordTable() { return kKeywords; }

int processSVF() {
    pGlobTapData = std::make_unique<CTapObj>();
    placeInChain(*pGlobTapData);
    qsvfHeaderTrailer(0);
    int result = 1;
    nullPtrChk(pFC_Input, "inFC", nullptr);
    FileChannel &input = *pFC_Input;
    char keyword[100];
    for (;;) {
        input.resetSrcLineBuf();
        lex(input, 0);
        if (!input.tokenRead()) break;
        size_t keywordLength = strnlen(input.sToken, 98);
        std::memcpy(keyword, input.sToken, keywordLength);
        keyword[keywordLength] = '\0';
        if (keyword[0] == '\0' || isAsciiSpace(static_cast<unsigned char>(keyword[0]))) continue;
        const KeywordEntry *entry = nullptr;
        const std::string_view word(keyword, keywordLength);
        for (const KeywordEntry &row : kKeywords)
            if (row.keyword == word) entry = &row;
        // Only a RUNTEST that directly follows it gives an in-order SIR its wait.
        if (!entry || entry->keyword != "runtest") giInOrderSirWritten = 0;
        if (!entry) {
            warning(strFormat("Unknown SVF keyword [%s]", keyword), &input);
            strSearch(";", 1, input);
            result = 0;
            continue;
        }
        runBefore(entry->before);
        entry->handler(input, entry->keyword);
        runAfter(entry->after, input);
    }
    writeSir(1);
    writeSdr(1);
    qsvfHeaderTrailer(1);
    return result;
}

}  // namespace svf
