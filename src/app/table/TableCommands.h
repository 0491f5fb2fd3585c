#pragma once

#include <QString>
#include <optional>

namespace kordex::app {

// What the table commands ask of a key dialog: its caption, the titles of
// the key and comment fields, the key and comment to start with, and which
// dialog (tag 3: the collector-ID dialog).
struct KeyDialogRequest {
    int tag = 0;
    QString caption;
    QString keyLabel;
    QString commentLabel;
    QString key;
    QString comment;
    bool usersPageCurrent = false;
};

// The key and the comment the operator confirmed.
struct KeyDialogResult {
    QString key;
    QString comment;
};

// The caption of a key dialog for a grid of tag 0..3: "Ввод нов" + the
// ending of the tag for a new row, "Редактирование" for an edited one, then
// a blank and the subject ("Ввод новой точки обхода").
QString KeyDialogCaption(int tag, bool newRow, const QString& subject);

// The subject of a key grid: the title of its second column after its first
// blank ("Имя пользователя" gives "пользователя").
QString KeyDialogSubject(const QString& secondColumnTitle);

// The row counter of the table tool bar: "Всего строк: %d" for a filtered
// view, else "Строка: %d из %d" with the row number capped by the count.
QString RowCounterText(bool filtered, int rowNumber, int rowCount);

}  // namespace kordex::app
