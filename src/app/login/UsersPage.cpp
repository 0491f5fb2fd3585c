#include "UsersPage.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "shell/Prompt.h"
#include "store/DataModule.h"
#include "store/PageColumns.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex::widgets;

namespace kordex::app {

namespace {

struct RightBox {
    const char* field;
    const char* name;
    const char* caption;
};

// In tab order.
const RightBox Rights[] = {
    {"IsAdmin", "DBCheckBoxIsAdmin", "Администратор (все права)"},
    {"IsTableEdit", "DBCheckBoxIsTableEdit", "Редактирование таблиц"},
    {"IsPoints", "DBCheckBoxIsPoints", "Точки обхода"},
    {"IsPath", "DBCheckBoxIsPath", "Маршруты обхода"},
    {"IsPrBook", "DBCheckBoxIsPrBook", "Программная книга"},
    {"IsKDs", "DBCheckBox1", "Список Kordex'ов"},
    {"IsWrite", "DBCheckBoxIsWrite", "Запись данных в Kordex"},
    {"IsRead", "DBCheckBoxIsRead", "Чтение данных из Kordex'а"},
    {"IsPrEvs", "DBCheckBoxIsPrEvents", "Журнал событий программы"},
    {"IsKDEvs", "DBCheckBoxIsKDEvents", "Журнал событий Kordex'а"},
    {"IsKDAEvs", "DBCheckBox2", "Архив событий Kordex'а"},
    {"IsTime", "DBCheckBoxIsTime", "Коррекция даты и времени Kordex'а"},
};

const QString IsAdmin = QStringLiteral("IsAdmin");

}  // namespace

UsersPage::UsersPage(store::TDM& dm, shell::Prompt& prompt, QWidget* parent)
    : QWidget(parent), dm_(dm), prompt_(prompt) {
    store::View& users = dm_.TableUsers();

    grid_ = new DBGrid(this);
    grid_->setObjectName(QStringLiteral("DBGridUsers"));
    grid_->SetGrid(users, GridColumns(store::columns::Users()));

    type_ = new DBRadioGroup(QStringLiteral("Тип пользователя"), this);
    type_->setObjectName(QStringLiteral("DBRadioGroupTypeUser"));
    type_->SetItems({QStringLiteral("Регистратор"), QStringLiteral("Охранник")});
    type_->SetValues({true, false});
    type_->Bind(&users, QStringLiteral("IsRegister"));
    // Side by side, so that the rights below keep their height.
    type_->SetHorizontal();

    rights_ = new QGroupBox(QStringLiteral("Права доступа"), this);
    rights_->setObjectName(QStringLiteral("GroupBoxRights"));
    auto* rightsLayout = new QVBoxLayout(rights_);
    rightsLayout->setSpacing(0);
    rightsLayout->setContentsMargins(8, 4, 8, 4);
    // Created in tab order.
    for (const RightBox& r : Rights) {
        auto* box = new DBCheckBox(QString::fromUtf8(r.caption), rights_);
        box->setObjectName(QString::fromLatin1(r.name));
        box->Bind(&users, QString::fromLatin1(r.field));
        rightsLayout->addWidget(box);
        boxes_.push_back(box);
    }

    auto* side = new QVBoxLayout;
    side->setSpacing(4);
    side->addWidget(type_);
    side->addWidget(rights_);
    side->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(grid_, 1);
    layout->addLayout(side);

    // The item changes with the row and with the operator's choice.
    connect(type_->Buttons(), &QButtonGroup::idToggled, this,
            &UsersPage::DBRadioGroupTypeUserChange);
    connect(boxes_.front(), &QCheckBox::clicked, this, &UsersPage::DBCheckBoxIsAdminClick);
    DBRadioGroupTypeUserChange();
}

bool UsersPage::PageActive() const {
    return pageActive ? pageActive() : isVisible();
}

void UsersPage::DBRadioGroupTypeUserChange() {
    rights_->setVisible(type_->ItemIndex() == 0);
}

void UsersPage::DBCheckBoxIsAdminClick(bool checked) {
    store::View& users = dm_.TableUsers();
    store::View& registrars = dm_.TableRegisters();
    if (checked || !PageActive() || !store::TDM::IsEditing(users) || !registrars.IsOpen() ||
        !store::TDM::HasRows(registrars))
        return;
    // The stored row being edited does not count, whatever key it is given now.
    const int64_t edited =
        users.State() == store::ViewState::Edit ? users.CurrentRowId() : int64_t{-1};
    for (registrars.First(); !registrars.Eof(); registrars.Next()) {
        if (registrars.CurrentRowId() == edited) continue;
        const QVariant admin = registrars.Value(IsAdmin);
        if (admin.isValid() && !admin.isNull() && admin.toBool()) return;
    }
    users.SetValue(IsAdmin, true);
    prompt_.Ask(shell::CaptionError, MsgLastAdministrator, shell::Icon::Error, shell::Buttons::Ok);
}

}  // namespace kordex::app
