#include "AboutBox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

namespace kordex::app {

namespace {

constexpr int ShadowOffset = 2;

// The title over its shadow: the same text twice, the grey copy behind and
// shifted down and to the right.
class ShadowedTitle : public QWidget {
public:
    ShadowedTitle(QLabel* title, QLabel* shadow, QWidget* parent)
        : QWidget(parent), title_(title), shadow_(shadow) {
        shadow_->setParent(this);
        title_->setParent(this);
        title_->raise();
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        return title_->sizeHint() + QSize(ShadowOffset, ShadowOffset);
    }

protected:
    void resizeEvent(QResizeEvent*) override {
        const QSize s = title_->sizeHint();
        title_->setGeometry(0, 0, s.width(), s.height());
        shadow_->setGeometry(ShadowOffset, ShadowOffset, s.width(), s.height());
    }

private:
    QLabel* title_;
    QLabel* shadow_;
};

}  // namespace

// Drawn on a 64 × 64 grid and scaled to the square.
void PaintProgramEmblem(QPainter& painter, const QRectF& square) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(square.topLeft());
    painter.scale(square.width() / 64.0, square.height() / 64.0);

    // The collector's body.
    const QRectF body(11, 2, 42, 60);
    QLinearGradient bodyFill(body.topLeft(), body.topRight());
    bodyFill.setColorAt(0, QColor(0x2b, 0x55, 0x9c));
    bodyFill.setColorAt(1, QColor(0x12, 0x2b, 0x5e));
    painter.setPen(QPen(QColor(0x0a, 0x18, 0x38), 1.5));
    painter.setBrush(bodyFill);
    painter.drawRoundedRect(body, 9, 9);

    // Its display, with a row of segments.
    const QRectF display(17, 8, 30, 15);
    painter.setPen(QPen(QColor(0x0a, 0x18, 0x38), 1));
    painter.setBrush(QColor(0xa8, 0xd8, 0x9a));
    painter.drawRoundedRect(display, 2.5, 2.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1d, 0x4a, 0x1d));
    for (int i = 0; i < 4; ++i) {
        const double x = 20 + i * 6.5;
        painter.drawRect(QRectF(x, 11, 4, 1.6));
        painter.drawRect(QRectF(x, 14.7, 4, 1.6));
        painter.drawRect(QRectF(x, 18.4, 4, 1.6));
    }

    // The reader's contact ring and the touch-memory key in it.
    const QPointF centre(32, 42);
    painter.setPen(QPen(QColor(0x0a, 0x18, 0x38), 1));
    painter.setBrush(QColor(0x23, 0x23, 0x23));
    painter.drawEllipse(centre, 14, 14);
    QRadialGradient can(centre - QPointF(4, 4), 14);
    can.setColorAt(0, QColor(0xfa, 0xfa, 0xfa));
    can.setColorAt(0.6, QColor(0xb8, 0xbc, 0xc2));
    can.setColorAt(1, QColor(0x6e, 0x72, 0x78));
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    painter.setBrush(can);
    painter.drawEllipse(centre, 11.5, 11.5);
    QRadialGradient face(centre + QPointF(3, 3), 9);
    face.setColorAt(0, QColor(0xe6, 0xe8, 0xeb));
    face.setColorAt(1, QColor(0x8c, 0x90, 0x96));
    painter.setPen(QPen(QColor(0x5a, 0x5a, 0x5a), 0.8));
    painter.setBrush(face);
    painter.drawEllipse(centre, 7.5, 7.5);

    // The green lamp of a good touch.
    painter.setPen(QPen(QColor(0x0a, 0x30, 0x0a), 0.8));
    painter.setBrush(QColor(0x3c, 0xd2, 0x3c));
    painter.drawEllipse(QPointF(46, 29), 2.6, 2.6);
    painter.restore();
}

QPixmap ProgramPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    PaintProgramEmblem(painter, QRectF(0, 0, size, size));
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(ProgramPixmap(size));
    return icon;
}

ProgramEmblem::ProgramEmblem(int size, QWidget* parent) : QWidget(parent), size_(size) {
    setObjectName(QStringLiteral("ImageProgram"));
    setFixedSize(size, size);
}

void ProgramEmblem::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintProgramEmblem(painter, QRectF(rect()));
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    QFont titleFont = font();
    titleFont.setPointSizeF(font().pointSizeF() * 1.8);
    titleFont.setBold(true);
    title_ = new QLabel(Title);
    title_->setObjectName(QStringLiteral("LabelTitle"));
    shadow_ = new QLabel(Title);
    shadow_->setObjectName(QStringLiteral("LabelTitleShadow"));
    for (QLabel* l : {title_, shadow_}) {
        l->setFont(titleFont);
        l->setTextFormat(Qt::PlainText);
    }
    QPalette titlePalette = title_->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(0x12, 0x2b, 0x5e));
    title_->setPalette(titlePalette);
    QPalette shadowPalette = shadow_->palette();
    shadowPalette.setColor(QPalette::WindowText, QColor(0xa0, 0xa0, 0xa0));
    shadow_->setPalette(shadowPalette);
    auto* titleBox = new ShadowedTitle(title_, shadow_, this);

    auto* version = new QLabel(Version, this);
    version->setObjectName(QStringLiteral("LabelVersion"));
    auto* year = new QLabel(Year, this);
    year->setObjectName(QStringLiteral("LabelYear"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(titleBox);
    texts->addSpacing(6);
    texts->addWidget(version);
    texts->addWidget(year);
    texts->addStretch(1);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("PanelAbout"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* inner = new QHBoxLayout(panel);
    inner->setContentsMargins(12, 12, 16, 12);
    inner->setSpacing(14);
    inner->addWidget(new ProgramEmblem(64, panel), 0, Qt::AlignTop);
    inner->addLayout(texts, 1);

    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("OKButton"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(ok_, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setWindowIcon(ProgramIcon());
}

}  // namespace kordex::app
