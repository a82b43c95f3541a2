// Constant table comment, checked word by word against a table laid out by
// hand from the CTAB structures (28-byte header, 20-byte entries, 16-byte
// type infos, then strings).
#include <gtest/gtest.h>

#include "constant_table.h"

using effectc::ConstantTableEntry;

TEST(ConstantTable, LayoutOfAVectorAndASampler)
{
    std::vector<ConstantTableEntry> entries(2);
    entries[0].name = "g_color";
    entries[0].registerSet = effectc::registerSetFloat4;
    entries[0].registerIndex = 0;
    entries[0].registerCount = 1;
    entries[0].typeClass = 1;  // VECTOR
    entries[0].type = 3;       // FLOAT
    entries[0].rows = 1;
    entries[0].columns = 4;
    entries[1].name = "sSrc";
    entries[1].registerSet = effectc::registerSetSampler;
    entries[1].registerIndex = 0;
    entries[1].registerCount = 1;
    entries[1].typeClass = 4;  // OBJECT
    entries[1].type = 12;      // SAMPLER2D

    std::vector<uint32_t> expected = {
        0x0021FFFE, 0x42415443,  // comment of 0x21 words: fourcc + 0x80 bytes of table
        // header: size 28, creator at 0x7C, version, 2 constants, entries at 0x1C, flags, target at 0x74
        0x0000001C, 0x0000007C, 0xFFFF0200, 0x00000002, 0x0000001C, 0x00000000, 0x00000074,
        // entries: name offset; set | index << 16; count | reserved << 16; type info; default
        0x00000064, 0x00000002, 0x00000001, 0x00000044, 0x00000000, 0x0000006C, 0x00000003,
        0x00000001, 0x00000054, 0x00000000,
        // type infos: class | type << 16; rows | columns << 16; elements | members << 16; member info
        0x00030001, 0x00040001, 0x00000001, 0x00000000, 0x000C0004, 0x00010001, 0x00000001,
        0x00000000, 0x6F635F67, 0x00726F6C,  // "g_color\0"
        0x63725373, 0xABABAB00,              // "sSrc\0" padded with 0xAB
        0x325F7370, 0xAB00305F,              // "ps_2_0\0"
        0x006D7361,                          // "asm\0"
    };
    EXPECT_EQ(effectc::BuildConstantTableComment(entries, 0xFFFF0200, "ps_2_0", "asm"), expected);
}

TEST(ConstantTable, MatrixEntryAndEmptyTable)
{
    std::vector<ConstantTableEntry> entries(1);
    entries[0].name = "m";
    entries[0].registerIndex = 5;
    entries[0].registerCount = 4;
    entries[0].typeClass = 2;  // MATRIX_ROWS
    entries[0].type = 3;
    entries[0].rows = 4;
    entries[0].columns = 4;
    auto table = effectc::BuildConstantTableComment(entries, 0xFFFF0200, "ps_2_0", "x");
    // 28 + 20 + 16 = 0x40; "m\0" pads to 4, then target at 0x44, creator at 0x4C; 0x50 bytes in all.
    ASSERT_EQ(table.size(), 2u + 0x50 / 4);
    EXPECT_EQ(table[0], 0x0015FFFEu);
    EXPECT_EQ(table[3], 0x4Cu);         // creator
    EXPECT_EQ(table[8], 0x44u);         // target
    EXPECT_EQ(table[10], 0x00050002u);  // FLOAT4 set, register 5
    EXPECT_EQ(table[11], 0x00000004u);  // 4 registers
    EXPECT_EQ(table[14], 0x00030002u);  // MATRIX_ROWS, FLOAT
    EXPECT_EQ(table[15], 0x00040004u);  // 4 x 4
    EXPECT_EQ(table[18], 0xABAB006Du);  // "m\0" + padding

    auto empty = effectc::BuildConstantTableComment({}, 0xFFFF0200, "ps_2_0", "asm");
    // Header, target and creator only: 28 + 8 + 4 bytes.
    ASSERT_EQ(empty.size(), 2u + 10);
    EXPECT_EQ(empty[0], 0x000BFFFEu);
    EXPECT_EQ(empty[5], 0u);     // no constants
    EXPECT_EQ(empty[8], 0x1Cu);  // target right after the header
}

TEST(ConstantTable, InsertedRightAfterTheVersionToken)
{
    std::vector<uint32_t> shader = {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};
    std::vector<uint32_t> comment = {0x0001FFFE, 0x42415443};
    EXPECT_EQ(effectc::InsertAfterVersion(shader, comment),
              (std::vector<uint32_t>{0xFFFF0200, 0x0001FFFE, 0x42415443, 0x02000001, 0x800F0800,
                                     0xA0E40000, 0x0000FFFF}));
}
