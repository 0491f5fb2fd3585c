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

namespace {
QString Compose(const QString& message, const QString& file) {
    return file.isEmpty() ? message : message + QStringLiteral("\nTable: ") + file;
}
}  // namespace

Error::Error(const QString& message, const QString& file, int code)
    : std::runtime_error(Compose(message, file).toStdString()),
      message_(Compose(message, file)),
      text_(message),
      file_(file),
      code_(code) {}

QString Error::Cause() const {
    QString first = text_.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (first.endsWith(QLatin1Char('.'))) first.chop(1);
    return file_.isEmpty() ? first : first + QStringLiteral(" (") + file_ + QLatin1Char(')');
}

QString WithCause(const QString& message, const std::exception& e) {
    const auto* error = dynamic_cast<const Error*>(&e);
    QString cause = error != nullptr ? error->Cause() : QString::fromLocal8Bit(e.what());
    if (cause.isEmpty()) return message;
    return message + QLatin1Char('\r') + cause;
}

int TableDef::AutoIncField() const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].type == FieldType::AutoInc) return static_cast<int>(i);
    return -1;
}

}  // namespace kordex::store
