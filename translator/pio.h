// PIOMAP and PIO: the parallel I/O pins beside the scan chain.  QSVF has no
// record for them, so the commands are only checked against each other.
#ifndef SVF_PIO_H
#define SVF_PIO_H

#include <memory>

namespace svf {

class FileChannel;

void doPioMap(FileChannel &channel);
// The accepted vector characters, or none when no map is defined.
std::unique_ptr<char[]> doPio(FileChannel &channel);

}  // namespace svf

#endif  // SVF_PIO_H
