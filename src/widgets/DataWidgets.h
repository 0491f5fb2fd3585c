#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "store/DataModule.h"
#include "store/View.h"

class QVBoxLayout;

namespace kordex::widgets {

// Forwards the notifications of one view as Qt signals. The view must outlive
// the link or be taken from it (SetView(nullptr)) first.
class DataLink : public QObject, public store::ViewListener {
    Q_OBJECT

public:
    explicit DataLink(store::View* view = nullptr, QObject* parent = nullptr);
    ~DataLink() override;
    DataLink(const DataLink&) = delete;
    DataLink& operator=(const DataLink&) = delete;

    void SetView(store::View* view);
    store::View* View() const { return view_; }
    // The view is open and its current row is being edited or inserted.
    bool Editing() const;

    void ViewDataChanged(store::View& view, const QString& field) override;
    void ViewStateChanged(store::View& view) override;
    void ViewRefreshed(store::View& view) override;

signals:
    // The current row moved or one of its values changed (field empty: the whole row).
    void dataChanged(const QString& field);
    void stateChanged();
    // Rows came or went.
    void refreshed();

private:
    store::View* view_ = nullptr;
};

// The binding of a control to one field of a view: the value of the current
// row, and writing it back while the view is editing.
class FieldLink : public DataLink {
    Q_OBJECT

public:
    explicit FieldLink(QObject* parent = nullptr);

    void Bind(store::View* view, const QString& field);
    const QString& Field() const { return field_; }
    // The field's definition; null while unbound or when the view has no such field.
    const store::Field* Def() const;
    // The current row's value; empty when there is no row to show.
    QVariant Value() const;
    // Writes into the current row; false (nothing written) unless the view is
    // editing or inserting and takes the value.
    bool Write(const QVariant& value);
    // Writes a value the operator chose: a browsing view's current row is put
    // into edit first, as a grid's row is when typed into. False (nothing
    // written) without a row or when the view refuses.
    bool Choose(const QVariant& value);

signals:
    // What the control shows must be read again.
    void changed();

private:
    QString field_;
};

// A line edit over a field. Typing writes every change into the row while
// the view is editing; otherwise the edit goes back to the stored value.
// Date and time fields are shown in their display format and not typed.
class DBEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit DBEdit(QWidget* parent = nullptr);

    void Bind(store::View* view, const QString& field);
    store::View* View() const { return link_.View(); }
    const QString& Field() const { return link_.Field(); }

public slots:
    // Shows the current row's value again.
    void Reload();

private:
    void Typed(const QString& text);

    FieldLink link_;
};

// A check box over a boolean field; an empty value is unchecked.
class DBCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit DBCheckBox(QWidget* parent = nullptr);
    explicit DBCheckBox(const QString& text, QWidget* parent = nullptr);

    void Bind(store::View* view, const QString& field);
    store::View* View() const { return link_.View(); }
    const QString& Field() const { return link_.Field(); }

public slots:
    void Reload();

private:
    void Clicked(bool checked);

    FieldLink link_;
};

// A group of radio buttons over a field: the checked item's index is the
// field's value (for a boolean field item 0 is false, item 1 true), unless
// the items are given values of their own. An empty or unknown value checks
// nothing.
class DBRadioGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit DBRadioGroup(QWidget* parent = nullptr);
    explicit DBRadioGroup(const QString& title, QWidget* parent = nullptr);

    void SetItems(const QStringList& items);
    QStringList Items() const;
    // The value of each item, by index; items without one keep the default.
    void SetValues(const QVariantList& values);
    // The items side by side in one row instead of one under the other.
    void SetHorizontal();
    const QVariantList& Values() const { return values_; }
    // The checked item, or -1.
    int ItemIndex() const;
    QButtonGroup* Buttons() const { return buttons_; }

    void Bind(store::View* view, const QString& field);
    store::View* View() const { return link_.View(); }
    const QString& Field() const { return link_.Field(); }

public slots:
    void Reload();

private:
    void Init();
    void Check(int index);
    void Clicked(int index);
    // The item whose value a field value is, or -1.
    int IndexOf(const QVariant& value) const;

    FieldLink link_;
    QVariantList values_;
    QButtonGroup* buttons_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};

// A combo box listing the rows of a list view (display field "Name", key
// field "Key" by default), filled again whenever the list view's rows change.
// Bound to a field of another view it shows that field's key, and a choice
// of the user is written into the field while that view is editing.
class DBLookupComboBox : public QComboBox, public store::LookupList {
    Q_OBJECT

public:
    explicit DBLookupComboBox(QWidget* parent = nullptr);

    void SetListView(store::View* view);
    void SetListField(const QString& field);
    void SetKeyField(const QString& field);
    const QString& ListField() const { return listField_; }
    const QString& KeyField() const { return keyField_; }
    void SetDataField(store::View* view, const QString& field);
    store::View* DataView() const { return data_.View(); }

    QVariant KeyValue() const override;
    void SetKeyValue(const QVariant& key) override;
    void ClearKeyValue() override;
    store::View* ListView() const override { return list_.View(); }

public slots:
    // Reads the list view's rows again, keeping the selected key if it is still there.
    void Refill();

private:
    void Chosen(int index);
    void ShowDataValue();
    void RefillRows(const QVariant& kept);

    DataLink list_;
    FieldLink data_;
    QString listField_ = QStringLiteral("Name");
    QString keyField_ = QStringLiteral("Key");
};

}  // namespace kordex::widgets
