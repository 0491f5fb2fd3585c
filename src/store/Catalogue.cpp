#include "Catalogue.h"

namespace kordex::store {

namespace {

FieldDef Str(const char* name, int size) {
    return {QString::fromLatin1(name), FieldType::String, size};
}
FieldDef Bool(const char* name) {
    return {QString::fromLatin1(name), FieldType::Boolean, 0};
}
FieldDef Small(const char* name) {
    return {QString::fromLatin1(name), FieldType::SmallInt, 0};
}
FieldDef Int(const char* name) {
    return {QString::fromLatin1(name), FieldType::Integer, 0};
}
FieldDef Auto(const char* name) {
    return {QString::fromLatin1(name), FieldType::AutoInc, 0};
}
FieldDef Stamp(const char* name) {
    return {QString::fromLatin1(name), FieldType::DateTime, 0};
}

struct TableShape {
    QString file;
    std::vector<FieldDef> fields;
    QStringList primary;
    bool names = false;  // secondary index Names on Name
};

const std::vector<TableShape>& Shapes() {
    static const std::vector<TableShape> shapes = {
        {FileUsers,
         {Str("Key", 16), Str("Name", 50), Str("Passwrd", 32), Bool("IsRegister"), Bool("IsAdmin"),
          Bool("IsTableEdit"), Bool("IsPoints"), Bool("IsPath"), Bool("IsPrBook"), Bool("IsRead"),
          Bool("IsWrite"), Bool("IsTime"), Bool("IsPrEvs"), Bool("IsKDEvs"), Bool("IsKDs"),
          Bool("IsKDAEvs")},
         {"Key"},
         true},
        {FileKeys,
         {Str("Key", 16), Str("Name", 50), Bool("IsPrBook"), Bool("IsKD")},
         {"Key"},
         true},
        {FilePathes, {Auto("ID"), Str("Name", 50)}, {"ID"}, true},
        {FilePPathes, {Int("PathID"), Auto("ID"), Str("Key", 16)}, {"PathID", "ID"}, false},
        {FilePrEvents,
         {Stamp("Date"), Auto("ID"), Str("Key", 16), Str("Name", 50)},
         {"Date", "ID"},
         false},
        {FileKDEvents,
         {Stamp("DateReg"), Str("IDKD", 16), Str("KeyReg", 16), Str("KeyGuard", 16), Int("PathID"),
          Small("Mode"), Str("Memo", 32), Small("N"), Small("FromN"), Small("UnnecessaryN"),
          Small("Incidents"), Stamp("Duration")},
         {"DateReg"},
         false},
        {FileKDREvs,
         {Stamp("DateReg"), Stamp("Date"), Auto("ID"), Str("Key", 16), Small("Type")},
         {"DateReg", "Date", "ID"},
         false},
        {FileKDLEvs, {Stamp("DateReg"), Auto("ID"), Str("Key", 16)}, {"DateReg", "ID"}, false},
    };
    return shapes;
}

AddedFieldDecl Lookup(const char* name, const char* keyField, const char* lookupView,
                      const char* lookupKeyField) {
    AddedFieldDecl f;
    f.name = QString::fromLatin1(name);
    f.kind = FieldKind::Lookup;
    f.type = FieldType::String;
    f.size = 50;
    f.keyField = QString::fromLatin1(keyField);
    f.lookupView = QString::fromLatin1(lookupView);
    f.lookupKeyField = QString::fromLatin1(lookupKeyField);
    f.resultField = QStringLiteral("Name");
    return f;
}

AddedFieldDecl Calc(const char* name, FieldType type, int size = 0) {
    AddedFieldDecl f;
    f.name = QString::fromLatin1(name);
    f.kind = FieldKind::Calculated;
    f.type = type;
    f.size = size;
    return f;
}

const QString StampFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss");
const QString MinuteFormat = QStringLiteral("dd.mm.yyyy hh:mm");
const QString DateFormat = QStringLiteral("dd.mm.yyyy");

std::vector<ViewDecl> BuildViews() {
    const QString none;
    // name, database, file, filter, by name
    auto view = [](const char* name, const QString& db, const QString& file, const char* filter,
                   bool byName) {
        ViewDecl v;
        v.name = QString::fromLatin1(name);
        v.database = db;
        v.file = file;
        v.filter = QString::fromLatin1(filter);
        v.byName = byName;
        v.dataSource = QStringLiteral("DataSource") + v.name.mid(5);  // "Table" + name
        return v;
    };
    auto detail = [](ViewDecl v, const char* master, const char* masterField,
                     const char* detailField) {
        v.master = QString::fromLatin1(master);
        v.masterFields = {QString::fromLatin1(masterField)};
        v.detailFields = {QString::fromLatin1(detailField)};
        return v;
    };
    // Round views name DateReg as master field without a master.
    auto round = [](ViewDecl v) {
        v.masterFields = v.detailFields = {QStringLiteral("DateReg")};
        return v;
    };
    auto noSource = [](ViewDecl v) {
        v.dataSource.clear();
        return v;
    };

    std::vector<ViewDecl> views = {
        view("TableUsers", AliasData, FileUsers, "", true),
        view("TableCurRegister", AliasData, FileUsers, "IsRegister=True", true),
        view("TableRegisters", AliasData, FileUsers, "IsRegister=True", true),
        view("TableGuards", AliasData, FileUsers, "IsRegister=False", true),
        view("TablePoints", AliasData, FileKeys, "IsPrBook=False", true),
        view("TablePrBook", AliasData, FileKeys, "IsPrBook=True", true),
        view("TableKDs", AliasData, FileKeys, "IsKD=True", true),
        view("TablePathes", AliasData, FilePathes, "", true),
        detail(view("TablePPathes", AliasData, FilePPathes, "", false), "TablePathes", "ID",
               "PathID"),
        view("TablePrEvents", AliasData, FilePrEvents, "", false),
        view("TablePrEventsReg", AliasData, FilePrEvents, "", false),
        noSource(view("TableKDFEvents", AliasDataE, FileKDEvents, "", false)),
        round(view("TableKDEvents", AliasDataE, FileKDEvents, "", false)),
        detail(view("TableKDREvents", AliasDataE, FileKDREvs, "", false), "TableKDEvents",
               "DateReg", "DateReg"),
        detail(view("TableKDLEvents", AliasDataE, FileKDLEvs, "", false), "TableKDEvents",
               "DateReg", "DateReg"),
        noSource(view("TableKDAFEvents", AliasDataA, FileKDEvents, "", false)),
        round(view("TableKDAEvents", AliasDataA, FileKDEvents, "", false)),
        detail(view("TableKDRAEvents", AliasDataA, FileKDREvs, "", false), "TableKDAEvents",
               "DateReg", "DateReg"),
        detail(view("TableKDLAEvents", AliasDataA, FileKDLEvs, "", false), "TableKDAEvents",
               "DateReg", "DateReg"),
        round(view("TableKDTEvents", AliasDataT, FileKDEvents, "", false)),
        noSource(detail(view("TableKDRTEvents", AliasDataT, FileKDREvs, "", false),
                        "TableKDTEvents", "DateReg", "DateReg")),
        noSource(detail(view("TableKDLTEvents", AliasDataT, FileKDLEvs, "", false),
                        "TableKDTEvents", "DateReg", "DateReg")),
        noSource(view("MTable", none, none, "", false)),
        noSource(view("DTable", none, none, "", false)),
        noSource(view("D2Table", none, none, "", false)),
    };

    for (ViewDecl& v : views) {
        const QString& n = v.name;
        if (n == "MTable" || n == "DTable" || n == "D2Table") v.tag = 1;

        // Added fields, in their field order after the table's own.
        if (n == "TablePPathes") v.added = {Lookup("LPoint", "Key", "TablePoints", "Key")};
        if (n == "TablePrEvents")
            v.added = {Lookup("LReg", "Key", "TableUsers", "Key"), Calc("CDate", FieldType::Date),
                       Calc("CTime", FieldType::Time)};
        if (n == "TablePrEventsReg") v.added = {Lookup("LReg", "Key", "TableUsers", "Key")};
        if (n == "TableKDEvents" || n == "TableKDAEvents")
            v.added = {Lookup("LKD", "IDKD", "TableKDs", "Key"),
                       Lookup("LRegister", "KeyReg", "TableUsers", "Key"),
                       Lookup("LGuard", "KeyGuard", "TableUsers", "Key"),
                       Lookup("LPath", "PathID", "TablePathes", "ID"),
                       Calc("CMode", FieldType::String, 30),
                       Calc("CDuration", FieldType::String, 8)};
        if (n == "TableKDREvents" || n == "TableKDRAEvents")
            v.added = {Calc("CPoint", FieldType::String, 50),
                       Calc("CComment", FieldType::String, 25),
                       Calc("CTComment", FieldType::SmallInt), Calc("CDate", FieldType::Date),
                       Calc("CTime", FieldType::Time)};
        if (n == "TableKDLEvents" || n == "TableKDLAEvents")
            v.added = {Lookup("LPoint", "Key", "TablePoints", "Key")};

        // Display. The registrar view and the scratch views set no widths.
        if (n == "TableRegisters" || v.database == AliasDataT || v.file.isEmpty()) continue;
        const TableDef def = CatalogueTable(v.file, n);
        auto show = [&](const char* field, int width, const QString& format = {}) {
            v.display.push_back({QString::fromLatin1(field), width, format});
        };
        if (def.FieldIndex("Key") >= 0) show("Key", 20);
        if (v.file == FileUsers || v.file == FileKeys || v.file == FilePathes ||
            v.file == FilePrEvents)
            show("Name", 30);
        if (v.file == FileUsers) show("Passwrd", 16);
        if (n == "TablePrEvents") show("Date", 19, StampFormat);
        if (n == "TablePrEventsReg") show("Date", 0, StampFormat);
        if (n == "TableKDEvents" || n == "TableKDAEvents") show("DateReg", 19, StampFormat);
        if (n == "TableKDREvents") show("DateReg", 18, StampFormat);
        if (n == "TableKDRAEvents") show("DateReg", 0, StampFormat);
        if (n == "TableKDREvents" || n == "TableKDRAEvents") show("Date", 17, MinuteFormat);
        for (const AddedFieldDecl& f : v.added) {
            if (f.name == "CDate") show("CDate", 0, DateFormat);
            if (f.name == "CTime")
                show("CTime", 0,
                     n == "TablePrEvents" ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm"));
            if (f.name == "LPoint" && n == "TablePPathes")
                show("LPoint", 35);
            else if (f.kind == FieldKind::Lookup || f.name == "CPoint" || f.name == "CMode")
                v.display.push_back({f.name, 20, {}});
            if (f.name == "CComment") show("CComment", 18);
        }
    }
    return views;
}

}  // namespace

const QStringList& CatalogueFiles() {
    static const QStringList files = [] {
        QStringList l;
        for (const TableShape& s : Shapes())
            l << s.file;
        return l;
    }();
    return files;
}

TableDef CatalogueTable(const QString& file, const QString& declaringView) {
    for (const TableShape& s : Shapes()) {
        if (s.file.compare(file, Qt::CaseInsensitive) != 0) continue;
        TableDef def;
        def.file = s.file;
        def.fields = s.fields;
        def.indexes.push_back({declaringView + QStringLiteral("Index1"), s.primary, true, false});
        if (s.names) def.indexes.push_back({NamesIndex, {QStringLiteral("Name")}, false, true});
        return def;
    }
    throw Error(QStringLiteral("Table %1 is not in the catalogue").arg(file));
}

const std::vector<ViewDecl>& CatalogueViews() {
    static const std::vector<ViewDecl> views = BuildViews();
    return views;
}

}  // namespace kordex::store
