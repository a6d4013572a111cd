// The flag word: construction from a text of flag characters, and its dump.
#include <Lmr_Util/BitFlags.h>

#include <Lmr_Util/String.h>

BitFlags::BitFlags(const String &text) : word(0) {
    const std::string &characters = text.str();
    for (std::size_t i = 0; i < characters.size(); ++i)
        if (characters[i] != '0')
            word |= 1ul << (i % 32);
}

void BitFlags::Dump(std::ostream &os) const { os << word; }
