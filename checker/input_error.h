// The one failure that ends a qsvfcheck run early: a file that cannot be read
// or is not valid SVF or QSVF.  The message already names the file and the
// line (SVF) or the byte offset (stream); the driver turns it into status 2.
#ifndef QSVFCHECK_INPUT_ERROR_H
#define QSVFCHECK_INPUT_ERROR_H

#include <stdexcept>
#include <string>

namespace qsvfcheck {

class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string &message) : std::runtime_error(message) {}
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_INPUT_ERROR_H
