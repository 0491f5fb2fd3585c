#include "PageColumns.h"

namespace kordex::store {

namespace columns {

namespace {
PageColumn C(const char* field, const char* title) {
    return {QString::fromLatin1(field), QString::fromUtf8(title)};
}
}  // namespace

const PageColumns& Users() {
    static const PageColumns c = {C("Key", "Номер ключа"), C("Name", "Имя пользователя"),
                                  C("Passwrd", "Пароль")};
    return c;
}

const PageColumns& Persons() {
    static const PageColumns c = {C("Key", "Номер ключа"), C("Name", "Имя пользователя")};
    return c;
}

const PageColumns& Points() {
    static const PageColumns c = {C("Key", "Номер ключа"), C("Name", "Название точки обхода")};
    return c;
}

const PageColumns& Pathes() {
    static const PageColumns c = {C("Name", "Название маршрута обхода")};
    return c;
}

const PageColumns& PPathes() {
    static const PageColumns c = {C("LPoint", "Точки обхода выбранного маршрута")};
    return c;
}

const PageColumns& PrBook() {
    static const PageColumns c = {C("Key", "Номер ключа"), C("Name", "Название происшествия")};
    return c;
}

const PageColumns& KDs() {
    static const PageColumns c = {C("Key", "ID Kordex'а"), C("Name", "Название Kordex'а")};
    return c;
}

const PageColumns& PrEvents() {
    static const PageColumns c = {C("Date", "Дата и время"), C("LReg", "Регистратор"),
                                  C("Name", "Событие")};
    return c;
}

const PageColumns& Rounds() {
    static const PageColumns c = {C("DateReg", "Регистрация"),   C("LKD", "Kordex"),
                                  C("LRegister", "Регистратор"), C("LGuard", "Охранник"),
                                  C("LPath", "Маршрут"),         C("CMode", "Режим обхода точек")};
    return c;
}

const PageColumns& Touches() {
    static const PageColumns c = {C("Date", "Дата и время"), C("CPoint", "Событие"),
                                  C("CComment", "Комментарий")};
    return c;
}

const PageColumns& Missed() {
    static const PageColumns c = {C("LPoint", "Пропущенные точки")};
    return c;
}

}  // namespace columns

const std::vector<ExportPage>& ExportPages() {
    static const std::vector<ExportPage> pages = {
        {QStringLiteral("users"), TDM::IdTableUsers, columns::Users()},
        {QStringLiteral("registrars"), TDM::IdTableRegisters, columns::Persons()},
        {QStringLiteral("guards"), TDM::IdTableGuards, columns::Persons()},
        {QStringLiteral("points"), TDM::IdTablePoints, columns::Points()},
        {QStringLiteral("prbook"), TDM::IdTablePrBook, columns::PrBook()},
        {QStringLiteral("kds"), TDM::IdTableKDs, columns::KDs()},
        {QStringLiteral("pathes"), TDM::IdTablePathes, columns::Pathes()},
        {QStringLiteral("journal"), TDM::IdTablePrEvents, columns::PrEvents()},
        {QStringLiteral("rounds"), TDM::IdTableKDEvents, columns::Rounds()},
        {QStringLiteral("touches"), TDM::IdTableKDREvents, columns::Touches(), true},
        {QStringLiteral("archive-rounds"), TDM::IdTableKDAEvents, columns::Rounds()},
        {QStringLiteral("archive-touches"), TDM::IdTableKDRAEvents, columns::Touches(), true},
    };
    return pages;
}

const ExportPage* FindExportPage(const QString& name) {
    for (const ExportPage& p : ExportPages())
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace kordex::store
