// SVF command census for the corpus suite; see svf_census.h.
#include "svf_census.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> words(const std::string &command) {
    std::vector<std::string> out;
    std::string word;
    for (char ch : command) {
        if (std::isspace(static_cast<unsigned char>(ch)) || ch == '(' || ch == ')') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

}  // namespace

SvfCensus takeSvfCensus(const std::string &text) {
    SvfCensus census;
    uint64_t hir = 0, tir = 0, hdr = 0, tdr = 0;
    std::string command;
    int depth = 0;
    bool previousWasScan = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (depth == 0 && (ch == '!' || (ch == '/' && i + 1 < text.size() && text[i + 1] == '/'))) {
            while (i < text.size() && text[i] != '\n') ++i;
            command += ' ';
            continue;
        }
        if (ch == '(') depth++;
        if (ch == ')' && depth > 0) depth--;
        if (ch != ';' || depth != 0) {
            command += ch;
            continue;
        }
        const std::vector<std::string> w = words(command);
        command.clear();
        if (w.empty()) continue;
        census.commands++;
        const uint64_t length = w.size() > 1 ? std::strtoull(w[1].c_str(), nullptr, 10) : 0;
        const std::string &key = w[0];
        if (key == "runtest" && previousWasScan) census.runTestAfterScan.back() = true;
        previousWasScan = key == "sir" || key == "sdr";
        if (previousWasScan) census.runTestAfterScan.push_back(false);
        if (key == "hir") hir = length;
        else if (key == "tir") tir = length;
        else if (key == "hdr") hdr = length;
        else if (key == "tdr") tdr = length;
        else if (key == "sir") {
            census.sirCommands++;
            census.irBits += length + hir + tir;
        } else if (key == "sdr") {
            census.sdrCommands++;
            census.drBits += length + hdr + tdr;
            if (length + hdr + tdr > 128) census.drLongerThan128++;
        }
    }
    return census;
}
