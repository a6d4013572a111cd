// The Value Change Dump writer (see vcd_writer.h).
#include "vcd_writer.h"

#include <cmath>

namespace qsvfplay {

namespace {

enum Signal { TCK, TMS, TDI, TDO, TRST };
constexpr char kCodes[] = "!\"#$%";
constexpr const char *kNames[] = {"tck", "tms", "tdi", "tdo", "trst"};

}  // namespace

bool VcdWriter::open(const std::string &fileName, double frequency, std::string &error) {
    if (!m_output.open(fileName)) {
        error = "cannot write " + fileName + ": " + m_output.reason();
        return false;
    }
    m_file = m_output.stream();
    m_period = static_cast<uint64_t>(std::llround(1e12 / frequency));
    if (m_period < 2) m_period = 2;
    std::fprintf(m_file, "$version qsvfplay (QSVF tools) %s $end\n$timescale 1 ps $end\n$scope module jtag $end\n",
                 QSVF_TOOLS_VERSION);
    for (int s = TCK; s <= TRST; ++s) std::fprintf(m_file, "$var wire 1 %c %s $end\n", kCodes[s], kNames[s]);
    std::fprintf(m_file, "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n");
    for (int s = TCK; s <= TRST; ++s) std::fprintf(m_file, "%d%c\n", m_values[s], kCodes[s]);
    std::fprintf(m_file, "$end\n");
    return true;
}

void VcdWriter::at(uint64_t time) {
    if (time != m_time) std::fprintf(m_file, "#%llu\n", static_cast<unsigned long long>(time));
    m_time = time;
}

void VcdWriter::change(int signal, bool value) {
    if (m_values[signal] == value) return;
    m_values[signal] = value;
    std::fputc(value ? '1' : '0', m_file);
    std::fputc(kCodes[signal], m_file);
    std::fputc('\n', m_file);
}

void VcdWriter::clock(bool tms, bool tdi, bool tdo) {
    const uint64_t start = m_clocks++ * m_period;
    if (m_values[TCK] || m_values[TMS] != tms || m_values[TDI] != tdi || m_values[TDO] != tdo) at(start);
    change(TCK, false);
    change(TMS, tms);
    change(TDI, tdi);
    change(TDO, tdo);
    at(start + m_period / 2);
    change(TCK, true);
}

void VcdWriter::trst(bool asserted) {
    if (m_values[TRST] == !asserted) return;
    at(m_clocks * m_period);
    change(TRST, !asserted);
}

bool VcdWriter::close(std::string &error) {
    at(m_clocks * m_period);
    m_file = nullptr;
    if (m_output.commit()) return true;
    error = "cannot write " + m_output.name() + ": " + m_output.reason();
    return false;
}

}  // namespace qsvfplay
