#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>

#include "app/window/AboutBox.h"
#include "app/window/HelpWindow.h"

using namespace kordex::app;

namespace {

QString PageText(const QUrl& url) {
    QFile file(QLatin1Char(':') + url.path());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QString TitleOf(const QString& html) {
    static const QRegularExpression title(QStringLiteral("<title>([^<]+)</title>"));
    return title.match(html).captured(1).trimmed();
}

// How far a picture strays from one colour: the share of pixels that differ.
double InkShare(const QImage& image, const QRect& area) {
    const QRgb ground = image.pixel(area.topLeft());
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != ground) ++ink;
    return static_cast<double>(ink) / (area.width() * area.height());
}

}  // namespace

// --- Help -------------------------------------------------------------------------

TEST(HelpTest, PagesAndSubPagesHaveTheirTopics) {
    const std::pair<const char*, int> cases[] = {
        {"TabSheetTest", 1},
        {"TabSheetUsers", 4},
        {"TabSheetPoints", 5},
        {"TabSheetPathes", 6},
        {"TabSheetPrBook", 7},
        {"TabSheetKDs", 8},
        {"TabSheetWrite", 9},
        {"TabSheetRead", 10},
        {"TabSheetPrEvents", 11},
        {"TabSheetKDEvents", 12},
        {"TabSheetKDDEvents", 13},
        {"TabSheetKDAEvents", 14},
        {"TabSheetKDDAEvents", 15},
        {"TabSheetKordex", 0},
        {"TabSheetRound", 0},
        {"TabSheetEvents", 0},
        {"TabSheetAEvents", 0},
        {"tabsheettest", 0},
        {"", 0},
    };
    for (const auto& [name, topic] : cases)
        EXPECT_EQ(HelpTopicOf(QString::fromLatin1(name)), topic) << name;
}

TEST(HelpTest, EveryTopicIsAPageOfItsOwnLinkedFromTheContents) {
    const QString contents = PageText(HelpContentsUrl());
    ASSERT_FALSE(contents.isEmpty());
    EXPECT_EQ(TitleOf(contents), "Содержание");

    // Every page topic is held, and so are the filter dialogs'.
    std::vector<int> wanted = {1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 171, 172, 173};
    EXPECT_EQ(HelpTopics(), wanted);

    QStringList titles;
    for (int topic : HelpTopics()) {
        SCOPED_TRACE(topic);
        const QUrl url = HelpTopicUrl(topic);
        ASSERT_NE(url, HelpContentsUrl());
        const QString html = PageText(url);
        ASSERT_FALSE(html.isEmpty()) << url.toString().toStdString();
        const QString title = TitleOf(html);
        EXPECT_FALSE(title.isEmpty());
        EXPECT_FALSE(titles.contains(title)) << title.toStdString();
        titles << title;
        // A real page: a heading with its title and some words about the page.
        EXPECT_TRUE(html.contains(QStringLiteral("<h2>") + title + QStringLiteral("</h2>")));
        EXPECT_GT(html.size(), 400);
        EXPECT_TRUE(contents.contains(QStringLiteral("href=\"%1\"").arg(url.fileName())));
    }
    // Numbers the help does not hold lead to the contents.
    for (int topic : {0, 2, 3, 16, -1})
        EXPECT_EQ(HelpTopicUrl(topic), HelpContentsUrl()) << topic;
}

TEST(HelpTest, WindowShowsTheTopicAskedForAndFollowsItsLinks) {
    HelpWindow help;
    EXPECT_EQ(help.objectName(), "HelpWindow");
    help.ShowTopic(HelpTopicOf("TabSheetRead"));
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.CurrentTopic(), 10);
    EXPECT_EQ(help.Browser()->documentTitle(), "Чтение данных");
    EXPECT_TRUE(help.windowTitle().startsWith("Чтение данных"));
    EXPECT_TRUE(help.Browser()->toPlainText().contains("Сохранить прочитанные данные ?"));

    help.ShowContents();
    EXPECT_EQ(help.CurrentTopic(), 0);
    help.Browser()->setSource(QUrl("topic5.html"));
    EXPECT_EQ(help.CurrentTopic(), 5);
    auto* back = help.findChild<QPushButton*>("ButtonHelpBack");
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(help.CurrentTopic(), 0);

    help.ShowTopic(99);
    EXPECT_EQ(help.CurrentTopic(), 0);

    help.ShowTopic(12);
    help.resize(560, 480);
    const QImage shot = help.grab().toImage();
    ASSERT_TRUE(shot.save("/tmp/kordex-help.png"));
    EXPECT_GT(InkShare(shot, help.Browser()->geometry().adjusted(4, 4, -4, -4)), 0.01);
}

// --- About box --------------------------------------------------------------------

TEST(AboutBoxTest, ShowsTheTitleOverItsShadowTheVersionAndTheYear) {
    TAboutBox box;
    EXPECT_EQ(box.objectName(), "AboutBox");
    EXPECT_EQ(box.windowTitle(), "О программе");
    QStringList texts;
    for (const QLabel* label : box.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_EQ(texts.count("Kordex Коммандер"), 2);
    EXPECT_TRUE(texts.contains("Версия 2.0.5"));
    EXPECT_TRUE(texts.contains("2016"));
    ASSERT_NE(box.OkButton(), nullptr);
    EXPECT_EQ(box.OkButton()->text(), "&OK");

    box.show();
    // The shadow lies behind the title, shifted, in grey.
    const QPoint title = box.TitleLabel()->mapTo(&box, QPoint(0, 0));
    const QPoint shadow = box.ShadowLabel()->mapTo(&box, QPoint(0, 0));
    EXPECT_GT(shadow.x(), title.x());
    EXPECT_GT(shadow.y(), title.y());
    const QColor grey = box.ShadowLabel()->palette().color(QPalette::WindowText);
    EXPECT_EQ(grey.saturation(), 0);
    EXPECT_NE(grey, box.TitleLabel()->palette().color(QPalette::WindowText));
    const QWidget* parent = box.TitleLabel()->parentWidget();
    EXPECT_LT(parent->children().indexOf(box.ShadowLabel()),
              parent->children().indexOf(box.TitleLabel()));
    // Nothing cut: every text has the room it asks for.
    for (const QLabel* label : box.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_GE(label->height(), label->sizeHint().height());
        EXPECT_TRUE(box.rect().contains(QRect(label->mapTo(&box, QPoint(0, 0)), label->size())));
    }

    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutBoxTest, TheEmblemIsDrawnAtEveryIconSize) {
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 64}) {
        SCOPED_TRACE(size);
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        // Drawn in the middle, the corners left clear.
        EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 200);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0);
    }

    TAboutBox box;
    box.show();
    const QImage shot = box.grab().toImage();
    ASSERT_TRUE(shot.save("/tmp/kordex-about.png"));
    ASSERT_TRUE(ProgramPixmap(128).save("/tmp/kordex-icon.png"));
}
