#pragma once

#include <QColor>
#include <QSize>
#include <QWidget>
#include <array>
#include <cstdint>

namespace kordex::app {

// The colours of the digit displays of the test page: lit segments on a dark
// LCD-like face, unlit segments faintly visible.
struct SegmentColours {
    static QColor Face() { return QColor(0x10, 0x1c, 0x16); }
    static QColor Lit() { return QColor(0x4c, 0xf0, 0x8e); }
    static QColor Unlit() { return QColor(0x1b, 0x33, 0x25); }
};

// One figure of a seven-segment display: 0..15 the hexadecimal digits 0-9 A b
// C d E F, 16 a lower-case r; a negative index hides the figure (only the dark
// face is drawn). The figure remembers its index and repaints only when it
// changes.
class SegmentGlyph : public QWidget {
    Q_OBJECT

public:
    // The segments, one bit each: a top, b top right, c bottom right,
    // d bottom, e bottom left, f top left, g middle.
    enum Segment : uint8_t {
        SegA = 1 << 0,
        SegB = 1 << 1,
        SegC = 1 << 2,
        SegD = 1 << 3,
        SegE = 1 << 4,
        SegF = 1 << 5,
        SegG = 1 << 6,
    };
    static constexpr int GlyphCount = 17;
    static constexpr int DesignWidth = 23;
    static constexpr int DesignHeight = 34;

    // The lit segments of every glyph, by index.
    static const std::array<uint8_t, GlyphCount>& Masks();
    // The lit segments of an index; none for a hidden or unknown index.
    static uint8_t MaskOf(int index);

    explicit SegmentGlyph(QWidget* parent = nullptr);

    int Index() const { return index_; }
    // Shows the glyph of an index (negative: hidden); repaints only when the
    // index differs from the one shown.
    void SetIndex(int index);

    QSize sizeHint() const override { return {DesignWidth, DesignHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int index_ = -1;
};

// A fixed mark between the figures of a display: the colon of a time or the
// point of a date or a voltage. Drawn in the colours of the figures, as tall
// as they are.
class SegmentMark : public QWidget {
    Q_OBJECT

public:
    enum class Kind { Colon, Point };
    static constexpr int DesignWidth = 9;

    explicit SegmentMark(Kind kind, QWidget* parent = nullptr);

    Kind MarkKind() const { return kind_; }
    QSize sizeHint() const override { return {DesignWidth, SegmentGlyph::DesignHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

}  // namespace kordex::app
