#pragma once

#include <QDate>
#include <QString>
#include <array>
#include <utility>
#include <vector>

#include "Pages.h"
#include "zip/Result.h"

namespace kordex::store {
class TDM;
class Rules;
class View;
}  // namespace kordex::store

namespace kordex::archive {

// Texts of the archive commands.
namespace text {
inline const QString SaveCaption = QStringLiteral("Архивация данных");
inline const QString SaveStatus = QStringLiteral("Идет архивация событий Kordex'а...");
inline const QString SaveDone = QStringLiteral("Архивации данных успешно завершена !");
inline const QString SaveFailed = QStringLiteral("Ошибка при архивации данных !");
inline const QString LoadCaption = QStringLiteral("Разархивация данных");
inline const QString LoadStatus = QStringLiteral("Идет разархивация событий Kordex'а...");
inline const QString LoadDone = QStringLiteral("Разархивации данных успешно завершена !");
inline const QString LoadFailed = QStringLiteral("Ошибка при разархивации данных !");
inline const QString AddCaption = QStringLiteral("Добавление данных");
inline const QString AddStatus = QStringLiteral("Идет добавление к архиву событий Kordex'а...");
inline const QString AddCurrentStatus =
    QStringLiteral("Идет добавление к архиву текущих событий Kordex'а...");
inline const QString AddDone = QStringLiteral("Добавление данных успешно завершено !");
inline const QString AddFailed = QStringLiteral("Ошибка при добавлении данных !");
inline const QString BadCrc = QStringLiteral("Ошибка CRC в архиве.");
inline const QString Incomplete = QStringLiteral(
    "Вставьте, пожайлуста, последний диск многотомного архива и повторите разархивацию.");
inline const QString Interrupted = QStringLiteral("Прервано пользователем !");
}  // namespace text

// The four commands as the window shows them.
struct ActionText {
    const char* name;
    QString caption, hint;
    int image;
};
const std::array<ActionText, 4>& Actions();

// The name the save dialog offers: "KDEv", the month in two digits and the
// year modulo 100 without a leading zero (March 2005: KDEv035).
QString DefaultName(const QDate& date);

// The four commands of the menu "&Архив". Each runs under the status window,
// says how it ended in a message box, and leaves every view it closed open
// again at its place, also after a failure. The databases must be open (the
// program then holds the program directory's lock).
class Commands {
public:
    Commands(store::TDM& dm, store::Rules& rules, ArchivePages& pages);

    // The commands as the window runs them: the page-leave check, the page
    // brought forward, the file dialog, then the work. True when it was done.
    bool ActionSaveArchiveExecute();
    bool ActionLoadArchiveExecute();
    bool ActionAddArchiveExecute();
    bool ActionAddCurArchiveExecute();

    // The work of each command on a file already chosen (the command line).
    bool Save(const QString& file);
    bool Load(const QString& file);
    bool Add(const QString& file);
    bool AddCurrent();

    // Where each dialog starts: the program directory, then the directory of
    // the file last taken from it.
    QString SaveDirectory() const;
    QString OpenDirectory() const;
    QString ChooseArchiveToOpen();

    // Rounds of the last add: copied into the archive, and skipped because
    // the archive already held their registration time.
    struct Tally {
        int added = 0;
        int skipped = 0;
    };
    Tally LastTally() const { return tally_; }
    // A command is running; another one does not start meanwhile.
    bool Busy() const { return busy_; }

private:
    enum class End { Done, Interrupted, Failed };
    using Parked = std::vector<std::pair<store::View*, int>>;

    bool Ready(const QString& failure);
    bool Unpacked(const QString& file, const QString& database, const QString& failure,
                  bool dropMissing);
    bool Merge(store::View& rounds, store::View& touches, store::View& missed,
               const Parked& parked);
    End CopyRounds(store::View& rounds, store::View& touches, store::View& missed, QString& cause);
    bool CopyDetails(store::View& source, store::View& target, int base, int share);
    // Tells how a ZIP step ended; false when it failed (having said why).
    bool ZipEnded(const zip::Result& r, const QString& failure);
    void Fail(const QString& failure, const QString& cause);
    void CloseDatabase(const QString& alias) noexcept;
    void OpenViews(const std::vector<store::View*>& views, QString& firstError) noexcept;

    store::TDM& dm_;
    store::Rules& rules_;
    ArchivePages& pages_;
    QString saveDirectory_, openDirectory_;
    Tally tally_;
    bool busy_ = false;
};

}  // namespace kordex::archive
