// The two switches every program of the tool set answers the same way:
// "--help" and "--version", each given as the only argument.  They print on
// standard output and end the run with status 0, so a script or a package
// test can ask any program what it is without a prompt or a wait.  Given
// with other arguments, or misspelt, they are ordinary arguments, and the
// program's own command line deals with them as it does with any unknown
// switch.
#ifndef QSVF_TOOL_SWITCHES_H
#define QSVF_TOOL_SWITCHES_H

#include <cstdio>
#include <cstring>

#ifndef QSVF_TOOLS_VERSION
#error "QSVF_TOOLS_VERSION (the package version) must be defined by the build"
#endif

namespace qsvf {

enum class ToolSwitch { None, Help, Version };

inline ToolSwitch toolSwitch(int argc, char **argv) {
    if (argc != 2 || !argv[1]) return ToolSwitch::None;
    if (std::strcmp(argv[1], "--help") == 0) return ToolSwitch::Help;
    if (std::strcmp(argv[1], "--version") == 0) return ToolSwitch::Version;
    return ToolSwitch::None;
}

// The one line of --version: "<program> (QSVF tools) <package version>".
inline void printVersionLine(const char *program) {
    std::printf("%s (QSVF tools) %s\n", program, QSVF_TOOLS_VERSION);
}

// Answers --help (through the program's printHelp) or --version when the
// command line is just that switch, and returns true: the run is then over
// with status 0.  Returns false, having printed nothing, otherwise.
inline bool answerToolSwitch(int argc, char **argv, const char *program, void (*printHelp)()) {
    switch (toolSwitch(argc, argv)) {
    case ToolSwitch::None: return false;
    case ToolSwitch::Help: printHelp(); break;
    case ToolSwitch::Version: printVersionLine(program); break;
    }
    std::fflush(stdout);
    return true;
}

}  // namespace qsvf

#endif  // QSVF_TOOL_SWITCHES_H
