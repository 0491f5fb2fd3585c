#include "ComplexFilter.h"

#include <memory>

namespace kordex::filters {

namespace {

// The operator closed the status window.
struct Interrupted {};

// Every user's key, read once: the walk asks for a great many of them.
QSet<QString> UserKeys(store::View& users) {
    store::Table* table = users.PhysicalTable();
    if (!users.IsOpen() || table == nullptr)
        throw store::Error(QStringLiteral("%1: Cannot perform this operation on a closed dataset")
                               .arg(users.Name()));
    const int key = table->Def().FieldIndex(QStringLiteral("Key"));
    QSet<QString> keys;
    table->Scan(QString(), {}, QString(), true, [&](int64_t, const store::Values* row) {
        const QVariant& v = (*row)[key];
        if (v.isValid() && !v.isNull()) keys.insert(v.toString());
    });
    return keys;
}

// The table's primary order, as the cursor walks it.
QString PrimaryOrder(const store::TableDef& def) {
    QStringList parts;
    if (const store::IndexDef* p = def.Primary())
        for (const QString& f : p->fields)
            parts << QLatin1Char('"') + f + QLatin1Char('"');
    parts << QStringLiteral("rowid");
    return parts.join(QLatin1Char(','));
}

}  // namespace

bool BuildComplexFilter(store::TDM& dm, TouchFilterSettings& settings, store::View& touches) {
    shell::StatusWindow& status = dm.Status();
    shell::Clock& clock = dm.Clock();
    std::unique_ptr<store::View> temp;
    // Frees the cursor and closes the window however the build ends.
    auto finish = [&]() noexcept {
        try {
            temp.reset();
        } catch (...) {
        }
        status.Close();
    };
    bool reachedEnd = false;
    try {
        if (touches.Db() == nullptr)
            throw store::Error(
                QStringLiteral("%1: Cannot perform this operation on a closed dataset")
                    .arg(touches.Name()));
        temp = std::make_unique<store::View>(QStringLiteral("Temp"), touches.DatabaseAlias(),
                                             touches.Def());
        temp->Open(*touches.Db());
        status.Show(text::BuildCaption, text::Building, temp->RecordCount());

        settings.complexIds.Clear();
        const QSet<QString> users = UserKeys(dm.TableUsers());
        const bool chosen = settings.event.has_value();
        const QString user = settings.event.value_or(QString());
        const store::TableDef& def = temp->Def();
        const int keyField = def.FieldIndex(QStringLiteral("Key"));
        const int idField = def.FieldIndex(QStringLiteral("ID"));
        bool trigger = false;
        int row = 0;
        uint32_t lastPump = clock.TickMs();

        temp->PhysicalTable()->Scan(
            QString(), {}, PrimaryOrder(def), true, [&](int64_t, const store::Values* values) {
                // Messages every few milliseconds: the operator may close the window.
                const uint32_t now = clock.TickMs();
                if (row == 0 || now - lastPump >= BuildPumpIntervalMs) {
                    status.SetPosition(row);
                    status.Pump();
                    lastPump = clock.TickMs();
                    if (!status.IsShowing()) throw Interrupted{};
                }
                const QVariant& k = (*values)[keyField];
                const bool hasKey = k.isValid() && !k.isNull();
                const QString key = hasKey ? k.toString() : QString();
                if (!trigger && chosen && hasKey && key == user) trigger = true;
                if (trigger) {
                    if (hasKey && key != user && users.contains(key))
                        trigger = false;  // another user's touch ends the run
                    else
                        settings.complexIds.Add((*values)[idField].toInt());
                }
                ++row;
            });
        status.SetPosition(row);
        reachedEnd = true;
    } catch (const Interrupted&) {
    } catch (const std::exception& e) {
        finish();
        dm.Prompt().Ask(shell::CaptionError, store::WithCause(text::BuildFailed, e),
                        shell::Icon::Warning, shell::Buttons::Ok);
        return false;
    }
    finish();
    return reachedEnd;
}

}  // namespace kordex::filters
