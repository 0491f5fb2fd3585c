#include "SegmentGlyph.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace kordex::app {

namespace {

using S = SegmentGlyph;

constexpr std::array<uint8_t, SegmentGlyph::GlyphCount> GlyphMasks = {
    S::SegA | S::SegB | S::SegC | S::SegD | S::SegE | S::SegF,            // 0
    S::SegB | S::SegC,                                                    // 1
    S::SegA | S::SegB | S::SegD | S::SegE | S::SegG,                      // 2
    S::SegA | S::SegB | S::SegC | S::SegD | S::SegG,                      // 3
    S::SegB | S::SegC | S::SegF | S::SegG,                                // 4
    S::SegA | S::SegC | S::SegD | S::SegF | S::SegG,                      // 5
    S::SegA | S::SegC | S::SegD | S::SegE | S::SegF | S::SegG,            // 6
    S::SegA | S::SegB | S::SegC,                                          // 7
    S::SegA | S::SegB | S::SegC | S::SegD | S::SegE | S::SegF | S::SegG,  // 8
    S::SegA | S::SegB | S::SegC | S::SegD | S::SegF | S::SegG,            // 9
    S::SegA | S::SegB | S::SegC | S::SegE | S::SegF | S::SegG,            // A
    S::SegC | S::SegD | S::SegE | S::SegF | S::SegG,                      // b
    S::SegA | S::SegD | S::SegE | S::SegF,                                // C
    S::SegB | S::SegC | S::SegD | S::SegE | S::SegG,                      // d
    S::SegA | S::SegD | S::SegE | S::SegF | S::SegG,                      // E
    S::SegA | S::SegE | S::SegF | S::SegG,                                // F
    S::SegE | S::SegG,                                                    // r
};

// The figure's geometry in design pixels (23 x 34): the centre lines of the
// segments and their half thickness; the figure leans a little to the right.
constexpr double Left = 5.0;
constexpr double Right = 18.0;
constexpr double Top = 4.0;
constexpr double Middle = 17.0;
constexpr double Bottom = 30.0;
constexpr double Half = 1.7;
constexpr double Gap = 0.7;
constexpr double Lean = 0.07;

// A segment from one end to the other along its centre line, with pointed
// ends.
QPolygonF Horizontal(double x1, double x2, double y) {
    const double a = x1 + Gap;
    const double b = x2 - Gap;
    return QPolygonF({{a, y},
                      {a + Half, y - Half},
                      {b - Half, y - Half},
                      {b, y},
                      {b - Half, y + Half},
                      {a + Half, y + Half}});
}

QPolygonF Vertical(double x, double y1, double y2) {
    const double a = y1 + Gap;
    const double b = y2 - Gap;
    return QPolygonF({{x, a},
                      {x + Half, a + Half},
                      {x + Half, b - Half},
                      {x, b},
                      {x - Half, b - Half},
                      {x - Half, a + Half}});
}

// The seven segments in bit order a..g.
const std::array<QPolygonF, 7>& SegmentShapes() {
    static const std::array<QPolygonF, 7> shapes = {
        Horizontal(Left, Right, Top),    Vertical(Right, Top, Middle),
        Vertical(Right, Middle, Bottom), Horizontal(Left, Right, Bottom),
        Vertical(Left, Middle, Bottom),  Vertical(Left, Top, Middle),
        Horizontal(Left, Right, Middle),
    };
    return shapes;
}

// Maps design pixels onto the widget, leaning about the middle line.
QTransform DesignToWidget(const QWidget& w, int designWidth) {
    QTransform t;
    t.scale(w.width() / double(designWidth), w.height() / double(SegmentGlyph::DesignHeight));
    t.translate(Lean * Middle, 0);
    t.shear(-Lean, 0);
    return t;
}

}  // namespace

// --- SegmentGlyph -------------------------------------------------------------

const std::array<uint8_t, SegmentGlyph::GlyphCount>& SegmentGlyph::Masks() {
    return GlyphMasks;
}

uint8_t SegmentGlyph::MaskOf(int index) {
    if (index < 0 || index >= GlyphCount) return 0;
    return GlyphMasks[static_cast<size_t>(index)];
}

SegmentGlyph::SegmentGlyph(QWidget* parent) : QWidget(parent) {
    setFixedSize(DesignWidth, DesignHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SegmentGlyph::SetIndex(int index) {
    if (index < 0) index = -1;
    if (index == index_) return;
    index_ = index;
    update();
}

void SegmentGlyph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), SegmentColours::Face());
    if (index_ < 0) return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(DesignToWidget(*this, DesignWidth));
    p.setPen(Qt::NoPen);
    const uint8_t mask = MaskOf(index_);
    const auto& shapes = SegmentShapes();
    for (size_t s = 0; s < shapes.size(); ++s) {
        p.setBrush((mask >> s) & 1 ? SegmentColours::Lit() : SegmentColours::Unlit());
        p.drawPolygon(shapes[s]);
    }
}

// --- SegmentMark --------------------------------------------------------------

SegmentMark::SegmentMark(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setFixedSize(DesignWidth, SegmentGlyph::DesignHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SegmentMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), SegmentColours::Face());
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(DesignToWidget(*this, DesignWidth));
    p.setPen(Qt::NoPen);
    p.setBrush(SegmentColours::Lit());
    // Dots as thick as a segment, on the lines of the figures beside them.
    const double x = DesignWidth / 2.0;
    const double r = Half;
    if (kind_ == Kind::Colon) {
        p.drawEllipse(QPointF(x, (Top + Middle) / 2), r, r);
        p.drawEllipse(QPointF(x, (Middle + Bottom) / 2), r, r);
    } else {
        p.drawEllipse(QPointF(x, Bottom), r, r);
    }
}

}  // namespace kordex::app
