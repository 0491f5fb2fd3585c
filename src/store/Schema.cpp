#include "Schema.h"

namespace kordex::store {

int TableDef::FieldIndex(const QString& name) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

const IndexDef* TableDef::Primary() const {
    for (const auto& ix : indexes)
        if (ix.primary) return &ix;
    return nullptr;
}

const IndexDef* TableDef::Index(const QString& name) const {
    for (const auto& ix : indexes)
        if (ix.name.compare(name, Qt::CaseInsensitive) == 0) return &ix;
    return nullptr;
}

int TableDef::AutoIncField() const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].type == FieldType::AutoInc) return static_cast<int>(i);
    return -1;
}

}  // namespace kordex::store
