#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::store {
class View;
}  // namespace kordex::store

namespace kordex::app {

inline const QString MsgNoDateRegChosen = QStringLiteral("Не выбрана дата и время регистрации !");

// The registration-time dialog: the journal entries of the view (restricted
// and positioned by the caller) by their date and time, the registrar of the
// one selected beside the list. The view is read once, when the dialog is
// built, and its cursor is left where it was.
class TFormGetDateReg : public QDialog {
    Q_OBJECT

public:
    TFormGetDateReg(store::View& entries, shell::Prompt& prompt, QWidget* parent = nullptr);

    // The Date of the selected entry; nothing when none is selected.
    std::optional<double> Date() const;

    QListWidget* DBLookupListBoxDateReg() const { return list_; }
    QLineEdit* DBEditReg() const { return editReg_; }

public slots:
    // OK and a double click in the list: closes with a selected entry only.
    void ButtonOKClick();

private:
    struct Entry {
        double date = 0;
        QString registrar;
    };

    void ShowRegistrar();

    shell::Prompt& prompt_;
    std::vector<Entry> entries_;
    QListWidget* list_ = nullptr;
    QLineEdit* editReg_ = nullptr;
    QPushButton* buttonOK_ = nullptr;
    QPushButton* buttonCancel_ = nullptr;
};

// Runs the dialog over the view: the chosen entry's Date, or nothing on Cancel.
// The main window's device pages answer the read's question with it.
std::optional<double> ChooseRegistrationTime(store::View& entries, shell::Prompt& prompt,
                                             QWidget* parent = nullptr);

}  // namespace kordex::app
