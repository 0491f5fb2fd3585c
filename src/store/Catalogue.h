#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "Schema.h"
#include "View.h"

namespace kordex::store {

// The database aliases. Data and DataE are both the directory DB.
inline const QString AliasData = QStringLiteral("Data");
inline const QString AliasDataE = QStringLiteral("DataE");
inline const QString AliasDataA = QStringLiteral("DataA");
inline const QString AliasDataT = QStringLiteral("DataT");

// The database directories under the program directory.
inline const QString DirData = QStringLiteral("DB");
inline const QString DirArchive = QStringLiteral("DB.ARH");
inline const QString DirTemp = QStringLiteral("DB.TMP");

// The physical tables.
inline const QString FileUsers = QStringLiteral("Users.DB");
inline const QString FileKeys = QStringLiteral("Keys.DB");
inline const QString FilePathes = QStringLiteral("Pathes.DB");
inline const QString FilePPathes = QStringLiteral("PPathes.DB");
inline const QString FilePrEvents = QStringLiteral("PrEvents.DB");
inline const QString FileKDEvents = QStringLiteral("KDEvents.DB");
inline const QString FileKDREvs = QStringLiteral("KDREvs.DB");
inline const QString FileKDLEvs = QStringLiteral("KDLEvs.DB");

// The secondary index of the tables ordered by name.
inline const QString NamesIndex = QStringLiteral("Names");

// Every physical table, in the order above.
const QStringList& CatalogueFiles();

// The fields and indexes of a physical table as a view declares them: the
// primary index carries the declaring view's name + "Index1" (the names mean
// nothing else). Throws Error for a file that is not in the catalogue.
TableDef CatalogueTable(const QString& file, const QString& declaringView);

// A field a view adds to its table's fields: a lookup (the resultField of the
// row of lookupView whose lookupKeyField equals keyField) or a calculated one.
struct AddedFieldDecl {
    QString name;
    FieldKind kind = FieldKind::Calculated;
    FieldType type = FieldType::String;
    int size = 0;
    QString keyField, lookupView, lookupKeyField, resultField;
};

// Column width (0: the field size) and date-time format of one field.
struct DisplayDecl {
    QString field;
    int width = 0;
    QString format;
};

// A table view of the data module, as it is declared.
struct ViewDecl {
    QString name;
    QString database;     // alias; empty for the report views (set at run time)
    QString file;         // empty for the report views
    QString filter;       // filter expression, filtering on when there is one
    bool byName = false;  // ordered by the Names index, else by the primary index
    // Master link: the view shows the rows whose detailFields equal the
    // masterFields of master's current row. The round views name their
    // DateReg with no master; it takes effect in a report copy.
    QString master;
    QStringList masterFields, detailFields;
    QString dataSource;  // empty: the view has none
    int tag = 0;         // 1: a report view, skipped when the tables are opened
    std::vector<AddedFieldDecl> added;
    std::vector<DisplayDecl> display;
};

// Every view in the data module's component order, which is the order of opening.
const std::vector<ViewDecl>& CatalogueViews();

// The master source of the report views.
inline const QString MDataSourceName = QStringLiteral("MDataSource");

}  // namespace kordex::store
