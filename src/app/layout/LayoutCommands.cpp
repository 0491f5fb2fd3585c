// The column commands of the main window: the column dialog and the default
// widths, colours and fonts of the focused grid's columns.
#include "ColumnDialog.h"
#include "app/window/MainWindow.h"
#include "widgets/DBGrid.h"

namespace kordex::app {

void TFormMain::ActionTablePropertyExecute() {
    if (widgets::DBGrid* g = FocusedGrid()) tableCols_->Execute(*g);
}

void TFormMain::ActionDefaultWidthExecute() {
    if (widgets::DBGrid* g = FocusedGrid()) g->ResetColumnWidths();
}

void TFormMain::ActionDefaultColorExecute() {
    if (widgets::DBGrid* g = FocusedGrid()) g->DefaultColumnColors();
}

void TFormMain::ActionDefaultFontExecute() {
    if (widgets::DBGrid* g = FocusedGrid()) g->DefaultColumnFonts();
}

}  // namespace kordex::app
