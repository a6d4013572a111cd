// Two-input logic operations of the design tools: the enumeration AluOp with
// its printable names, the eight tables that simplify an operation when one
// input is fixed, negated or the result inverted, and the four-flag input
// value set InputValueType with its printing.
#ifndef LMR_UTIL_ALUOP_H
#define LMR_UTIL_ALUOP_H

#include <ostream>

// The sixteen functions of two inputs D1 and D2, plus NoOp.  Each even value
// and the odd value after it compute complementary functions.
enum AluOp : int {
    AndOp = 0,
    NandOp = 1,
    OrOp = 2,
    NorOp = 3,
    XorOp = 4,
    XnorOp = 5,
    D1Op = 6,          // "D1"
    NotD1Op = 7,       // "D1'"
    D2Op = 8,          // "D2"
    NotD2Op = 9,       // "D2'"
    VccOp = 10,        // "Vcc": constant 1
    GndOp = 11,        // "Gnd": constant 0
    D1AndNotD2Op = 12, // "D1D2'"
    NotD1OrD2Op = 13,  // "D1'+D2"
    NotD1AndD2Op = 14, // "D1'D2"
    D1OrNotD2Op = 15,  // "D1+D2'"
    NoOp = 16
};

// Number of AluOp values, and so of entries in every table below.
constexpr int AluOpCount = 17;

// Printed names, indexed by AluOp.
extern const char *const AluOpStr[AluOpCount];

// Simplification maps, indexed by AluOp; NoOp maps to NoOp in each.
extern const AluOp NegatedOp[AluOpCount];    // not op
extern const AluOp TrueFormMap[AluOpCount];  // even member of op's pair
extern const AluOp D1OpGndMap[AluOpCount];   // op with D2 = Gnd
extern const AluOp D1OpVccMap[AluOpCount];   // op with D2 = Vcc
extern const AluOp GndOpD2Map[AluOpCount];   // op with D1 = Gnd
extern const AluOp VccOpD2Map[AluOpCount];   // op with D1 = Vcc
extern const AluOp D1OpNotD2Map[AluOpCount]; // op(D1, not D2)
extern const AluOp NotD1OpD2Map[AluOpCount]; // op(not D1, D2)

// Writes the op's name; a value outside 0..16 is an internal error.
std::ostream &operator<<(std::ostream &os, AluOp op);

// Flags describing what an input may carry; any combination of them.
enum InputValueType : unsigned {
    InputNone = 0,
    InputDC = 1,    // "DC"
    InputTrue = 2,  // "TRUE"
    InputFalse = 4, // "FALSE"
    InputZero = 8   // "ZERO"
};

inline InputValueType operator|(InputValueType a, InputValueType b) {
    return static_cast<InputValueType>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// Writes the names of the set flags in bit order joined by "+"; nothing when
// no flag is set.  Bits above the four flags are not printed.
std::ostream &operator<<(std::ostream &os, InputValueType value);

#endif
