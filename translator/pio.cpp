// PIOMAP replaces the pin map (direction and name per pin); PIO checks one
// vector of pin values against it: H, L, Z for input pins, U, D, X for
// output pins, any of them for INOUT pins.
#include "pio.h"

#include <cstring>

#include "diagnostics.h"
#include "file_channel.h"
#include "prog_state.h"
#include "qsvf_writer.h"
#include "svf_lexer.h"
#include "tap_data.h"

namespace svf {

void doPioMap(FileChannel &channel) {
    writeSir(1);
    writeSdr(1);
    CTapObj &tap = *pGlobTapData;
    tap.pioMap.clear();
    tap.pioNames.clear();
    strSearch("(", 0, channel);
    static constexpr const char *kDirections[] = {"in", "out", "inout"};
    for (;;) {
        lexNeed(channel, ")");
        if (std::strcmp(channel.sToken, ")") == 0) break;
        int direction = -1;
        for (int i = 0; i < 3; ++i)
            if (std::strcmp(channel.sToken, kDirections[i]) == 0) direction = i;
        if (direction < 0) fatalError("Unknown/outdated PIOMAP data format", &channel);
        lexNeed(channel, ")");
        if (channel.iTokenType != TOK_WORD) fatalError("Unknown/outdated PIOMAP data format", &channel);
        std::string name = channel.sToken;
        if (!tap.pioNames.insert(name).second) {
            warning(strFormat("[%s] already defined", name.c_str()));
            fatalError("Invalid PIOMAP data", &channel);
        }
        tap.pioMap.push_back({direction, std::move(name)});
    }
    strSearch(";", 0, channel);
}

std::unique_ptr<char[]> doPio(FileChannel &channel) {
    writeSir(1);
    writeSdr(1);
    CTapObj &tap = *pGlobTapData;
    if (tap.pioMap.empty()) {
        warning("No PIOMAP defined; skipping data", &channel);
        strSearch(";", 1, channel);
        iSvfTrstRule = 1;
        return nullptr;
    }
    strSearch("(", 0, channel);
    const size_t pins = tap.pioMap.size();
    auto vector = std::make_unique<char[]>(pins + 1);
    size_t used = 0;
    for (;;) {
        getFChanChar(channel, 1);
        if (channel.atEof()) fatalError("Token [)] not found", &channel);
        int c = channel.iCurChar;
        if (c == ')') break;
        if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
        if (c == 0 || !std::strchr("HLZUDX", c)) fatalError("Unexpected PIO char", &channel);
        if (used >= pins)
            fatalError(strFormat("PIO char count != count in last PIOMAP (%ld)", static_cast<long>(pins)), &channel);
        int direction = tap.pioMap[used].direction;
        vector[used++] = static_cast<char>(c);
        bool drive = c == 'D' || c == 'U' || c == 'X';
        if (drive && direction == PIO_IN) fatalError("Incorrect input pin data", &channel);
        if (!drive && direction == PIO_OUT) fatalError("Incorrect output pin data", &channel);
    }
    strSearch(";", 0, channel);
    iSvfTrstRule = 1;
    return vector;
}

}  // namespace svf
