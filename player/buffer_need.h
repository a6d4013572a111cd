// The smallest buffer a board's player needs for a stream, as the player
// library lays it out: it keeps the increment masks of the last
// QSETSDRMASKS, the last TDO mask and the last expected TDO value, and reads
// each record's vectors, and the TDO a compared scan reads, behind them.
#ifndef QSVFPLAY_BUFFER_NEED_H
#define QSVFPLAY_BUFFER_NEED_H

#include <cstdint>
#include <vector>

namespace qsvfplay {

// Bytes; the records up to QCOMPLETE, or up to the first that is cut off
// or not a record, count.
uint64_t bufferNeed(const std::vector<uint8_t> &stream);

}  // namespace qsvfplay

#endif  // QSVFPLAY_BUFFER_NEED_H
