// The Value Change Dump of a play: TCK, TMS, TDI, TDO and TRST (the pin
// level, low while asserted) in one scope, timed at the TCK frequency.  Each
// clock begins with TCK falling and the new TMS and TDI (and the TDO that
// is read in that half), and TCK rises half a period later.  The dump is an
// output like those of the other programs (qsvf_output_file.h): written
// under a temporary name beside the named file and renamed to it only when
// it is complete, so a failed write never replaces a good file, with the
// permission bits of the file it replaces or, for a new one, 0666 less the
// umask.
#ifndef QSVFPLAY_VCD_WRITER_H
#define QSVFPLAY_VCD_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "qsvf_output_file.h"

namespace qsvfplay {

class VcdWriter {
public:
    VcdWriter() = default;
    VcdWriter(const VcdWriter &) = delete;
    VcdWriter &operator=(const VcdWriter &) = delete;

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

    qsvf::OutputFile m_output;  // removes an unfinished dump when it goes
    std::FILE *m_file = nullptr;
    uint64_t m_period = 0;  // picoseconds
    uint64_t m_clocks = 0;
    uint64_t m_time = 0;  // of the last time stamp written
    bool m_values[5] = {false, false, false, false, true};
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_VCD_WRITER_H
