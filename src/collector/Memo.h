#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

#include "link/Frames.h"

namespace kordex::collector {

// The collector keeps texts one byte per character in Windows-1251.

// A character that Windows-1251 cannot hold becomes '?'.
QByteArray ToCp1251(const QString& text);
// The one byte that Windows-1251 leaves undefined (0x98) becomes U+FFFD.
QString FromCp1251(const QByteArray& bytes);

// A character that Windows-1251 cannot hold (U+FFFD included): where it
// starts in its text, in UTF-16 units, and the character itself (two units
// for one outside the basic plane).
struct ForeignCharacter {
    qsizetype position = 0;
    QString character;
};
// The first such character of a text; nothing when every one can be written.
std::optional<ForeignCharacter> FirstOutsideCp1251(const QString& text);

// The memo: up to 32 characters in four blocks of 8 (0x1F50..0x1F68).
constexpr int MemoBlocks = 4;
constexpr int MemoLength = MemoBlocks * link::BlockSize;

using MemoBlockSet = std::array<link::Block, MemoBlocks>;

// Each block is filled with spaces and takes its 8 characters of the text,
// followed by a zero byte when fewer than 8 are left for it. A longer text is
// cut to 32 characters.
MemoBlockSet EncodeMemo(const QString& text);

// The characters of one block up to its first zero byte, at most 8.
QString DecodeMemoBlock(const link::Block& block);
// The four blocks' parts joined.
QString DecodeMemo(const MemoBlockSet& blocks);

}  // namespace kordex::collector
