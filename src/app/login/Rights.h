#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace kordex::store {
class TDM;
}  // namespace kordex::store

namespace kordex::app {

// The right flags of the logged-in registrar, as stored with his row of Users.DB.
struct RegistrarRights {
    // A registrar row is current (someone has logged in as a registrar).
    bool registrar = false;
    bool IsAdmin = false;
    bool IsTableEdit = false;
    bool IsPoints = false;
    bool IsPath = false;
    bool IsPrBook = false;
    bool IsKDs = false;
    bool IsWrite = false;
    bool IsRead = false;
    bool IsPrEvs = false;
    bool IsKDEvs = false;
    bool IsKDAEvs = false;
    bool IsTime = false;
    // Full rights: no registrar exists, or he is an administrator.
    bool full = true;
};

// The rights of the current row of TableCurRegister. A closed view or one
// without rows gives full rights (nobody to restrict); an empty flag is false.
RegistrarRights CurrentRights(store::TDM& dm);

// What a login shows and enables: one member per page, button or command
// group the rights govern.
struct PageMapping {
    bool users = false;        // TabSheetUsers
    bool round = false;        // TabSheetRound
    bool points = false;       // TabSheetPoints
    bool pathes = false;       // TabSheetPathes
    bool prBook = false;       // TabSheetPrBook
    bool kds = false;          // TabSheetKDs
    bool read = false;         // TabSheetRead
    bool write = false;        // TabSheetWrite
    bool events = false;       // TabSheetEvents
    bool prEvents = false;     // TabSheetPrEvents
    bool kdEvents = false;     // TabSheetKDEvents
    bool kdDEvents = false;    // TabSheetKDDEvents
    bool correctTime = false;  // ButtonCorrectTime (visible)
    bool correctDate = false;  // ButtonCorrectDate (visible)
    bool aEvents = false;      // TabSheetAEvents
    bool dRead = false;        // ActionDRead (enabled)
    bool dWrite = false;       // ActionDWrite (enabled)
    bool archive = false;      // the four archive actions (enabled)
    // The grids of the reference sheets (Users, Points, Pathes, PrBook, KDs)
    // may be edited.
    bool gridsWritable = false;
};

// The pages and commands a login opens for these rights; portChosen: a
// reader port is chosen, without which nothing can be read or written.
PageMapping MapPages(const RegistrarRights& rights, bool portChosen);

// The mapping as component names with their state, in the order a login
// applies them: the pages and buttons (shown), then the actions (enabled).
std::vector<std::pair<QString, bool>> MappedComponents(const PageMapping& mapping);

}  // namespace kordex::app
