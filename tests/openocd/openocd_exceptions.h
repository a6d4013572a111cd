// Where OpenOCD 0.12's SVF player does at the pins something other than the
// SVF file says, as seen on tap_server's recordings of `svf -quiet FILE`.
// This table is the only place such a difference is allowed: the comparison
// of recordings (recording.cpp) applies each row by its id, and every other
// difference fails.
#ifndef QSVF_TESTS_OPENOCD_OPENOCD_EXCEPTIONS_H
#define QSVF_TESTS_OPENOCD_OPENOCD_EXCEPTIONS_H

namespace tapsim {

enum class Exception {
    InitProbe,
    OpeningReset,
    ResetClocks,
    HostSleep,
    EndInReset,
    SckClocks,
    PathToReset,
    OneCommandPerLine,
    CountWithExponent,
    PauseLoop,
};

struct ExceptionRow {
    Exception id;
    const char *name;
    const char *seen;    // what the recordings showed
    const char *reason;  // why it is not a fault of the file or of the stream
};

inline constexpr ExceptionRow kOpenOcdExceptions[] = {
    {Exception::InitProbe, "init probe",
     "before the svf command, `init` shifts a 672-bit all-ones DR scan and a 10-bit all-ones IR scan",
     "OpenOCD's own chain examination, not part of the file: the driver asserts SRST after init (the file "
     "never drives SRST) and only what follows that mark is compared"},
    {Exception::OpeningReset, "opening reset",
     "svf starts with Test-Logic-Reset: from the state init left (IDLE) it clocks TMS high into RESET",
     "documented (\"This issues a JTAG reset (Test-Logic-Reset) and then runs the SVF script\"); an SVF file "
     "starts in RESET, as a stream does, so the state init left before it is not compared"},
    {Exception::ResetClocks, "clocks in RESET",
     "every move into RESET is OpenOCD's TMS-high sequence: STATE RESET from a pause state gave 2 clocks in "
     "RESET, STATE RESET twice from IDLE 11, RUNTEST RESET 3 TCK 7",
     "in Test-Logic-Reset clocks change nothing in a device, so they are no wait: that RESET is reached is "
     "compared, the clocks spent in it only with what the file's RUNTEST in RESET asks"},
    {Exception::HostSleep, "minimum times are a host sleep",
     "RUNTEST 3 TCK 1E-1 SEC gave 3 clocks and RUNTEST 2E-1 SEC none; the sleeps held OpenOCD's buffered pin "
     "bytes, so the gaps showed at other places of the recording than the waits",
     "a time cannot be read off OpenOCD's pins: the wait after each scan must instead reach the clocks the "
     "file asks for at its FREQUENCY (time x frequency, 1 MHz without FREQUENCY), taken from the SVF"},
    {Exception::EndInReset, "ENDIR/ENDDR RESET cannot be played",
     "OpenOCD aborts on the first scan after ENDDR RESET or ENDIR RESET (assertion state != TAP_RESET in "
     "jtag_add_plain_dr_scan, jtag_add_plain_ir_scan)",
     "OpenOCD has no scan that ends in RESET; files that use it are not played by OpenOCD"},
    {Exception::SckClocks, "RUNTEST in SCK cannot be played",
     "RUNTEST 10 SCK; ends the run with \"SCK not supported for clock\"",
     "OpenOCD drives no second clock; files that count in SCK are not played by OpenOCD"},
    {Exception::PathToReset, "STATE paths into RESET cannot be played",
     "STATE IREXIT2 IRUPDATE DRSELECT IRSELECT RESET; from IRPAUSE ends the run with \"BUG: TAP path doesn't "
     "finish in a stable state\"",
     "OpenOCD takes RESET as no end of a path; such files are not played by OpenOCD"},
    {Exception::OneCommandPerLine, "one command a line",
     "SIR 8 TDI (01); SIR 8 TDI (02); on one line shifted only the first SIR, with no message",
     "OpenOCD reads a line as one command; the files played here have one command a line, and the count of "
     "scans OpenOCD shifted is checked against the file's"},
    {Exception::CountWithExponent, "a count with an exponent is cut short",
     "RUNTEST IDLE 1E2 TCK; gave 1 clock in IDLE, not 100",
     "OpenOCD reads the count up to the exponent; a player must give at least OpenOCD's clocks, and the wait "
     "of the file (100) is checked as for times (see HostSleep)"},
    {Exception::PauseLoop, "STATE into the pause state it rests in goes round the register",
     "STATE DRPAUSE; STATE DRPAUSE; (and the same in IRPAUSE) went from the pause state through Exit2, Update, "
     "Select, Capture and Exit1 back to it: on a chain, every device took an update (of its data register, or "
     "the instruction it captured) without a shift between the two rests in the pause state",
     "the stream's STATE to the state where the TAP rests is one clock there, and the TAP rests in the same "
     "state either way; in a device's view of OpenOCD's recording such an update between two rests in one "
     "pause state is dropped"},
};

inline const char *exceptionName(Exception id) {
    for (const ExceptionRow &row : kOpenOcdExceptions)
        if (row.id == id) return row.name;
    return "?";
}

}  // namespace tapsim

#endif  // QSVF_TESTS_OPENOCD_OPENOCD_EXCEPTIONS_H
