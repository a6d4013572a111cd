// The remote_bitbang pin backend: qsvfplay as the client of a
// remote_bitbang server that owns the pins (the protocol OpenOCD speaks
// with its remote_bitbang adapter driver).  Every command is one ASCII byte:
// '0'..'7' set TCK, TMS and TDI (4*TCK + 2*TMS + TDI), 'R' asks for TDO and
// gets '0' or '1' back, 'r'..'u' set TRST and SRST, 'Q' ends the session.
// A clock is the pins with TCK low, a TDO read when the TAP is in a shift
// state (the only time TDO carries data), then TCK high.  Commands are
// written in blocks; a block goes out before every read and at the end.
// The whole bytes of a scan are shifted as blocks whose reads are answered
// together.
#ifndef QSVFPLAY_REMOTE_BITBANG_H
#define QSVFPLAY_REMOTE_BITBANG_H

#include <memory>
#include <string>

#include "pins.h"

namespace qsvfplay {

class RemoteBitbang : public Pins {
public:
    // Takes over a connected socket.
    explicit RemoteBitbang(int socket);
    ~RemoteBitbang() override;
    // Connects to HOST:PORT, or to the unix socket at a path; null, with
    // the reason, when that fails.
    static std::unique_ptr<RemoteBitbang> connect(const std::string &where, std::string &error);

    bool clock(bool tms, bool tdi, uint8_t state) override;
    // A run of shift clocks goes out as one block, its TDO reads with it,
    // and the answers are taken after it: one round trip per block instead
    // of one per bit, and none when TDO is not wanted.
    void shift(const uint8_t *tdi, uint8_t *tdo, size_t bits, uint8_t state) override;
    void trst(bool asserted) override;
    bool finish(std::string &error) override;

private:
    void put(char command);
    bool flush();

    int m_socket;
    std::string m_pending;
    std::string m_error;  // the first failure; nothing is sent after it
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_REMOTE_BITBANG_H
