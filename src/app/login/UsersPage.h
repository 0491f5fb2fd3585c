#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::store {
class TDM;
}  // namespace kordex::store

class QGroupBox;

namespace kordex::widgets {
class DBCheckBox;
class DBGrid;
class DBRadioGroup;
}  // namespace kordex::widgets

namespace kordex::app {

inline const QString MsgLastAdministrator =
    QStringLiteral("Один из пользователей должен быть администратором !");

// The content of the Users page: the grid of all people, the type of the
// current one and, for a registrar, his rights. The rights are edited through
// the check boxes while the Users view is editing; the page keeps at least one
// administrator among the registrars.
class UsersPage : public QWidget {
    Q_OBJECT

public:
    UsersPage(store::TDM& dm, shell::Prompt& prompt, QWidget* parent = nullptr);

    // Whether the main window shows this page; the last-administrator rule
    // holds only there. Unset: whether the page is visible.
    std::function<bool()> pageActive;

    widgets::DBGrid* DBGridUsers() const { return grid_; }
    widgets::DBRadioGroup* DBRadioGroupTypeUser() const { return type_; }
    QGroupBox* GroupBoxRights() const { return rights_; }
    // The rights' check boxes in tab order.
    const std::vector<widgets::DBCheckBox*>& RightBoxes() const { return boxes_; }

public slots:
    // The rights are shown for a registrar only.
    void DBRadioGroupTypeUserChange();
    // Clearing the last administrator's flag is undone.
    void DBCheckBoxIsAdminClick(bool checked);

private:
    bool PageActive() const;

    store::TDM& dm_;
    shell::Prompt& prompt_;
    widgets::DBGrid* grid_ = nullptr;
    widgets::DBRadioGroup* type_ = nullptr;
    QGroupBox* rights_ = nullptr;
    std::vector<widgets::DBCheckBox*> boxes_;
};

}  // namespace kordex::app
