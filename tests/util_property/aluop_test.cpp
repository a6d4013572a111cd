// The logic-operation names and simplification maps.  Every map entry is
// derived here from the truth table of the operation, written from the
// operation's meaning, so a wrong entry in the library's tables fails.
#include <Lmr_Util/AluOp.h>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

namespace {

// The function each operation computes, from its definition.
bool compute(int op, bool d1, bool d2) {
    switch (op) {
    case 0: return d1 && d2;            // AndOp
    case 1: return !(d1 && d2);         // NandOp
    case 2: return d1 || d2;            // OrOp
    case 3: return !(d1 || d2);         // NorOp
    case 4: return d1 != d2;            // XorOp
    case 5: return d1 == d2;            // XnorOp
    case 6: return d1;                  // D1
    case 7: return !d1;                 // D1'
    case 8: return d2;                  // D2
    case 9: return !d2;                 // D2'
    case 10: return true;               // Vcc
    case 11: return false;              // Gnd
    case 12: return d1 && !d2;          // D1D2'
    case 13: return !d1 || d2;          // D1'+D2
    case 14: return !d1 && d2;          // D1'D2
    case 15: return d1 || !d2;          // D1+D2'
    }
    ADD_FAILURE() << "no function for op " << op;
    return false;
}

using Rule = std::function<bool(int op, bool d1, bool d2)>;

// The one operation among the sixteen functions that equals the rule applied
// to op, for all four input pairs.
int operationFor(int op, const Rule &rule) {
    int found = -1;
    for (int candidate = 0; candidate < 16; ++candidate) {
        bool same = true;
        for (int in = 0; in < 4; ++in) {
            bool d1 = in & 2, d2 = in & 1;
            if (compute(candidate, d1, d2) != rule(op, d1, d2))
                same = false;
        }
        if (same) {
            EXPECT_EQ(found, -1) << "two operations compute the same function";
            found = candidate;
        }
    }
    return found;
}

void checkMap(const AluOp *map, const Rule &rule, const char *mapName) {
    for (int op = 0; op < 16; ++op)
        EXPECT_EQ(static_cast<int>(map[op]), operationFor(op, rule))
            << mapName << " of " << AluOpStr[op];
    EXPECT_EQ(map[NoOp], NoOp) << mapName << " of NoOp";
}

std::string printed(AluOp op) {
    std::ostringstream os;
    os << op;
    return os.str();
}

std::string printed(InputValueType value) {
    std::ostringstream os;
    os << value;
    return os.str();
}

} // namespace

TEST(AluOp, NamesInValueOrder) {
    const char *expected[17] = {"AndOp", "NandOp", "OrOp",  "NorOp", "XorOp",  "XnorOp",
                                "D1",    "D1'",    "D2",    "D2'",   "Vcc",    "Gnd",
                                "D1D2'", "D1'+D2", "D1'D2", "D1+D2'", "NoOp"};
    for (int op = 0; op < 17; ++op) {
        EXPECT_STREQ(AluOpStr[op], expected[op]);
        EXPECT_EQ(printed(static_cast<AluOp>(op)), expected[op]);
    }
}

TEST(AluOp, MapsFollowFromTruthTables) {
    checkMap(NegatedOp, [](int op, bool a, bool b) { return !compute(op, a, b); }, "NegatedOp");
    checkMap(TrueFormMap, [](int op, bool a, bool b) { return compute(op & ~1, a, b); }, "TrueFormMap");
    checkMap(D1OpGndMap, [](int op, bool a, bool) { return compute(op, a, false); }, "D1OpGndMap");
    checkMap(D1OpVccMap, [](int op, bool a, bool) { return compute(op, a, true); }, "D1OpVccMap");
    checkMap(GndOpD2Map, [](int op, bool, bool b) { return compute(op, false, b); }, "GndOpD2Map");
    checkMap(VccOpD2Map, [](int op, bool, bool b) { return compute(op, true, b); }, "VccOpD2Map");
    checkMap(D1OpNotD2Map, [](int op, bool a, bool b) { return compute(op, a, !b); }, "D1OpNotD2Map");
    checkMap(NotD1OpD2Map, [](int op, bool a, bool b) { return compute(op, !a, b); }, "NotD1OpD2Map");
}

TEST(AluOp, MapExamples) {
    EXPECT_EQ(D1OpGndMap[OrOp], D1Op);
    EXPECT_EQ(D1OpGndMap[NandOp], VccOp);
    EXPECT_EQ(D1OpNotD2Map[AndOp], D1AndNotD2Op);
    EXPECT_EQ(GndOpD2Map[XnorOp], NotD2Op);
    EXPECT_EQ(printed(NegatedOp[D1AndNotD2Op]), "D1'+D2");
}

TEST(AluOp, OutOfRangeIsAnInternalError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(printed(static_cast<AluOp>(17)), testing::ExitedWithCode(2),
                "Unexpected error detected\\.");
    EXPECT_EXIT(printed(static_cast<AluOp>(-1)), testing::ExitedWithCode(2),
                "Unexpected error detected\\.");
}

TEST(InputValueType, PrintsSetFlagsInBitOrder) {
    EXPECT_EQ(printed(static_cast<InputValueType>(0)), "");
    EXPECT_EQ(printed(InputTrue | InputZero), "TRUE+ZERO");
    EXPECT_EQ(printed(InputDC), "DC");
    EXPECT_EQ(printed(InputZero | InputFalse | InputTrue | InputDC), "DC+TRUE+FALSE+ZERO");
    EXPECT_EQ(printed(static_cast<InputValueType>(0x14)), "FALSE");
}
