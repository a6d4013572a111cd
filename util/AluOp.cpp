// Names and simplification tables of the two-input logic operations, and the
// printing of AluOp and InputValueType.  The tables are plain data: a map
// entry is the operation computing the same function of D1 and D2 after the
// map's rule is applied to the indexed operation.
#include <Lmr_Util/AluOp.h>

#include <Lmr_Util/ConsoleReport.h>

const char *const AluOpStr[AluOpCount] = {
    "AndOp", "NandOp", "OrOp",   "NorOp",   "XorOp",  "XnorOp", "D1",    "D1'",  "D2",
    "D2'",   "Vcc",    "Gnd",    "D1D2'",   "D1'+D2", "D1'D2",  "D1+D2'", "NoOp"};

// Columns, in AluOp order:
//   And    Nand   Or     Nor    Xor    Xnor   D1     D1'    D2     D2'
//   Vcc    Gnd    D1D2'  D1'+D2 D1'D2  D1+D2' NoOp

const AluOp NegatedOp[AluOpCount] = {
    NandOp,      AndOp,        NorOp,       OrOp,         XnorOp, XorOp,
    NotD1Op,     D1Op,         NotD2Op,     D2Op,         GndOp,  VccOp,
    NotD1OrD2Op, D1AndNotD2Op, D1OrNotD2Op, NotD1AndD2Op, NoOp};

const AluOp TrueFormMap[AluOpCount] = {
    AndOp,        AndOp,        OrOp,         OrOp,         XorOp, XorOp,
    D1Op,         D1Op,         D2Op,         D2Op,         VccOp, VccOp,
    D1AndNotD2Op, D1AndNotD2Op, NotD1AndD2Op, NotD1AndD2Op, NoOp};

const AluOp D1OpGndMap[AluOpCount] = {
    GndOp, VccOp,   D1Op,  NotD1Op, D1Op,  NotD1Op, D1Op,    NotD1Op, GndOp,
    VccOp, VccOp,   GndOp, D1Op,    NotD1Op, GndOp, VccOp,   NoOp};

const AluOp D1OpVccMap[AluOpCount] = {
    D1Op,  NotD1Op, VccOp, GndOp,   NotD1Op, D1Op,  D1Op,    NotD1Op, VccOp,
    GndOp, VccOp,   GndOp, GndOp,   VccOp,   NotD1Op, D1Op,  NoOp};

const AluOp GndOpD2Map[AluOpCount] = {
    GndOp,   VccOp, D2Op,  NotD2Op, D2Op,  NotD2Op, GndOp, VccOp, D2Op,
    NotD2Op, VccOp, GndOp, GndOp,   VccOp, D2Op,    NotD2Op, NoOp};

const AluOp VccOpD2Map[AluOpCount] = {
    D2Op,    NotD2Op, VccOp, GndOp,   NotD2Op, D2Op,  VccOp, GndOp, D2Op,
    NotD2Op, VccOp,   GndOp, NotD2Op, D2Op,    GndOp, VccOp, NoOp};

const AluOp D1OpNotD2Map[AluOpCount] = {
    D1AndNotD2Op, NotD1OrD2Op, D1OrNotD2Op, NotD1AndD2Op, XnorOp, XorOp,
    D1Op,         NotD1Op,     NotD2Op,     D2Op,         VccOp,  GndOp,
    AndOp,        NandOp,      NorOp,       OrOp,         NoOp};

const AluOp NotD1OpD2Map[AluOpCount] = {
    NotD1AndD2Op, D1OrNotD2Op, NotD1OrD2Op, D1AndNotD2Op, XnorOp, XorOp,
    NotD1Op,      D1Op,        D2Op,        NotD2Op,      VccOp,  GndOp,
    NorOp,        OrOp,        AndOp,       NandOp,       NoOp};

std::ostream &operator<<(std::ostream &os, AluOp op) {
    const int value = static_cast<int>(op);
    if (value < 0 || value >= AluOpCount)
        __EPLD_Assert("AluOp.cpp", __LINE__);
    return os << AluOpStr[value];
}

std::ostream &operator<<(std::ostream &os, InputValueType value) {
    static const char *const flagNames[4] = {"DC", "TRUE", "FALSE", "ZERO"};
    const unsigned bits = static_cast<unsigned>(value);
    bool first = true;
    for (unsigned bit = 0; bit < 4; ++bit) {
        if (bits & (1u << bit)) {
            if (!first)
                os << '+';
            os << flagNames[bit];
            first = false;
        }
    }
    return os;
}
