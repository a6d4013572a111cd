// The shared QSVF format header: table rows sit at their own opcode value,
// the vector size rule and the state codes are the stream's.
#include "qsvf_format.h"

#include <gtest/gtest.h>

namespace {

TEST(Format, EveryRowSitsAtItsOwnValue) {
    for (unsigned value = 0; value < qsvf::kOpcodeCount; ++value)
        EXPECT_EQ(qsvf::kOpcodes[value].value, value) << qsvf::kOpcodes[value].mnemonic;
    EXPECT_EQ(qsvf::findOpcode(24), nullptr);
    EXPECT_EQ(qsvf::findOpcode(255), nullptr);
}

TEST(Format, MnemonicsAndPlansOfSelectedRecords) {
    struct Row { uint8_t value; const char *mnemonic; qsvf::Operand first, second, third; };
    using O = qsvf::Operand;
    const Row rows[] = {
        {0, "QCOMPLETE", O::None, O::None, O::None},   {2, "QSIR", O::IrLength1, O::IrVector, O::None},
        {4, "QRUNTEST", O::Long, O::None, O::None},    {7, "QREPEAT", O::Byte, O::None, O::None},
        {8, "QSDRSIZE", O::DrLength, O::None, O::None}, {9, "QSDRTDO", O::DrVector, O::DrVector, O::None},
        {11, "QSDRINC", O::DrVector, O::IncFields, O::None}, {17, "QSDRTDOE", O::DrVector, O::DrVector, O::None},
        {21, "QSIR2", O::IrLength2, O::IrVector, O::None}, {22, "QCOMMENT", O::Text, O::None, O::None},
        {23, "QWAIT", O::Byte, O::Byte, O::Long},
    };
    for (const Row &row : rows) {
        const qsvf::OpcodeInfo *info = qsvf::findOpcode(row.value);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->mnemonic, row.mnemonic);
        EXPECT_EQ(info->operands[0], row.first) << row.mnemonic;
        EXPECT_EQ(info->operands[1], row.second) << row.mnemonic;
        EXPECT_EQ(info->operands[2], row.third) << row.mnemonic;
    }
}

TEST(Format, VectorSizes) {
    EXPECT_EQ(qsvf::vectorBytes(0), 0u);
    EXPECT_EQ(qsvf::vectorBytes(1), 1u);
    EXPECT_EQ(qsvf::vectorBytes(8), 1u);
    EXPECT_EQ(qsvf::vectorBytes(9), 2u);
    EXPECT_EQ(qsvf::vectorBytes(255), 32u);
    EXPECT_EQ(qsvf::vectorBytes(300), 38u);
    EXPECT_EQ(qsvf::vectorBytes(0xFFFFFFFFull), 0x20000000u);
}

TEST(Format, StateCodes) {
    EXPECT_EQ(qsvf::tapStateFromName("reset"), qsvf::STATE_RESET);
    EXPECT_EQ(qsvf::tapStateFromName("idle"), qsvf::STATE_IDLE);
    EXPECT_EQ(qsvf::tapStateFromName("drpause"), 6);
    EXPECT_EQ(qsvf::tapStateFromName("irselect"), 9);
    EXPECT_EQ(qsvf::tapStateFromName("irupdate"), 15);
    EXPECT_FALSE(qsvf::tapStateFromName("IDLE").has_value());
    EXPECT_FALSE(qsvf::tapStateFromName("pause").has_value());
}

TEST(Format, MergeSeparators) {
    const uint8_t full[] = {0x13, 0x00, 0x14, 0x00, 0x12, 0x00, 0x12, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00};
    ASSERT_EQ(qsvf::kMergeSeparator.size(), sizeof full);
    for (size_t i = 0; i < sizeof full; ++i) EXPECT_EQ(qsvf::kMergeSeparator[i], full[i]) << i;
    const uint8_t v2[] = {0x04, 0x00, 0x00, 0x00, 0x00};
    ASSERT_EQ(qsvf::kMergeSeparatorV2.size(), sizeof v2);
    for (size_t i = 0; i < sizeof v2; ++i) EXPECT_EQ(qsvf::kMergeSeparatorV2[i], v2[i]) << i;
}

}  // namespace
