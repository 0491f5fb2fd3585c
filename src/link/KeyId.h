#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::link {

// A Touch Memory key ID in the byte order a collector block carries it:
// family, serial number least significant byte first, CRC8.
using KeyBytes = std::array<uint8_t, 8>;

// All eight bytes zero: no key, empty text, false. Otherwise the 16-character
// text (family, serial most significant byte first, CRC), true.
bool KeyIdToText(const KeyBytes& bytes, QString& text);
QString KeyIdToText(const KeyBytes& bytes);

KeyBytes KeyIdToBytes(const QString& text);

// The two characters at a 1-based position read as a hexadecimal number; see
// the rules in the source for short texts and bad pairs.
int HexByteAt(const QString& text, int position);

// Empty when the CRC of the text's key matches its last byte, otherwise the
// correct CRC as two upper-case hexadecimal digits.
QString KeyIdCrcError(const QString& text);

QString StripSpaces(const QString& text);

inline const QString MsgBadKeyLength = QStringLiteral("Неверная длина ключа(ID) !");
inline const QString MsgBadKeyValue = QStringLiteral("Недопустимое значение ключа(ID) !");

// Checks a typed key ID and tells the operator what is wrong with it. Not
// strict (user keys): any 16 characters starting with "00" pass.
bool KeyIdValidate(const QString& text, bool strict, shell::Prompt& prompt);

// The full ID of a touched key from the four serial bytes an event stores:
// family 0x01, serial bytes 5 and 6 zero, CRC8.
KeyBytes TouchedKey(const uint8_t serial[4]);
// The text of such a key from its 32-bit serial number.
QString TouchKeyText(uint32_t serial);

}  // namespace kordex::link
