#include "HelpWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

// The help pages are linked into the program from a static library, where
// nothing else would pull their registration in.
static void InitHelpResource() {
    Q_INIT_RESOURCE(help);
}

namespace kordex::app {

namespace {

void EnsureHelpResource() {
    static const bool done = (InitHelpResource(), true);
    (void)done;
}

const QString ProgramTitle = QStringLiteral("Kordex Коммандер");

const std::pair<const char*, int> PageTopics[] = {
    {"TabSheetTest", 1},        {"TabSheetUsers", 4},      {"TabSheetPoints", 5},
    {"TabSheetPathes", 6},      {"TabSheetPrBook", 7},     {"TabSheetKDs", 8},
    {"TabSheetWrite", 9},       {"TabSheetRead", 10},      {"TabSheetPrEvents", 11},
    {"TabSheetKDEvents", 12},   {"TabSheetKDDEvents", 13}, {"TabSheetKDAEvents", 14},
    {"TabSheetKDDAEvents", 15},
};

// The page topics, and those of the filter dialogs.
const std::vector<int> Topics = {1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 171, 172, 173};

QString TopicFile(int topic) {
    return QStringLiteral("topic%1.html").arg(topic);
}

}  // namespace

int HelpTopicOf(const QString& pageObjectName) {
    for (const auto& [name, topic] : PageTopics)
        if (pageObjectName == QLatin1String(name)) return topic;
    return 0;
}

const std::vector<int>& HelpTopics() {
    return Topics;
}

QUrl HelpContentsUrl() {
    EnsureHelpResource();
    return QUrl(QStringLiteral("qrc:/help/contents.html"));
}

QUrl HelpTopicUrl(int topic) {
    EnsureHelpResource();
    if (std::find(Topics.begin(), Topics.end(), topic) == Topics.end()) return HelpContentsUrl();
    return QUrl(QStringLiteral("qrc:/help/") + TopicFile(topic));
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(ProgramTitle + QStringLiteral(" — справка"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
    setModal(false);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(false);

    contents_ = new QPushButton(QStringLiteral("&Содержание"), this);
    contents_->setObjectName(QStringLiteral("ButtonHelpContents"));
    back_ = new QPushButton(QStringLiteral("&Назад"), this);
    back_->setObjectName(QStringLiteral("ButtonHelpBack"));
    forward_ = new QPushButton(QStringLiteral("&Вперёд"), this);
    forward_->setObjectName(QStringLiteral("ButtonHelpForward"));
    for (QPushButton* b : {contents_, back_, forward_})
        b->setAutoDefault(false);
    back_->setEnabled(false);
    forward_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents_);
    buttons->addWidget(back_);
    buttons->addWidget(forward_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);

    connect(contents_, &QPushButton::clicked, this,
            [this] { browser_->setSource(HelpContentsUrl()); });
    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpWindow::SourceChanged);

    browser_->setSource(HelpContentsUrl());
    resize(560, 480);
}

void HelpWindow::ShowContents() {
    browser_->setSource(HelpContentsUrl());
    Present();
}

void HelpWindow::ShowTopic(int topic) {
    browser_->setSource(HelpTopicUrl(topic));
    Present();
}

int HelpWindow::CurrentTopic() const {
    static const QRegularExpression pattern(QStringLiteral("^topic(\\d+)\\.html$"));
    const QRegularExpressionMatch m =
        pattern.match(QFileInfo(browser_->source().path()).fileName());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

void HelpWindow::Present() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void HelpWindow::SourceChanged() {
    const QString title = browser_->documentTitle();
    setWindowTitle(title.isEmpty() ? ProgramTitle + QStringLiteral(" — справка")
                                   : title + QStringLiteral(" — ") + ProgramTitle);
}

}  // namespace kordex::app
