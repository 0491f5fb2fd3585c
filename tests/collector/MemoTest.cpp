#include <gtest/gtest.h>

#include <utility>

#include "BlockText.h"
#include "collector/Memo.h"

using namespace kordex::collector;

TEST(Cp1251, KnownBytes) {
    const std::pair<QString, uint8_t> cases[] = {
        {"A", 0x41}, {"~", 0x7E}, {"А", 0xC0}, {"Я", 0xDF}, {"а", 0xE0},
        {"я", 0xFF}, {"Ё", 0xA8}, {"ё", 0xB8}, {"№", 0xB9}, {"Ђ", 0x80},
        {"€", 0x88}, {"—", 0x97}, {"™", 0x99}, {"џ", 0x9F}, {"\u00A0", 0xA0},
        {"Ї", 0xAF}, {"ї", 0xBF}, {"«", 0xAB}, {"»", 0xBB},
    };
    for (const auto& [text, byte] : cases) {
        const QByteArray bytes = ToCp1251(text);
        ASSERT_EQ(bytes.size(), 1) << text.toStdString();
        EXPECT_EQ(static_cast<uint8_t>(bytes[0]), byte) << text.toStdString();
        EXPECT_EQ(FromCp1251(bytes), text) << int(byte);
    }
}

TEST(Cp1251, EveryDefinedByteComesBackAndOthersBecomeQuestionMarks) {
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98) continue;
        const QByteArray one(1, static_cast<char>(b));
        EXPECT_EQ(ToCp1251(FromCp1251(one)), one) << b;
    }
    EXPECT_EQ(FromCp1251(QByteArray(1, '\x98')), QString(QChar(0xFFFD)));
    EXPECT_EQ(ToCp1251(QString::fromUtf8("Ω中\xF0\x9F\x98\x80Ж")), QByteArray("???\xC6"));
}

TEST(Memo, BlocksAsWritten) {
    struct Case {
        const char* text;
        const char* blocks[4];
    } cases[] = {
        {"",
         {"00 20 20 20 20 20 20 20", "00 20 20 20 20 20 20 20", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
        {"Пост №1 ЮГ!",  // 11
         {"CF EE F1 F2 20 B9 31 20", "DE C3 21 00 20 20 20 20", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
        {"Ёлка ёж!",  // 8
         {"A8 EB EA E0 20 B8 E6 21", "00 20 20 20 20 20 20 20", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
        {"АБВГДЕЖЗабвгдежз",  // 16
         {"C0 C1 C2 C3 C4 C5 C6 C7", "E0 E1 E2 E3 E4 E5 E6 E7", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
        {"Обход: склад №2, двор и ворота;я",  // 32
         {"CE E1 F5 EE E4 3A 20 F1", "EA EB E0 E4 20 B9 32 2C", "20 E4 E2 EE F0 20 E8 20",
          "E2 EE F0 EE F2 E0 3B FF"}},
        {"Обход: склад №2, двор и ворота;яЁё—€ЖЖЖЖ",  // 40, cut to 32
         {"CE E1 F5 EE E4 3A 20 F1", "EA EB E0 E4 20 B9 32 2C", "20 E4 E2 EE F0 20 E8 20",
          "E2 EE F0 EE F2 E0 3B FF"}},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const MemoBlockSet blocks = EncodeMemo(text);
        for (int i = 0; i < MemoBlocks; ++i)
            EXPECT_EQ(HexOf(blocks[static_cast<size_t>(i)]), c.blocks[i]) << c.text << " #" << i;
        EXPECT_EQ(DecodeMemo(blocks), text.left(MemoLength)) << c.text;
    }
}

TEST(Memo, ReadingStopsAtFirstZeroOfEachBlock) {
    EXPECT_EQ(DecodeMemoBlock(BlockOf("C0 C1 00 C2 C3 20 20 20")), "АБ");
    EXPECT_EQ(DecodeMemoBlock(BlockOf("41 20 20 20 20 20 20 20")), "A       ");
    EXPECT_EQ(DecodeMemoBlock(BlockOf("00 41 41 41 41 41 41 41")), "");
    const MemoBlockSet blocks = {
        BlockOf("C0 00 C1 C1 C1 C1 C1 C1"), BlockOf("00 41 41 41 41 41 41 41"),
        BlockOf("42 42 42 42 42 42 42 42"), BlockOf("FF 00 00 00 00 00 00 00")};
    EXPECT_EQ(DecodeMemo(blocks), "АBBBBBBBBя");
}

TEST(Memo, CharacterOutsideTheCodePageIsWrittenAsQuestionMark) {
    EXPECT_EQ(HexOf(EncodeMemo(QString::fromUtf8("Ω-Я"))[0]), "3F 2D DF 00 20 20 20 20");
}

TEST(Memo, FirstCharacterThatCannotBeWritten) {
    struct Case {
        const char* text;
        qsizetype position;  // -1: every character can be written
        const char* character;
    } cases[] = {
        {"Пост №1 — ЮГ «€» ?", -1, ""},
        {"", -1, ""},
        {"Пост ☃ 3", 5, "☃"},
        {"Ω", 0, "Ω"},
        {"a\xF0\x9F\x98\x80Ж中", 1, "\xF0\x9F\x98\x80"},  // outside the basic plane: two units
        {"ok\xEF\xBF\xBD", 2, "\xEF\xBF\xBD"},            // U+FFFD, the undefined byte read back
    };
    for (const auto& c : cases) {
        const auto found = FirstOutsideCp1251(QString::fromUtf8(c.text));
        if (c.position < 0) {
            EXPECT_FALSE(found.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(found.has_value()) << c.text;
        EXPECT_EQ(found->position, c.position) << c.text;
        EXPECT_EQ(found->character, QString::fromUtf8(c.character)) << c.text;
    }
    // A lone half of a surrogate pair is no character of the code page either.
    EXPECT_EQ(FirstOutsideCp1251(QString(QChar(0xD83D)) + "x")->position, 0);
}
