#include "DataModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>

#include "Catalogue.h"

namespace kordex::store {

namespace {

const QString OpeningCaption = QStringLiteral("Открытие баз данных");
const QString OpeningText = QStringLiteral("Идет открытие баз данных...");
const QString OpeningFailed = QStringLiteral("Ошибка при открытии баз данных !");

bool IsEmptyValue(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

}  // namespace

TDM::TDM(shell::Prompt& prompt, shell::StatusWindow& status, shell::Clock& clock,
         shell::EventPump& pump, const QString& programDirectory, Access access)
    : prompt_(prompt), status_(status), clock_(clock), pump_(pump), access_(access) {
    programDirectory_ =
        programDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : programDirectory;
    data_ = std::make_unique<store::Database>(AliasData, QString());
    dataE_ = std::make_unique<store::Database>(AliasDataE, QString());
    archive_ = std::make_unique<store::Database>(AliasDataA, QString());
    temp_ = std::make_unique<store::Database>(AliasDataT, QString());
    for (store::Database* db : {data_.get(), dataE_.get(), archive_.get(), temp_.get()})
        db->SetReadOnly(access == Access::ReadOnly);

    const std::vector<ViewDecl>& decls = CatalogueViews();
    if (decls.size() != static_cast<size_t>(ViewCount))
        throw Error(QStringLiteral("The view catalogue does not match the data module"));
    for (const ViewDecl& d : decls) {
        const TableDef def = d.file.isEmpty() ? TableDef{} : CatalogueTable(d.file, d.name);
        auto v = std::make_unique<View>(d.name, d.database, def);
        v->SetTag(d.tag);
        if (d.byName) v->SetIndexName(NamesIndex);
        if (!d.filter.isEmpty()) {
            v->SetFilterText(d.filter);
            v->SetFiltered(true);
        }
        if (!d.masterFields.isEmpty())
            v->SetMaster(ViewByName(d.master), d.masterFields, d.detailFields);
        for (const AddedFieldDecl& f : d.added) {
            if (f.kind == FieldKind::Lookup)
                v->AddLookupField(f.name, f.size, f.keyField, ViewByName(f.lookupView),
                                  f.lookupKeyField, f.resultField);
            else
                v->AddCalculatedField(f.name, f.type, f.size);
        }
        for (const DisplayDecl& s : d.display) {
            Field& f = v->FieldRef(s.field);
            f.displayWidth = s.width;
            f.displayFormat = s.format;
        }
        views_.push_back(std::move(v));
        if (!d.dataSource.isEmpty())
            dataSources_.push_back(std::make_unique<store::DataSource>(
                store::DataSource{d.dataSource, views_.back().get()}));
    }
    dataSources_.push_back(
        std::make_unique<store::DataSource>(store::DataSource{MDataSourceName, nullptr}));
    mDataSource_ = dataSources_.back().get();
    BuildComponents();
    DMCreate();
}

TDM::~TDM() {
    CloseDatabases();
}

// The databases first, then each view followed by its data source; the
// report views share the master source, which comes last.
void TDM::BuildComponents() {
    using Kind = Component::Kind;
    components_.push_back({QStringLiteral("Database"), Kind::Database, data_.get()});
    components_.push_back({QStringLiteral("DatabaseE"), Kind::Database, dataE_.get()});
    components_.push_back({QStringLiteral("DatabaseA"), Kind::Database, archive_.get()});
    components_.push_back({QStringLiteral("DatabaseT"), Kind::Database, temp_.get()});
    for (const auto& v : views_) {
        components_.push_back({v->Name(), Kind::View, nullptr, v.get()});
        for (const auto& s : dataSources_)
            if (s->view == v.get())
                components_.push_back({s->name, Kind::DataSource, nullptr, nullptr, s.get()});
    }
    components_.push_back({mDataSource_->name, Kind::DataSource, nullptr, nullptr, mDataSource_});
}

void TDM::DMCreate() {
    QString dir = QDir::fromNativeSeparators(QDir(programDirectory_).absolutePath());
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    programDirectory_ = dir;
    // An existing directory is no error; a missing one shows when a table is opened.
    if (access_ == Access::ReadWrite)
        for (const QString& sub : {DirData, DirArchive, DirTemp})
            QDir().mkpath(dir + sub);
    data_->SetDirectory(dir + DirData);
    dataE_->SetDirectory(dir + DirData);
    archive_->SetDirectory(dir + DirArchive);
    temp_->SetDirectory(dir + DirTemp);

    for (auto& b : bookmarks_)
        b.reset();
    DeletePermitted = false;
    RefreshEnabled = true;
    SkipValidation = false;
    EditingCurrentRegistrar = false;
    SkipTouchCalc = false;
}

store::Database& TDM::DatabaseFor(const QString& alias) {
    auto is = [&](const QString& a) { return alias.compare(a, Qt::CaseInsensitive) == 0; };
    if (is(AliasData)) return *data_;
    if (is(AliasDataE)) return *dataE_;
    if (is(AliasDataA)) return *archive_;
    if (is(AliasDataT)) return *temp_;
    throw Error(QStringLiteral("Unknown database: %1").arg(alias));
}

View* TDM::ViewByName(const QString& name) const {
    for (const auto& v : views_)
        if (v->Name().compare(name, Qt::CaseInsensitive) == 0) return v.get();
    return nullptr;
}

store::DataSource* TDM::DataSourceByName(const QString& name) const {
    for (const auto& s : dataSources_)
        if (s->name.compare(name, Qt::CaseInsensitive) == 0) return s.get();
    return nullptr;
}

void TDM::BindMDataSource(View* master) {
    mDataSource_->view = master;
    for (View* d : {&DTable(), &D2Table()}) {
        const QStringList masterFields = d->MasterFields(), detailFields = d->DetailFields();
        d->SetMaster(master, masterFields, detailFields);
    }
}

// --- Opening and closing -----------------------------------------------------

bool TDM::OpenDatabases() {
    status_.Show(OpeningCaption, OpeningText, static_cast<int>(components_.size()));
    sessionPassword_ = TablePassword;
    auto fail = [&](const QString& text) {
        prompt_.Ask(shell::CaptionError, text, shell::Icon::Warning, shell::Buttons::Ok);
        CloseDatabases();
        status_.Close();
        return false;
    };
    QString busy;
    if (access_ == Access::ReadWrite && !TakeDirectoryLock(busy))
        return fail(OpeningFailed + QLatin1Char('\r') + busy);
    try {
        for (const Component& c : components_) {
            status_.Pump();
            if (!status_.IsShowing()) {
                CloseDatabases();
                status_.Close();
                return false;
            }
            if (c.kind == Component::Kind::Database)
                c.database->Connect();
            else if (c.kind == Component::Kind::View && c.view->Tag() == 0)
                OpenTable(*c.view);
            status_.Step();
        }
    } catch (const std::exception& e) {
        return fail(WithCause(OpeningFailed, e));
    } catch (const Abort&) {
        return fail(OpeningFailed);
    }
    status_.Close();
    return true;
}

QString TDM::LockFilePath() const {
    return programDirectory_ + QStringLiteral("Kordex.lck");
}

// One program at a time writes a program directory: the window, or a read or
// write from the command line. A lock left by a program that died is taken over.
bool TDM::TakeDirectoryLock(QString& cause) {
    if (lock_ && lock_->isLocked()) return true;
    lock_ = std::make_unique<QLockFile>(LockFilePath());
    lock_->setStaleLockTime(0);  // held for hours: stale only when its holder is gone
    if (lock_->tryLock(0)) return true;
    qint64 pid = 0;
    QString host, app;
    if (lock_->error() == QLockFile::LockFailedError && lock_->getLockInfo(&pid, &host, &app))
        cause = QStringLiteral("Каталог программы %1 занят другой программой (%2, процесс %3)")
                    .arg(QDir::toNativeSeparators(programDirectory_), app)
                    .arg(pid);
    else
        cause = QStringLiteral("Не удалось занять каталог программы %1")
                    .arg(QDir::toNativeSeparators(programDirectory_));
    lock_.reset();
    return false;
}

void TDM::OpenTable(View& view) {
    if (view.IsOpen()) return;
    store::Database& db = DatabaseFor(view.DatabaseAlias());
    db.Connect();
    const TableDef def = view.Def();
    if (db.ReadOnly()) {
        // Read as it is: a missing or damaged table is an error, not a repair.
        if (!db.TableExists(def.file))
            throw Error(QStringLiteral("Table does not exist"), db.PathOf(def.file));
        if (!db.IsAttached(def.file) && !db.Check(def))
            throw Error(QStringLiteral("Table is damaged"), db.PathOf(def.file));
        view.Open(db);
        return;
    }
    if (!db.TableExists(def.file)) db.CreateTable(def);
    try {
        // A damaged file may still attach and read in one order, so it is
        // checked whole when its first view opens it.
        if (db.IsAttached(def.file) || db.Check(def)) {
            view.Open(db);
            return;
        }
    } catch (const Error&) {
    }
    // Repair never gives a file with fewer rows than the damaged one had.
    db.Repair(def);
    view.Open(db);
}

void TDM::CloseDatabases() {
    roundOpen_ = false;  // closing the connection undoes a round not stored
    for (store::Database* db : {data_.get(), dataE_.get(), archive_.get(), temp_.get()}) {
        // Details before their masters, so that closing a master finds no
        // open detail to move.
        for (auto it = views_.rbegin(); it != views_.rend(); ++it) {
            View& v = **it;
            if (!v.IsOpen() || v.Db() != db) continue;
            try {
                v.Close();
            } catch (const std::exception&) {
            } catch (const Abort&) {
            }
        }
        db->Disconnect();
    }
    lock_.reset();
}

// --- Services ------------------------------------------------------------------

// At its beginning and at its end at once only when it has no row: told by
// the range itself rather than by the cursor flags.
bool TDM::HasRows(const View& view) {
    return view.IsOpen() && view.RecordCount() > 0;
}

bool TDM::IsEditing(const View& view) {
    return view.State() == ViewState::Edit || view.State() == ViewState::Insert;
}

void TDM::EnsureEdit(View& view) {
    if (!IsEditing(view)) view.Edit();
}

void TDM::PostIfEditing(View& view) {
    if (IsEditing(view)) view.Post();
}

bool TDM::PostAll() {
    try {
        for (const auto& v : views_)
            if (v->IsOpen() && IsEditing(*v)) v->Post();
    } catch (const std::exception&) {
        return false;
    } catch (const Abort&) {
        return false;
    }
    return true;
}

void TDM::ReapplyFilter(View& view) {
    ControlsOff off(view);
    view.SetFiltered(false);
    view.SetFiltered(true);
}

namespace {
// The condition "field equals value" on a table, as the engine compares: exact.
QString Equals(const TableDef& def, const QString& field, const QVariant& value,
               std::vector<QVariant>& binds) {
    const int fi = def.FieldIndex(field);
    if (fi < 0) throw Error(QStringLiteral("Field '%1' not found").arg(field));
    const QString column = QLatin1Char('"') + def.fields[fi].name + QLatin1Char('"');
    if (!value.isValid() || value.isNull() ||
        (value.typeId() == QMetaType::QString && value.toString().isEmpty()))
        return column + QStringLiteral(" IS NULL");
    binds.push_back(value);
    return column + QStringLiteral("=?");
}

// The table of a view for the length of a scope: a private use of the whole
// table, with no filter, order, master range or handlers of any view.
class TableUse {
public:
    TableUse(Database& db, const TableDef& def) : db_(db), table_(db.Acquire(def)) {}
    ~TableUse() { db_.Release(table_); }
    Table* operator->() { return &table_; }

private:
    Database& db_;
    Table& table_;
};
}  // namespace

bool TDM::FindInTable(View& view, const QString& field, const QVariant& value) {
    std::vector<QVariant> binds;
    const QString where = Equals(view.Def(), field, value, binds);
    TableUse table(DatabaseFor(view.DatabaseAlias()), view.Def());
    return table->Any(where, binds);
}

void TDM::DeleteFromTable(View& view, const QString& field, const QVariant& value) {
    std::vector<QVariant> binds;
    const QString where = Equals(view.Def(), field, value, binds);
    TableUse table(DatabaseFor(view.DatabaseAlias()), view.Def());
    table->DeleteWhere(where, binds);
}

void TDM::CopyRow(View& source, View& target) {
    PostIfEditing(target);
    const int n = static_cast<int>(source.Fields().size());
    if (n > BufferSize)
        throw Error(QStringLiteral("%1: too many fields to copy").arg(source.Name()));
    for (int i = 0; i < BufferSize; ++i)
        buffer_[i] = i < n ? source.Value(i) : QVariant();
    target.Append();
    const std::vector<Field>& fields = target.Fields();
    for (int i = 0; i < n && i < static_cast<int>(fields.size()); ++i)
        if (fields[i].kind == FieldKind::Data && fields[i].type != FieldType::AutoInc)
            target.SetValue(i, buffer_[i]);
}

// --- Bookmarks -------------------------------------------------------------------

namespace {
bool ValidSlot(int slot) {
    return slot >= 0 && slot < TDM::BookmarkSlotCount;
}
}  // namespace

void TDM::SaveBookmark(View& view, int slot) {
    if (!ValidSlot(slot) || bookmarks_[slot] || !HasRows(view)) return;
    const Bookmark b = view.GetBookmark();
    if (b.IsValid()) bookmarks_[slot] = b;
}

void TDM::RestoreBookmark(View& view, int slot) {
    if (!ValidSlot(slot) || !bookmarks_[slot]) return;
    const Bookmark b = *bookmarks_[slot];
    bookmarks_[slot].reset();
    try {
        if (HasRows(view)) view.GotoBookmark(b);
    } catch (const std::exception&) {
    } catch (const Abort&) {
    }
}

void TDM::DropBookmark(View&, int slot) {
    if (ValidSlot(slot)) bookmarks_[slot].reset();
}

bool TDM::HasBookmark(int slot) const {
    return ValidSlot(slot) && bookmarks_[slot].has_value();
}

// --- Lists, report copies, discarded rows ----------------------------------------

void TDM::RefreshLookup(LookupList& list) {
    const QVariant kept = list.KeyValue();
    list.ClearKeyValue();
    View* lv = list.ListView();
    if (IsEmptyValue(kept) || lv == nullptr || !lv->IsOpen() || lv->Fields().empty()) return;
    // Asked without moving the list view's cursor.
    const QString first = lv->Fields().front().name;
    if (!IsEmptyValue(lv->Lookup(first, kept, first))) list.SetKeyValue(kept);
}

void TDM::CloneView(View& target, View* source) {
    target.SetMaster(target.Master(), {}, {});
    if (source == nullptr) return;
    target.Close();
    target.SetDatabaseAlias(source->DatabaseAlias());
    target.SetDef(source->Def());
    target.SetFilterText(source->FilterText());
    target.SetFiltered(source->Filtered());
    if (!source->IndexName().isEmpty())
        target.SetIndexName(source->IndexName());
    else
        target.SetIndexFieldNames(source->OrderFields().join(QLatin1Char(';')));
    target.SetMaster(target.Master(), source->MasterFields(), source->DetailFields());
    target.onFilterRecord = source->onFilterRecord;
    target.onCalcFields = source->onCalcFields;

    std::vector<Field> fields;
    const std::vector<Field>& from = source->Fields();
    for (size_t i = 0; i < from.size(); ++i) {
        const Field& s = from[i];
        Field f;
        f.componentName = QStringLiteral("Field%1").arg(i);
        f.name = s.name;
        f.kind = s.kind;
        switch (s.type) {
            case FieldType::String:
                f.type = FieldType::String;
                f.size = s.size;
                break;
            case FieldType::SmallInt:
                f.type = FieldType::SmallInt;
                break;
            case FieldType::Integer:
            case FieldType::AutoInc:
                f.type = FieldType::Integer;
                break;
            case FieldType::DateTime:
            case FieldType::Date:
            case FieldType::Time:
                f.type = FieldType::DateTime;
                f.displayFormat = s.displayFormat;
                break;
            case FieldType::Boolean:
                f.type = FieldType::Boolean;
                break;
        }
        f.dataIndex = s.kind == FieldKind::Data ? target.Def().FieldIndex(s.name) : -1;
        f.lookupView = s.lookupView;
        f.keyField = s.keyField;
        f.lookupKeyField = s.lookupKeyField;
        f.resultField = s.resultField;
        fields.push_back(f);
    }
    target.SetFields(std::move(fields));
    OpenTable(target);
    if (HasRows(*source)) target.GotoBookmark(source->GetBookmark());
}

void TDM::DiscardInsert(View& view) {
    if (&view == &TableKDEvents() && roundOpen_) {
        // Undoing the round's transaction takes everything of it away; the
        // delete handlers would reach past it to a stored round of the same stamp.
        view.Cancel();
        EndRound(false);
        return;
    }
    ScopedFlag permit(DeletePermitted, true);
    if (view.beforeDelete) view.beforeDelete(view);
    view.Cancel();
    if (view.afterDelete) view.afterDelete(view);
}

void TDM::BeginRound() {
    if (roundOpen_) return;
    dataE_->Begin();
    roundOpen_ = true;
}

void TDM::EndRound(bool keep) {
    if (!roundOpen_) return;
    roundOpen_ = false;
    if (keep) {
        try {
            dataE_->Commit();
            return;
        } catch (...) {
            RereadRounds();  // the commit undid the transaction
            throw;
        }
    }
    dataE_->Rollback();
    RereadRounds();
}

// After an undone transaction the views of the rounds read their rows again;
// a pending row of them went with the transaction.
void TDM::RereadRounds() {
    for (const auto& v : views_) {
        if (!v->IsOpen() || v->Db() != dataE_.get()) continue;
        try {
            v->Cancel();
            v->Refresh();
        } catch (const std::exception&) {
        } catch (const Abort&) {
        }
    }
}

}  // namespace kordex::store
