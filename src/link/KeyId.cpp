#include "KeyId.h"

#include "Crc8.h"
#include "shell/Prompt.h"

namespace kordex::link {

namespace {
// Text position (1-based) of each byte of the byte form.
constexpr int TextPos[8] = {1, 13, 11, 9, 7, 5, 3, 15};

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}
}  // namespace

bool KeyIdToText(const KeyBytes& bytes, QString& text) {
    bool any = false;
    for (uint8_t b : bytes)
        any |= b != 0;
    if (!any) {
        text.clear();
        return false;
    }
    static const char* hex = "0123456789ABCDEF";
    QString out(16, QChar('0'));
    for (int i = 0; i < 8; ++i) {
        const int p = TextPos[i] - 1;
        out[p] = QChar(hex[bytes[i] >> 4]);
        out[p + 1] = QChar(hex[bytes[i] & 0x0F]);
    }
    text = out;
    return true;
}

QString KeyIdToText(const KeyBytes& bytes) {
    QString t;
    KeyIdToText(bytes, t);
    return t;
}

KeyBytes KeyIdToBytes(const QString& text) {
    KeyBytes b{};
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<uint8_t>(HexByteAt(text, TextPos[i]));
    return b;
}

int HexByteAt(const QString& text, int position) {
    if (position < 1) position = 1;
    const int i = position - 1;
    if (i >= text.size()) return 0;
    const int hi = HexDigit(text[i]);
    if (i + 1 >= text.size()) return hi < 0 ? 0 : hi;
    const int lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return 0;
    return hi * 16 + lo;
}

QString KeyIdCrcError(const QString& text) {
    const KeyBytes b = KeyIdToBytes(text);
    const uint8_t crc = Crc8(b.data(), 7);
    if (crc == b[7]) return {};
    return QStringLiteral("%1").arg(crc, 2, 16, QChar('0')).toUpper();
}

QString StripSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (c.unicode() != 32) out.append(c);
    return out;
}

bool KeyIdValidate(const QString& input, bool strict, shell::Prompt& prompt) {
    const QString text = StripSpaces(input);
    if (text.size() != 16) {
        prompt.Ask(shell::CaptionError, MsgBadKeyLength, shell::Icon::Error, shell::Buttons::Ok);
        return false;
    }
    if (!strict && text.startsWith(QLatin1String("00"))) return true;
    if (text == QLatin1String("0000000000000000") || !KeyIdCrcError(text).isEmpty()) {
        prompt.Ask(shell::CaptionError, MsgBadKeyValue, shell::Icon::Error, shell::Buttons::Ok);
        return false;
    }
    return true;
}

KeyBytes TouchedKey(const uint8_t serial[4]) {
    KeyBytes b{0x01, serial[0], serial[1], serial[2], serial[3], 0, 0, 0};
    b[7] = Crc8(b.data(), 7);
    return b;
}

QString TouchKeyText(uint32_t serial) {
    const uint8_t s[4] = {static_cast<uint8_t>(serial), static_cast<uint8_t>(serial >> 8),
                          static_cast<uint8_t>(serial >> 16), static_cast<uint8_t>(serial >> 24)};
    return KeyIdToText(TouchedKey(s));
}

}  // namespace kordex::link
