#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <vector>

class QTextBrowser;
class QPushButton;

namespace kordex::app {

// The help topics of the pages, by the object names of the pages and
// sub-pages (TabSheetTest 1, TabSheetUsers 4, ..., TabSheetKDDAEvents 15);
// 0 for any other name.
int HelpTopicOf(const QString& pageObjectName);

// The numbered topics the help holds, in ascending order.
const std::vector<int>& HelpTopics();
// The page of a topic in the program's resources; the contents page for 0 or
// a number the help does not hold.
QUrl HelpTopicUrl(int topic);
QUrl HelpContentsUrl();

// The program's help: one window with the contents page and a page per topic,
// with buttons for the contents and for going back and forth. It is kept for
// the program's lifetime and shown again for every request.
class HelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the window on the contents page (ActionHelp).
    void ShowContents();
    // Shows the window on a topic (ActionContext with the current page's topic).
    void ShowTopic(int topic);
    // The topic on show; 0 on the contents page.
    int CurrentTopic() const;

    QTextBrowser* Browser() const { return browser_; }

private:
    void Present();
    void SourceChanged();

    QTextBrowser* browser_ = nullptr;
    QPushButton* contents_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* forward_ = nullptr;
};

}  // namespace kordex::app
