// Placing a one-device SVF file at its position in a scan chain (-chain,
// -target).  The other devices are padded as OpenOCD's `svf -tap` pads
// them: every instruction scan gets their IRs of all ones (BYPASS), every
// data scan one 0 bit per device, and TDO is compared on the target's bits
// only.  The devices nearer TDO take the low bits, which are shifted first:
// they are the header of every scan, the devices nearer TDI the trailer.
// The padding takes the place of the file's own HIR, HDR, TIR and TDR.
#ifndef SVF_CHAIN_H
#define SVF_CHAIN_H

#include <cstdint>
#include <vector>

namespace svf {

class CTapObj;

// The chain of the run: IR lengths from the TDO end, and the target's
// position, 1 at the TDO end; no lengths when -chain was not given.
struct ChainPlacement {
    std::vector<int64_t> irLengths;
    int64_t target = 0;  // 0: -target not given
    bool placed() const { return !irLengths.empty(); }
};
extern ChainPlacement gChain;

void resetChain();
// The option values, refused with the translator's error when malformed.
void takeChainLengths(const char *value);
void takeChainTarget(const char *value);
// After all options: -target needs -chain and a position inside it.
void checkChainOptions();
// The padding as the run's header and trailer patterns.
void placeInChain(CTapObj &tap);

}  // namespace svf

#endif  // SVF_CHAIN_H
