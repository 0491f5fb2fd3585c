#pragma once

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QWidget>

class QLabel;
class QPainter;
class QPushButton;
class QRectF;

namespace kordex::app {

// The program's emblem: a Kordex collector with a touch-memory key at its
// contact, drawn into a square.
void PaintProgramEmblem(QPainter& painter, const QRectF& square);
// The emblem as a picture of size × size pixels on a transparent ground.
QPixmap ProgramPixmap(int size);
// The emblem in the usual icon sizes: the main window's icon.
QIcon ProgramIcon();

// The emblem as a widget.
class ProgramEmblem : public QWidget {
    Q_OBJECT

public:
    explicit ProgramEmblem(int size, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {size_, size_}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int size_;
};

// The About box "О программе": the program title over its grey shadow, the
// version, the year, the emblem and OK.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    static inline const QString Title = QStringLiteral("Kordex Коммандер");
    static inline const QString Version = QStringLiteral("Версия 2.0.5");
    static inline const QString Year = QStringLiteral("2016");

    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* TitleLabel() const { return title_; }
    QLabel* ShadowLabel() const { return shadow_; }
    QPushButton* OkButton() const { return ok_; }

private:
    QLabel* title_ = nullptr;
    QLabel* shadow_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace kordex::app
