// What the host program plays into: a pin backend that clocks TCK with TMS
// and TDI and returns TDO, and drives TRST.  The simulated chain and the
// remote_bitbang client are the two backends.
#ifndef QSVFPLAY_PINS_H
#define QSVFPLAY_PINS_H

#include <cstdint>
#include <string>

namespace qsvfplay {

class Pins {
public:
    virtual ~Pins() = default;
    // One clock; `state` is the TAP state before it.  Returns TDO.
    virtual bool clock(bool tms, bool tdi, uint8_t state) = 0;
    virtual void trst(bool asserted) = 0;
    // Ends the play; false, with the reason, when the backend failed on the way.
    virtual bool finish(std::string &error) = 0;
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_PINS_H
