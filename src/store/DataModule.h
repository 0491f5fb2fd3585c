#pragma once

#include <QString>
#include <QVariant>

class QLockFile;
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "Engine.h"
#include "View.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"

namespace kordex::store {

// Carries a view to the controls bound to it.
struct DataSource {
    QString name;
    View* view = nullptr;
};

// A list control that selects one key of its list view (the login dialog's
// user list, the lists of the filter dialogs and of the write page).
class LookupList {
public:
    virtual ~LookupList() = default;
    // The selected key; empty when nothing is selected.
    virtual QVariant KeyValue() const = 0;
    virtual void SetKeyValue(const QVariant& key) = 0;
    virtual void ClearKeyValue() = 0;
    virtual View* ListView() const = 0;
};

// Sets a flag for the length of a scope and puts the old value back however
// the scope is left.
class ScopedFlag {
public:
    ScopedFlag(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
    ~ScopedFlag() { flag_ = old_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
    bool old_;
};

// The data module: the four databases, every table view in component order
// with its data source, the module state and the services the rest of the
// program calls. The rules of the tables attach to the views' handler slots.
class TDM {
public:
    // The views, in component order.
    enum ViewId {
        IdTableUsers,
        IdTableCurRegister,
        IdTableRegisters,
        IdTableGuards,
        IdTablePoints,
        IdTablePrBook,
        IdTableKDs,
        IdTablePathes,
        IdTablePPathes,
        IdTablePrEvents,
        IdTablePrEventsReg,
        IdTableKDFEvents,
        IdTableKDEvents,
        IdTableKDREvents,
        IdTableKDLEvents,
        IdTableKDAFEvents,
        IdTableKDAEvents,
        IdTableKDRAEvents,
        IdTableKDLAEvents,
        IdTableKDTEvents,
        IdTableKDRTEvents,
        IdTableKDLTEvents,
        IdMTable,
        IdDTable,
        IdD2Table,
        ViewCount
    };

    struct Component {
        enum class Kind { Database, View, DataSource };
        QString name;
        Kind kind;
        store::Database* database = nullptr;
        View* view = nullptr;
        store::DataSource* dataSource = nullptr;
    };

    static constexpr int BookmarkSlotCount = 6;
    static constexpr int BufferSize = 21;
    // Handed to the engine before the first table is opened.
    static inline const QString TablePassword = QStringLiteral("LQmerovane&Kit");

    // How the tables are opened. A reader (an export beside a running program)
    // creates, repairs and writes nothing and takes no lock: a missing or
    // damaged table fails the opening.
    enum class Access { ReadWrite, ReadOnly };

    // programDirectory empty: the directory of the executable. Runs DMCreate.
    TDM(shell::Prompt& prompt, shell::StatusWindow& status, shell::Clock& clock,
        shell::EventPump& pump, const QString& programDirectory = {},
        Access access = Access::ReadWrite);
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    // --- Start-up, opening and closing
    // Program directory with its trailing separator, the three database
    // directories (made when missing, unless read-only) and their paths, the
    // module state; nothing is opened.
    void DMCreate();
    // Opens every database and table, repairing damaged ones, under the status
    // window. False when the operator closed the window, another program holds
    // the program directory, or a table could not be opened (after the error
    // message with its cause); everything is closed then. While the databases
    // are open this program holds the program directory's lock (a reader
    // takes none).
    bool OpenDatabases();
    Access TableAccess() const { return access_; }
    // Creates the view's table if it is missing, opens it, and repairs it once
    // when it is damaged; a second failure propagates.
    void OpenTable(View& view);
    // Closes Database, DatabaseE, DatabaseA, DatabaseT in this order, and with
    // them every view.
    void CloseDatabases();

    // --- Components
    const QString& ProgramDirectory() const { return programDirectory_; }
    store::Database& Database() { return *data_; }
    // The same directory as Database, on a connection of its own: the rounds
    // live there, so a round being read can stay in a transaction of its own
    // while the reference tables and the journal commit at once.
    store::Database& DatabaseE() { return *dataE_; }
    store::Database& DatabaseA() { return *archive_; }
    store::Database& DatabaseT() { return *temp_; }
    // The database of an alias ("Data", "DataE", "DataA", "DataT"); throws Error.
    store::Database& DatabaseFor(const QString& alias);
    const QString& SessionPassword() const { return sessionPassword_; }

    const std::vector<Component>& Components() const { return components_; }
    View& ViewAt(ViewId id) { return *views_[id]; }
    // Null when there is no such view.
    View* ViewByName(const QString& name) const;
    store::DataSource* DataSourceByName(const QString& name) const;

    View& TableUsers() { return ViewAt(IdTableUsers); }
    View& TableCurRegister() { return ViewAt(IdTableCurRegister); }
    View& TableRegisters() { return ViewAt(IdTableRegisters); }
    View& TableGuards() { return ViewAt(IdTableGuards); }
    View& TablePoints() { return ViewAt(IdTablePoints); }
    View& TablePrBook() { return ViewAt(IdTablePrBook); }
    View& TableKDs() { return ViewAt(IdTableKDs); }
    View& TablePathes() { return ViewAt(IdTablePathes); }
    View& TablePPathes() { return ViewAt(IdTablePPathes); }
    View& TablePrEvents() { return ViewAt(IdTablePrEvents); }
    View& TablePrEventsReg() { return ViewAt(IdTablePrEventsReg); }
    View& TableKDFEvents() { return ViewAt(IdTableKDFEvents); }
    View& TableKDEvents() { return ViewAt(IdTableKDEvents); }
    View& TableKDREvents() { return ViewAt(IdTableKDREvents); }
    View& TableKDLEvents() { return ViewAt(IdTableKDLEvents); }
    View& TableKDAFEvents() { return ViewAt(IdTableKDAFEvents); }
    View& TableKDAEvents() { return ViewAt(IdTableKDAEvents); }
    View& TableKDRAEvents() { return ViewAt(IdTableKDRAEvents); }
    View& TableKDLAEvents() { return ViewAt(IdTableKDLAEvents); }
    View& TableKDTEvents() { return ViewAt(IdTableKDTEvents); }
    View& TableKDRTEvents() { return ViewAt(IdTableKDRTEvents); }
    View& TableKDLTEvents() { return ViewAt(IdTableKDLTEvents); }
    View& MTable() { return ViewAt(IdMTable); }
    View& DTable() { return ViewAt(IdDTable); }
    View& D2Table() { return ViewAt(IdD2Table); }

    // The master source of DTable and D2Table: binding it to a view (MTable)
    // makes them its details by the master fields they carry; null unbinds.
    store::DataSource& MDataSource() { return *mDataSource_; }
    void BindMDataSource(View* master);

    shell::Prompt& Prompt() { return prompt_; }
    shell::StatusWindow& Status() { return status_; }
    shell::Clock& Clock() { return clock_; }
    shell::EventPump& Pump() { return pump_; }

    // --- Module state. Whoever sets a flag puts it back when the work ends,
    // also on error (ScopedFlag).
    bool DeletePermitted = false;
    bool RefreshEnabled = true;
    bool SkipValidation = false;
    bool EditingCurrentRegistrar = false;
    bool SkipTouchCalc = false;
    QVariant PendingCascadeKey;

    // Short-lived copies of up to 21 values: a row being copied, a dialog's
    // snapshot, the touch and round remembered across a view switch.
    std::array<QVariant, BufferSize>& Buffer() { return buffer_; }

    // --- Services
    // True unless the view is at its beginning and at its end at once.
    static bool HasRows(const View& view);
    static bool IsEditing(const View& view);
    static void EnsureEdit(View& view);
    static void PostIfEditing(View& view);
    // Posts every editing view in component order; a failing post stops it
    // and gives false (the error is not shown).
    bool PostAll();
    // Filtering off and on again, with the controls off.
    static void ReapplyFilter(View& view);
    // Whether the view's whole table holds a row whose field equals value;
    // the visible views are not touched. Engine errors propagate.
    bool FindInTable(View& view, const QString& field, const QVariant& value);
    // Deletes every row of the view's whole table whose field equals value,
    // without any handler; the visible views are not touched.
    void DeleteFromTable(View& view, const QString& field, const QVariant& value);
    // Appends to target a copy of source's current row: every data field that
    // is not autoinc takes the value at its position. The target stays in
    // insert state. Both must list their data fields in the same order.
    void CopyRow(View& source, View& target);

    // Parking places for cursor positions, 0..5.
    void SaveBookmark(View& view, int slot);
    void RestoreBookmark(View& view, int slot);
    void DropBookmark(View& view, int slot);
    bool HasBookmark(int slot) const;

    // Keeps the list's selected key, clears the selection and selects the key
    // again if the list view holds it in its first field.
    static void RefreshLookup(LookupList& list);

    // Redefines a report view as a copy of source (same table, fields as
    // "Field0".., filter, order, master fields, handlers), opens it and puts
    // it on the source's current row. Without a source only its master fields
    // are cleared.
    void CloneView(View& target, View* source);

    // Drops the pending row of a round view as if it were deleted: its
    // before- and after-delete handlers run around the cancel, with deletions
    // permitted. The round being read is dropped by undoing its transaction.
    void DiscardInsert(View& view);

    // --- The round being read
    // A read keeps everything it does to the rounds (a stored round it
    // replaces, the new round's touches and missed points) in one transaction
    // of DatabaseE, from before the first change until the round is stored
    // (its post) or dropped. A failure, a cancel, a No or a crash on the way
    // leaves the rounds as they were before the read.
    void BeginRound();
    bool RoundOpen() const { return roundOpen_; }
    // Ends the round's transaction: committed when keep; otherwise, or when
    // the commit fails (it then throws), undone, and the views of DatabaseE
    // read again. Nothing happens when no round is open.
    void EndRound(bool keep);

    // The lock file of the program directory, held while the databases are open.
    QString LockFilePath() const;

private:
    void BuildComponents();
    bool TakeDirectoryLock(QString& cause);
    void RereadRounds();

    shell::Prompt& prompt_;
    shell::StatusWindow& status_;
    shell::Clock& clock_;
    shell::EventPump& pump_;

    Access access_;
    QString programDirectory_;
    QString sessionPassword_;
    // Declared before the views: a view releases its table when it goes.
    std::unique_ptr<store::Database> data_, dataE_, archive_, temp_;
    std::unique_ptr<QLockFile> lock_;
    bool roundOpen_ = false;
    std::vector<std::unique_ptr<View>> views_;
    std::vector<std::unique_ptr<store::DataSource>> dataSources_;
    store::DataSource* mDataSource_ = nullptr;
    std::vector<Component> components_;

    std::array<std::optional<Bookmark>, BookmarkSlotCount> bookmarks_;
    std::array<QVariant, BufferSize> buffer_;
};

}  // namespace kordex::store
