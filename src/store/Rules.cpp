#include "Rules.h"

#include "link/KeyId.h"
#include "shell/ScopeExit.h"

namespace kordex::store {

namespace {
const QString Key = QStringLiteral("Key");
const QString Name = QStringLiteral("Name");
}  // namespace

Rules::Rules(TDM& dm)
    : dm_(dm),
      keys_({&dm.TablePoints(), &dm.TablePrBook(), &dm.TableRegisters(), &dm.TableGuards(),
             &dm.TableUsers()}) {
    Attach();
}

void Rules::RegisterList(const QString& kind, LookupList* list) {
    lists_.emplace_back(kind, list);
}

void Rules::UnregisterList(LookupList* list) {
    std::erase_if(lists_, [&](const auto& e) { return e.second == list; });
}

void Rules::RefreshLists(const QString& kind) {
    for (const auto& [k, list] : lists_)
        if (k == kind) TDM::RefreshLookup(*list);
}

void Rules::Refresh(View& v) {
    if (v.IsOpen()) v.Refresh();
}

void Rules::Attach() {
    TDM& dm = dm_;
    auto guard = [this](View& v) { DeleteGuard(v); };
    auto cascade = [this](View& v) { RefreshCascade(v); };

    // People.
    // The own-row flag belongs to one edit of the logged-in registrar's row:
    // a new row never carries it, and the post or cancel that ends the edit
    // drops it.
    dm.TableUsers().beforeEdit = [this](View& v) {
        dm_.EditingCurrentRegistrar = v.Text(Key) == CurrentRegistrarKey();
    };
    dm.TableUsers().beforeInsert = [this](View&) { dm_.EditingCurrentRegistrar = false; };
    dm.TableUsers().afterCancel = [this](View&) { dm_.EditingCurrentRegistrar = false; };
    dm.TableUsers().beforePost = [this](View& v) { UsersBeforePost(v); };

    // Keys: check points, incidents, collectors.
    dm.TablePoints().beforePost = [this](View& v) {
        KeysBeforePost(v, QStringLiteral("IsPrBook"), false, text::NoPointName);
    };
    dm.TablePrBook().beforePost = [this](View& v) {
        KeysBeforePost(v, QStringLiteral("IsPrBook"), true, text::NoIncidentName);
    };
    dm.TableKDs().beforePost = [this](View& v) {
        KeysBeforePost(v, QStringLiteral("IsKD"), true, text::NoCollectorName);
    };
    // A path point names its check point.
    dm.TablePPathes().beforePost = [this](View& v) { PathPointBeforePost(v); };
    for (View* v : {&dm.TableUsers(), &dm.TablePoints(), &dm.TablePrBook(), &dm.TableKDs()})
        v->onPostError = [this](View& view, const Error& e, PostErrorAction& a) {
            PostError(view, e, a);
        };

    // Nothing is deleted unless the program itself asks for it.
    for (View* v : {&dm.TableUsers(), &dm.TableCurRegister(), &dm.TableRegisters(),
                    &dm.TableGuards(), &dm.TablePoints(), &dm.TablePrBook(), &dm.TableKDs(),
                    &dm.TablePPathes(), &dm.TablePrEvents(), &dm.TableKDREvents(),
                    &dm.TableKDLEvents(), &dm.TableKDRAEvents(), &dm.TableKDLAEvents()})
        v->beforeDelete = guard;

    // A path takes its points with it.
    dm.TablePathes().beforeDelete = [this](View& v) {
        DeleteGuard(v);
        dm_.PendingCascadeKey =
            TDM::HasRows(dm_.TablePPathes()) ? v.Value(QStringLiteral("ID")) : QVariant(-1);
    };
    dm.TablePathes().afterDelete = [this](View& v) {
        dm_.DeleteFromTable(dm_.TablePPathes(), QStringLiteral("PathID"), dm_.PendingCascadeKey);
        RefreshCascade(v);
    };

    // A round takes its touches and missed points with it, in its own database.
    auto roundCascade = [this](View& rounds, View& touches, View& missed) {
        rounds.beforeDelete = [this, &touches, &missed](View& v) {
            DeleteGuard(v);
            dm_.PendingCascadeKey = TDM::HasRows(touches) || TDM::HasRows(missed)
                                        ? v.Value(QStringLiteral("DateReg"))
                                        : QVariant(-1);
        };
        rounds.afterDelete = [this, &touches, &missed](View& v) {
            dm_.DeleteFromTable(touches, QStringLiteral("DateReg"), dm_.PendingCascadeKey);
            dm_.DeleteFromTable(missed, QStringLiteral("DateReg"), dm_.PendingCascadeKey);
            RefreshCascade(v);
        };
    };
    roundCascade(dm.TableKDEvents(), dm.TableKDREvents(), dm.TableKDLEvents());
    roundCascade(dm.TableKDAEvents(), dm.TableKDRAEvents(), dm.TableKDLAEvents());

    for (View* v : {&dm.TableUsers(), &dm.TablePoints(), &dm.TablePrBook(), &dm.TableKDs(),
                    &dm.TablePathes(), &dm.TablePPathes(), &dm.TablePrEvents(), &dm.TableKDEvents(),
                    &dm.TableKDREvents(), &dm.TableKDLEvents(), &dm.TableKDAEvents(),
                    &dm.TableKDRAEvents(), &dm.TableKDLAEvents()}) {
        v->afterPost = cascade;
        if (v != &dm.TablePathes() && v != &dm.TableKDEvents() && v != &dm.TableKDAEvents())
            v->afterDelete = cascade;
    }
    dm.TableUsers().afterPost = [this](View& v) {
        shell::Finally drop([this] { dm_.EditingCurrentRegistrar = false; });
        RefreshCascade(v);
    };
    // The round just read is stored by its post, and dropped by its cancel.
    dm.TableKDEvents().afterPost = [this](View& v) {
        StoreRound();
        RefreshCascade(v);
    };
    dm.TableKDEvents().afterCancel = [this](View&) { dm_.EndRound(false); };

    // Calculated fields.
    dm.TablePrEvents().onCalcFields = [](View& v) { CalcDateTimeFields(v); };
    for (View* v : {&dm.TableKDEvents(), &dm.TableKDAEvents()})
        v->onCalcFields = [](View& view) { CalcRoundFields(view); };
    for (View* v : {&dm.TableKDREvents(), &dm.TableKDRAEvents()})
        v->onCalcFields = [this](View& view) { CalcTouchFields(view, keys_, dm_.SkipTouchCalc); };
}

void Rules::StoreRound() {
    if (!dm_.RoundOpen()) return;
    try {
        dm_.EndRound(true);
    } catch (const Error& e) {
        dm_.Prompt().Ask(shell::CaptionError, WithCause(text::RoundNotStored, e),
                         shell::Icon::Warning, shell::Buttons::Ok);
        throw Abort{};
    }
}

void Rules::DeleteGuard(View&) {
    if (!dm_.DeletePermitted) throw Abort{};
}

void Rules::ShowKeyInUse(View& v) {
    dm_.Prompt().Ask(shell::CaptionError,
                     QStringLiteral("Ключ/ID с номером <%1> уже используется !").arg(v.Text(Key)),
                     shell::Icon::Error, shell::Buttons::Ok);
}

void Rules::RequireValue(View& v, const QString& field, const QString& text) {
    if (!v.Text(field).isEmpty()) return;
    dm_.Prompt().Ask(shell::CaptionError, text, shell::Icon::Error, shell::Buttons::Ok);
    throw Abort{};
}

void Rules::UsersBeforePost(View& v) {
    if (dm_.SkipValidation) return;
    const QString key = v.Text(Key);
    if (!link::KeyIdValidate(key, false, dm_.Prompt())) throw Abort{};
    RequireValue(v, Name, text::NoUserName);
    if (dm_.FindInTable(dm_.TablePoints(), Key, key)) {
        ShowKeyInUse(v);
        throw Abort{};
    }
    // The first person stored while there is no registrar becomes administrator.
    if (!TDM::HasRows(dm_.TableRegisters())) v.SetValue(QStringLiteral("IsAdmin"), true);
}

void Rules::KeysBeforePost(View& v, const QString& kindField, bool kindValue,
                           const QString& noNameText) {
    if (dm_.SkipValidation) return;
    const QString key = v.Text(Key);
    if (!link::KeyIdValidate(key, true, dm_.Prompt())) throw Abort{};
    RequireValue(v, Name, noNameText);
    if (dm_.FindInTable(dm_.TableUsers(), Key, key)) {
        ShowKeyInUse(v);
        throw Abort{};
    }
    v.SetValue(kindField, kindValue);
}

void Rules::PathPointBeforePost(View& v) {
    if (dm_.SkipValidation) return;
    RequireValue(v, Key, text::NoPathPoint);
}

void Rules::PostError(View& v, const Error& e, PostErrorAction& action) {
    if (!e.Message().contains(QLatin1String("Key violation"))) return;
    ShowKeyInUse(v);
    action = PostErrorAction::Abort;
}

QString Rules::CurrentRegistrarKey() {
    View& cur = dm_.TableCurRegister();
    if (nobody_ || !cur.IsOpen() || !TDM::HasRows(cur)) return {};
    return cur.Text(Key);
}

void Rules::AppendJournal(const QString& text, std::optional<link::DateTime> when) {
    View& j = dm_.TablePrEvents();
    const link::DateTime date = when ? *when : link::DateTime::FromQDateTime(dm_.Clock().Now());
    const QString key = CurrentRegistrarKey();
    j.Append();
    try {
        j.SetValue(QStringLiteral("Date"), date.Days());
        j.SetValue(Key, key);
        j.SetValue(QStringLiteral("Name"), text);
        j.Post();
    } catch (...) {
        j.Cancel();
        throw;
    }
}

void Rules::EmptyTable(View& v) {
    ControlsOff off(v);
    auto finish = [&] {
        if (!v.IsOpen()) dm_.OpenTable(v);
        AppendJournal(JournalEmptyTable + v.Name());
    };
    try {
        if (!v.FilterText().isEmpty()) {
            ScopedFlag permit(dm_.DeletePermitted, true);
            ScopedFlag quiet(dm_.RefreshEnabled, false);
            v.First();
            while (TDM::HasRows(v))
                v.Delete();
        } else {
            v.EmptyTable();
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void Rules::EmptyWithCompanions(View& v) {
    EmptyTable(v);
    if (&v == &dm_.TableKDEvents()) {
        EmptyTable(dm_.TableKDREvents());
        EmptyTable(dm_.TableKDLEvents());
    } else if (&v == &dm_.TableKDAEvents()) {
        EmptyTable(dm_.TableKDRAEvents());
        EmptyTable(dm_.TableKDLAEvents());
    } else if (&v == &dm_.TablePathes()) {
        EmptyTable(dm_.TablePPathes());
    }
    RefreshCascade(v);
}

void Rules::RefreshCascade(View& changed) {
    if (!dm_.RefreshEnabled) return;
    if (actionRefresh) actionRefresh();
    TDM& dm = dm_;
    if (&changed == &dm.TableUsers()) {
        Refresh(dm.TableCurRegister());
        // The login dialog keeps its user selected, even when he changed his own key.
        for (const auto& [kind, list] : lists_) {
            if (kind != ListLogin) continue;
            if (dm.EditingCurrentRegistrar || !list->KeyValue().isValid() ||
                list->KeyValue().isNull())
                list->SetKeyValue(changed.Value(Key));
        }
        RefreshLists(ListLogin);
        Refresh(dm.TablePrEvents());
        Refresh(dm.TableRegisters());
        RefreshLists(ListRegister);
        Refresh(dm.TableGuards());
        RefreshLists(ListGuardWrite);
        RefreshLists(ListGuard);
        RefreshLists(ListEvent);
        for (View* v : {&dm.TableKDEvents(), &dm.TableKDAEvents(), &dm.TableKDREvents(),
                        &dm.TableKDRAEvents()})
            Refresh(*v);
    } else if (&changed == &dm.TablePoints()) {
        for (View* v : {&dm.TablePPathes(), &dm.TableKDREvents(), &dm.TableKDRAEvents(),
                        &dm.TableKDLEvents(), &dm.TableKDLAEvents()})
            Refresh(*v);
        RefreshLists(ListEvent);
    } else if (&changed == &dm.TablePathes()) {
        Refresh(dm.TableKDEvents());
        Refresh(dm.TableKDAEvents());
        RefreshLists(ListPathWrite);
        RefreshLists(ListPath);
        RefreshLists(ListEvent);
    } else if (&changed == &dm.TablePrBook()) {
        Refresh(dm.TableKDREvents());
        Refresh(dm.TableKDRAEvents());
        RefreshLists(ListEvent);
    } else if (&changed == &dm.TableKDs()) {
        Refresh(dm.TableKDEvents());
        Refresh(dm.TableKDAEvents());
        RefreshLists(ListKD);
    } else if (&changed == &dm.TableKDEvents()) {
        Refresh(dm.TableKDFEvents());
    } else if (&changed == &dm.TableKDAEvents()) {
        Refresh(dm.TableKDAFEvents());
    }
}

}  // namespace kordex::store
