#include "Rights.h"

#include "store/DataModule.h"

namespace kordex::app {

RegistrarRights CurrentRights(store::TDM& dm) {
    RegistrarRights r;
    store::View& cur = dm.TableCurRegister();
    if (!cur.IsOpen() || !store::TDM::HasRows(cur)) return r;

    const auto flag = [&](const char* field) {
        const QVariant v = cur.Value(QString::fromLatin1(field));
        return v.isValid() && !v.isNull() && v.toBool();
    };
    r.registrar = true;
    r.IsAdmin = flag("IsAdmin");
    r.IsTableEdit = flag("IsTableEdit");
    r.IsPoints = flag("IsPoints");
    r.IsPath = flag("IsPath");
    r.IsPrBook = flag("IsPrBook");
    r.IsKDs = flag("IsKDs");
    r.IsWrite = flag("IsWrite");
    r.IsRead = flag("IsRead");
    r.IsPrEvs = flag("IsPrEvs");
    r.IsKDEvs = flag("IsKDEvs");
    r.IsKDAEvs = flag("IsKDAEvs");
    r.IsTime = flag("IsTime");
    r.full = r.IsAdmin;
    return r;
}

PageMapping MapPages(const RegistrarRights& r, bool portChosen) {
    PageMapping m;
    // Every other page follows the Users page, which only full rights show.
    m.users = r.full;
    m.round = m.users || r.IsPoints || r.IsPath || r.IsPrBook;
    m.points = m.users || r.IsPoints;
    m.pathes = m.users || r.IsPath;
    m.prBook = m.users || r.IsPrBook;
    m.kds = m.users || r.IsKDs;
    m.read = m.users || r.IsRead;
    m.write = m.users || r.IsWrite;
    m.events = m.users || r.IsPrEvs || r.IsKDEvs;
    m.prEvents = m.users || r.IsPrEvs;
    m.kdEvents = m.users || r.IsKDEvs;
    m.kdDEvents = m.kdEvents;
    m.correctTime = m.users || r.IsTime;
    m.correctDate = m.correctTime;
    m.aEvents = m.users || r.IsKDAEvs;
    m.dRead = portChosen && m.read;
    m.dWrite = portChosen && m.write;
    m.archive = m.aEvents;
    m.gridsWritable = !r.registrar || r.IsAdmin || r.IsTableEdit;
    return m;
}

std::vector<std::pair<QString, bool>> MappedComponents(const PageMapping& m) {
    return {
        {QStringLiteral("TabSheetUsers"), m.users},
        {QStringLiteral("TabSheetRound"), m.round},
        {QStringLiteral("TabSheetPoints"), m.points},
        {QStringLiteral("TabSheetPathes"), m.pathes},
        {QStringLiteral("TabSheetPrBook"), m.prBook},
        {QStringLiteral("TabSheetKDs"), m.kds},
        {QStringLiteral("TabSheetRead"), m.read},
        {QStringLiteral("TabSheetWrite"), m.write},
        {QStringLiteral("TabSheetEvents"), m.events},
        {QStringLiteral("TabSheetPrEvents"), m.prEvents},
        {QStringLiteral("TabSheetKDEvents"), m.kdEvents},
        {QStringLiteral("TabSheetKDDEvents"), m.kdDEvents},
        {QStringLiteral("ButtonCorrectTime"), m.correctTime},
        {QStringLiteral("ButtonCorrectDate"), m.correctDate},
        {QStringLiteral("TabSheetAEvents"), m.aEvents},
        {QStringLiteral("ActionDRead"), m.dRead},
        {QStringLiteral("ActionDWrite"), m.dWrite},
        {QStringLiteral("ActionLoadArchive"), m.archive},
        {QStringLiteral("ActionSaveArchive"), m.archive},
        {QStringLiteral("ActionAddArchive"), m.archive},
        {QStringLiteral("ActionAddCurArchive"), m.archive},
    };
}

}  // namespace kordex::app
