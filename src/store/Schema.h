#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>
#include <vector>

namespace kordex::store {

// Field types of the tables. Date and Time occur only as calculated fields.
enum class FieldType { String, Boolean, SmallInt, Integer, AutoInc, DateTime, Date, Time };

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;  // characters, for strings
};

struct IndexDef {
    QString name;
    QStringList fields;
    bool primary = false;          // unique
    bool caseInsensitive = false;  // order by name ignoring letter case
};

// A physical table: one file of its database directory, named as here ("Users.DB").
struct TableDef {
    QString file;
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;

    // The table's name inside its file: the file name without extension.
    QString SqlName() const { return file.section(QLatin1Char('.'), 0, 0); }
    int FieldIndex(const QString& name) const;
    const IndexDef* Primary() const;
    const IndexDef* Index(const QString& name) const;
    // The autoinc field, or -1.
    int AutoIncField() const;
};

// An engine or store failure, with the text the operator sees. The file is
// the table file the failure concerns, when there is one.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message, const QString& file = {}, int code = 0);
    // The engine's text; with a file, followed by a line naming it.
    const QString& Message() const { return message_; }
    // One line: what went wrong and in which file, for the second line of an
    // operation's failure message.
    QString Cause() const;
    const QString& File() const { return file_; }
    // The SQLite result code behind the failure, 0 when it is none of SQLite's.
    int Code() const { return code_; }

private:
    QString message_, text_, file_;
    int code_ = 0;
};

// An operation's failure message with the cause of the failure as its second
// line ("\r" splits the lines of a message box).
QString WithCause(const QString& message, const std::exception& e);

// A silent abort: a rule has shown its own message (or none) and stops the
// operation; whoever started the operation catches it and does nothing more.
struct Abort {};

}  // namespace kordex::store
