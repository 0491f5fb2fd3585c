#pragma once

#include <QString>
#include <vector>

#include "DataModule.h"

namespace kordex::store {

// One visible column of a page's grid: the view's field and its title.
struct PageColumn {
    QString field;
    QString title;
};
using PageColumns = std::vector<PageColumn>;

// The columns of the program's grids, shared by the window and by the export
// of the command line, so that both show a page alike.
namespace columns {
const PageColumns& Users();     // DBGridUsers
const PageColumns& Persons();   // the registrar and guard lists: key and name
const PageColumns& Points();    // DBGridPoints
const PageColumns& Pathes();    // DBGridPathes
const PageColumns& PPathes();   // DBGridPPathes
const PageColumns& PrBook();    // DBGridPrBook
const PageColumns& KDs();       // DBGridKDs
const PageColumns& PrEvents();  // DBGridPrEvents
const PageColumns& Rounds();    // DBGridKDEvents, DBGridKDAEvents
// DBGridKDREvents, DBGridKDREvs, DBGridKDDEvs, DBGridKDRAEvs, DBGridKDADEvs
const PageColumns& Touches();
const PageColumns& Missed();  // DBGridKDLEvents, DBGridKDLEvs, DBGridKDLAEvs
}  // namespace columns

// A page as the export writes it: its name on the command line, the view
// whose rows it shows and the columns of its grid.
struct ExportPage {
    QString name;
    TDM::ViewId view;
    const PageColumns& columns;
    // The touches listed by date and time: every touch of the database,
    // not those of the current round.
    bool dateMode = false;
};

// users, registrars, guards, points, prbook, kds, pathes, journal, rounds,
// touches, archive-rounds, archive-touches.
const std::vector<ExportPage>& ExportPages();
// Null for a name that is none of them.
const ExportPage* FindExportPage(const QString& name);

}  // namespace kordex::store
