// What the host program plays into: a pin backend that clocks TCK with TMS
// and TDI and returns TDO, and drives TRST.  The simulated chain and the
// remote_bitbang client are the two backends.
#ifndef QSVFPLAY_PINS_H
#define QSVFPLAY_PINS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace qsvfplay {

class Pins {
public:
    virtual ~Pins() = default;
    // One clock; `state` is the TAP state before it.  Returns TDO.
    virtual bool clock(bool tms, bool tdi, uint8_t state) = 0;
    // `bits` clocks with TMS low in the shift state `state`, TDI from `tdi`
    // in shift order; TDO goes to `tdo` in shift order unless it is null (a
    // backend may then leave TDO unread).  By default one clock at a time.
    virtual void shift(const uint8_t *tdi, uint8_t *tdo, size_t bits, uint8_t state) {
        for (size_t i = 0; i < bits; ++i) {
            const uint8_t m = static_cast<uint8_t>(1u << (i & 7));
            const bool out = clock(false, (tdi[i >> 3] & m) != 0, state);
            if (tdo) tdo[i >> 3] = static_cast<uint8_t>(out ? tdo[i >> 3] | m : tdo[i >> 3] & ~m);
        }
    }
    virtual void trst(bool asserted) = 0;
    // Ends the play; false, with the reason, when the backend failed on the way.
    virtual bool finish(std::string &error) = 0;
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_PINS_H
