#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "DataModule.h"
#include "EventViews.h"
#include "link/DateTime.h"

namespace kordex::store {

// Journal texts the store writes itself.
inline const QString JournalEmptyTable = QStringLiteral("Очистка таблицы: ");

namespace text {
// The round just read could not be stored; the cause follows on a second line.
inline const QString RoundNotStored = QStringLiteral("Ошибка при сохранении прочитанных данных !");
// A row posted without its name or its point.
inline const QString NoUserName = QStringLiteral("Не задано имя пользователя !");
inline const QString NoPointName = QStringLiteral("Не задано название точки обхода !");
inline const QString NoIncidentName = QStringLiteral("Не задано название происшествия !");
inline const QString NoCollectorName = QStringLiteral("Не задано название Kordex'а !");
inline const QString NoPathPoint = QStringLiteral("Не задана точка обхода !");
}  // namespace text

// The rules of the tables, attached to the data module's views: key checks
// and key uniqueness across the people and the keys, the first
// administrator, the delete guard, the path and round cascades, the refresh
// cascade, the journal and the calculated fields of the event views.
class Rules {
public:
    // Names of the lookup lists the refresh cascade keeps current. The dialogs
    // that own them register them when they are made.
    static inline const QString ListLogin = QStringLiteral("DBLookupComboBoxName");
    static inline const QString ListGuardWrite = QStringLiteral("DBLookupComboBoxGuardWrite");
    static inline const QString ListPathWrite = QStringLiteral("DBLookupComboBoxPathWrite");
    static inline const QString ListRegister = QStringLiteral("DBLookupComboBoxRegister");
    static inline const QString ListGuard = QStringLiteral("DBLookupComboBoxGuard");
    static inline const QString ListPath = QStringLiteral("DBLookupComboBoxPath");
    static inline const QString ListKD = QStringLiteral("DBLookupComboBoxKD");
    static inline const QString ListEvent = QStringLiteral("DBLookupComboBoxEvent");

    explicit Rules(TDM& dm);
    Rules(const Rules&) = delete;
    Rules& operator=(const Rules&) = delete;

    TDM& Dm() { return dm_; }
    KeyClassifier& Keys() { return keys_; }

    // Lists of one kind may be several (the filter dialogs each have theirs).
    void RegisterList(const QString& kind, LookupList* list);
    void UnregisterList(LookupList* list);

    // The action refresh of the main window, run first by the refresh cascade.
    std::function<void()> actionRefresh;

    // Appends a journal entry under the logged-in registrar, at once posted.
    // The date-time is now unless given.
    void AppendJournal(const QString& text, std::optional<link::DateTime> when = std::nullopt);
    // The logged-in registrar's key: the current row of TableCurRegister,
    // empty while nobody has logged in (the command line without a login).
    QString CurrentRegistrarKey();
    void SetNobodyLoggedIn(bool on) { nobody_ = on; }

    // Empties a view (only its own kind of rows where it is filtered) and
    // journals it, also when emptying failed; errors then propagate.
    void EmptyTable(View& view);
    // The empty-table command's work: the view, then the tables that depend on
    // it (a round's touches and missed points, a path's points), each with its
    // journal entry, then the refresh cascade of the view.
    void EmptyWithCompanions(View& view);
    // "Ключ/ID с номером <key> уже используется !"
    void ShowKeyInUse(View& view);
    // Refreshes what depends on a changed view; nothing while RefreshEnabled is off.
    void RefreshCascade(View& changed);

private:
    void Attach();
    // Commits the round being read when its row is posted; a failed commit is
    // told to the operator and refuses the post.
    void StoreRound();
    void DeleteGuard(View&);
    void UsersBeforePost(View& v);
    void KeysBeforePost(View& v, const QString& kindField, bool kindValue,
                        const QString& noNameText);
    void PathPointBeforePost(View& v);
    // Refuses the post with the text when the field is empty.
    void RequireValue(View& v, const QString& field, const QString& text);
    void PostError(View& v, const Error& e, PostErrorAction& action);
    void RefreshLists(const QString& kind);
    void Refresh(View& v);

    TDM& dm_;
    KeyClassifier keys_;
    std::vector<std::pair<QString, LookupList*>> lists_;
    bool nobody_ = false;
};

}  // namespace kordex::store
