#include "DataWidgets.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <exception>

#include "GridModel.h"

namespace kordex::widgets {

using store::FieldType;

namespace {

// The text an edit shows for a value.
QString EditText(const store::Field& f, const QVariant& v) {
    if (f.type == FieldType::Boolean) return IsEmpty(v) ? QString() : v.toString();
    return DisplayText(f, v);
}

}  // namespace

// --- DataLink ---------------------------------------------------------------------

DataLink::DataLink(store::View* view, QObject* parent) : QObject(parent) {
    SetView(view);
}

DataLink::~DataLink() {
    SetView(nullptr);
}

void DataLink::SetView(store::View* view) {
    if (view_ == view) return;
    if (view_ != nullptr) view_->RemoveListener(this);
    view_ = view;
    if (view_ != nullptr) view_->AddListener(this);
}

bool DataLink::Editing() const {
    return view_ != nullptr &&
           (view_->State() == store::ViewState::Edit || view_->State() == store::ViewState::Insert);
}

void DataLink::ViewDataChanged(store::View&, const QString& field) {
    emit dataChanged(field);
}

void DataLink::ViewStateChanged(store::View&) {
    emit stateChanged();
}

void DataLink::ViewRefreshed(store::View&) {
    emit refreshed();
}

// --- FieldLink --------------------------------------------------------------------

FieldLink::FieldLink(QObject* parent) : DataLink(nullptr, parent) {
    connect(this, &DataLink::dataChanged, this, [this](const QString& field) {
        // A calculated or lookup field follows the fields it is made from.
        const store::Field* f = Def();
        if (field.isEmpty() || field.compare(field_, Qt::CaseInsensitive) == 0 ||
            (f != nullptr && f->kind != store::FieldKind::Data))
            emit changed();
    });
    connect(this, &DataLink::stateChanged, this, &FieldLink::changed);
    connect(this, &DataLink::refreshed, this, &FieldLink::changed);
}

void FieldLink::Bind(store::View* view, const QString& field) {
    field_ = field;
    SetView(view);
    emit changed();
}

const store::Field* FieldLink::Def() const {
    return View() == nullptr ? nullptr : View()->FindField(field_);
}

QVariant FieldLink::Value() const {
    store::View* v = View();
    if (v == nullptr || !v->IsOpen() || v->IsEmpty() || Def() == nullptr) return {};
    try {
        return v->Value(field_);
    } catch (const std::exception&) {
        return {};
    } catch (const store::Abort&) {
        return {};
    }
}

bool FieldLink::Write(const QVariant& value) {
    if (!Editing() || Def() == nullptr) return false;
    try {
        View()->SetValue(field_, value);
        return true;
    } catch (const std::exception&) {
        return false;
    } catch (const store::Abort&) {
        return false;
    }
}

bool FieldLink::Choose(const QVariant& value) {
    store::View* v = View();
    if (v == nullptr || !v->IsOpen() || v->IsEmpty() || Def() == nullptr) return false;
    if (!Editing()) {
        try {
            v->Edit();
        } catch (const std::exception&) {
            return false;
        } catch (const store::Abort&) {
            return false;
        }
    }
    return Write(value);
}

// --- DBEdit -----------------------------------------------------------------------

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent) {
    connect(&link_, &FieldLink::changed, this, &DBEdit::Reload);
    connect(this, &QLineEdit::textEdited, this, &DBEdit::Typed);
}

void DBEdit::Bind(store::View* view, const QString& field) {
    link_.Bind(view, field);
    const store::Field* f = link_.Def();
    setMaxLength(f != nullptr && f->type == FieldType::String && f->size > 0 ? f->size : 32767);
}

void DBEdit::Reload() {
    const store::Field* f = link_.Def();
    const QString text = f == nullptr ? QString() : EditText(*f, link_.Value());
    // Keeps the cursor where it is while the text echoes what was typed; a
    // value shown in an edit the operator is not in is shown from its start.
    if (text != this->text()) {
        setText(text);
        if (!hasFocus()) setCursorPosition(0);
    }
}

void DBEdit::Typed(const QString& text) {
    const store::Field* f = link_.Def();
    bool written = false;
    if (f != nullptr && !IsDateTime(f->type)) {
        QVariant value;
        bool ok = true;
        if (!text.isEmpty()) value = IsNumber(f->type) ? QVariant(text.toLongLong(&ok)) : text;
        written = ok && link_.Write(value);
    }
    if (!written) Reload();
}

// --- DBCheckBox -------------------------------------------------------------------

DBCheckBox::DBCheckBox(QWidget* parent) : DBCheckBox(QString(), parent) {}

DBCheckBox::DBCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    connect(&link_, &FieldLink::changed, this, &DBCheckBox::Reload);
    connect(this, &QCheckBox::clicked, this, &DBCheckBox::Clicked);
}

void DBCheckBox::Bind(store::View* view, const QString& field) {
    link_.Bind(view, field);
}

void DBCheckBox::Reload() {
    const QVariant v = link_.Value();
    const QSignalBlocker block(this);
    setChecked(!IsEmpty(v) && v.toBool());
}

void DBCheckBox::Clicked(bool checked) {
    if (!link_.Choose(checked)) Reload();
}

// --- DBRadioGroup -----------------------------------------------------------------

DBRadioGroup::DBRadioGroup(QWidget* parent) : QGroupBox(parent) {
    Init();
}

DBRadioGroup::DBRadioGroup(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    Init();
}

void DBRadioGroup::Init() {
    buttons_ = new QButtonGroup(this);
    layout_ = new QVBoxLayout(this);
    connect(&link_, &FieldLink::changed, this, &DBRadioGroup::Reload);
    connect(buttons_, &QButtonGroup::idClicked, this, &DBRadioGroup::Clicked);
}

void DBRadioGroup::SetItems(const QStringList& items) {
    for (QAbstractButton* b : buttons_->buttons()) {
        buttons_->removeButton(b);
        delete b;
    }
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        buttons_->addButton(b, i);
        layout_->addWidget(b);
    }
    Reload();
}

QStringList DBRadioGroup::Items() const {
    QStringList out;
    for (int i = 0; i < buttons_->buttons().size(); ++i)
        out << buttons_->button(i)->text();
    return out;
}

int DBRadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void DBRadioGroup::Bind(store::View* view, const QString& field) {
    link_.Bind(view, field);
}

void DBRadioGroup::Check(int index) {
    QAbstractButton* b = buttons_->button(index);
    if (b != nullptr) {
        b->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last button.
    buttons_->setExclusive(false);
    for (QAbstractButton* other : buttons_->buttons())
        other->setChecked(false);
    buttons_->setExclusive(true);
}

void DBRadioGroup::SetValues(const QVariantList& values) {
    values_ = values;
    Reload();
}

void DBRadioGroup::SetHorizontal() {
    layout_->setDirection(QBoxLayout::LeftToRight);
    layout_->setContentsMargins(8, 2, 8, 2);
}

int DBRadioGroup::IndexOf(const QVariant& v) const {
    if (IsEmpty(v)) return -1;
    for (int i = 0; i < values_.size(); ++i) {
        const QVariant& own = values_[i];
        const bool same = own.typeId() == QMetaType::Bool || v.typeId() == QMetaType::Bool
                              ? own.toBool() == v.toBool()
                              : own == v;
        if (same) return i;
    }
    const int index = v.typeId() == QMetaType::Bool ? (v.toBool() ? 1 : 0) : v.toInt();
    // An item with a value of its own is found by that value only.
    return index < values_.size() ? -1 : index;
}

void DBRadioGroup::Reload() {
    Check(IndexOf(link_.Value()));
}

void DBRadioGroup::Clicked(int index) {
    QVariant value;
    if (index < values_.size()) {
        value = values_[index];
    } else {
        const store::Field* f = link_.Def();
        value =
            f != nullptr && f->type == FieldType::Boolean ? QVariant(index != 0) : QVariant(index);
    }
    // The item already checked changes nothing.
    if (!link_.Editing() && IndexOf(link_.Value()) == index) return;
    if (!link_.Choose(value)) Reload();
}

// --- DBLookupComboBox -------------------------------------------------------------

DBLookupComboBox::DBLookupComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(&list_, &DataLink::refreshed, this, &DBLookupComboBox::Refill);
    connect(&data_, &FieldLink::changed, this, &DBLookupComboBox::ShowDataValue);
    connect(this, &QComboBox::activated, this, &DBLookupComboBox::Chosen);
}

void DBLookupComboBox::SetListView(store::View* view) {
    list_.SetView(view);
    Refill();
}

void DBLookupComboBox::SetListField(const QString& field) {
    listField_ = field;
    Refill();
}

void DBLookupComboBox::SetKeyField(const QString& field) {
    keyField_ = field;
    Refill();
}

void DBLookupComboBox::SetDataField(store::View* view, const QString& field) {
    data_.Bind(view, field);
}

void DBLookupComboBox::Refill() {
    const QVariant kept = KeyValue();
    {
        const QSignalBlocker block(this);
        RefillRows(kept);
    }
    // A selected row that is gone leaves the choice empty, and those who
    // follow the choice hear of it. A row that stays moves nothing.
    if (!IsEmpty(kept) && currentIndex() < 0) emit currentIndexChanged(-1);
}

void DBLookupComboBox::RefillRows(const QVariant& kept) {
    clear();
    store::View* lv = list_.View();
    const store::Field* name = lv == nullptr ? nullptr : lv->FindField(listField_);
    const store::Field* key = lv == nullptr ? nullptr : lv->FindField(keyField_);
    // The rows come with their data fields only.
    if (name != nullptr && key != nullptr && name->dataIndex >= 0 && key->dataIndex >= 0) {
        const auto ni = static_cast<size_t>(name->dataIndex);
        const auto ki = static_cast<size_t>(key->dataIndex);
        lv->ForEachRow([&](const store::Values& row) {
            if (ni < row.size() && ki < row.size()) addItem(row[ni].toString(), row[ki]);
        });
    }
    if (data_.View() != nullptr)
        ShowDataValue();
    else
        SetKeyValue(kept);
}

QVariant DBLookupComboBox::KeyValue() const {
    return currentIndex() < 0 ? QVariant() : currentData();
}

void DBLookupComboBox::SetKeyValue(const QVariant& key) {
    int found = -1;
    if (!IsEmpty(key)) {
        const QString wanted = key.toString();
        for (int i = 0; i < count() && found < 0; ++i)
            if (itemData(i).toString() == wanted) found = i;
    }
    setCurrentIndex(found);
}

void DBLookupComboBox::ClearKeyValue() {
    setCurrentIndex(-1);
}

void DBLookupComboBox::ShowDataValue() {
    if (data_.View() != nullptr) SetKeyValue(data_.Value());
}

void DBLookupComboBox::Chosen(int index) {
    if (data_.View() == nullptr) return;
    if (!data_.Write(itemData(index))) ShowDataValue();
}

}  // namespace kordex::widgets
