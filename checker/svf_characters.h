// Character classes of SVF text for qsvfcheck's SVF reader (7-bit ASCII, as
// in the POSIX locale): letters, digits, white space, and the punctuation
// that is a token of its own.
#ifndef QSVFCHECK_SVF_CHARACTERS_H
#define QSVFCHECK_SVF_CHARACTERS_H

namespace qsvfcheck {

inline bool isLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }
inline bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
inline bool isPunct(int c) { return c > 32 && c < 127 && !isLetter(c) && !isDigit(c) && c != '_'; }

}  // namespace qsvfcheck

#endif  // QSVFCHECK_SVF_CHARACTERS_H
