#pragma once

#include <QByteArray>
#include <QString>
#include <array>

#include "link/Frames.h"

namespace kordex::collector {

// The collector keeps texts one byte per character in Windows-1251.

// A character that Windows-1251 cannot hold becomes '?'.
QByteArray ToCp1251(const QString& text);
// The one byte that Windows-1251 leaves undefined (0x98) becomes U+FFFD.
QString FromCp1251(const QByteArray& bytes);

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
