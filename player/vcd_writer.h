// The Value Change Dump of a play: TCK, TMS, TDI, TDO and TRST (the pin
// level, low while asserted) in one scope, timed at the TCK frequency.  Each
// clock begins with TCK falling and the new TMS and TDI (and the TDO that
// is read in that half), and TCK rises half a period later.  The dump is
// written to a temporary file beside the named one and renamed to it only
// when it is complete, so a failed write never replaces a good file.
#ifndef QSVFPLAY_VCD_WRITER_H
#define QSVFPLAY_VCD_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace qsvfplay {

class VcdWriter {
public:
    VcdWriter() = default;
    VcdWriter(const VcdWriter &) = delete;
    VcdWriter &operator=(const VcdWriter &) = delete;
    ~VcdWriter();

    // False, with the reason, when the temporary file cannot be made.
    bool open(const std::string &fileName, double frequency, std::string &error);
    void clock(bool tms, bool tdi, bool tdo);
    void trst(bool asserted);
    // Ends the dump and puts it in place; false, with the reason, when a
    // write failed (the named file is then left as it was).
    bool close(std::string &error);

private:
    void change(int signal, bool value);
    void at(uint64_t time);

    std::FILE *m_file = nullptr;
    std::string m_name, m_temporary;
    uint64_t m_period = 0;  // picoseconds
    uint64_t m_clocks = 0;
    uint64_t m_time = 0;  // of the last time stamp written
    bool m_values[5] = {false, false, false, false, true};
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_VCD_WRITER_H
