#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "widgets/GridLook.h"

class QAction;
class QCheckBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kordex::widgets {
class DBGrid;
}  // namespace kordex::widgets

namespace kordex::app {

inline const QString TableColsCaption = QStringLiteral("Параметры таблицы");

// The colour dialog, starting from a colour: the colour chosen, or nothing.
using ColorPicker = std::function<std::optional<widgets::ColorValue>(widgets::ColorValue start)>;
// The font dialog, starting from a font: the font chosen, or nothing.
using FontPicker = std::function<std::optional<widgets::GridFont>(const widgets::GridFont& start)>;

// The platform's colour dialog.
std::optional<widgets::ColorValue> PickColor(widgets::ColorValue start, QWidget* parent);
// The platform's font dialog, with a button for the font's colour.
std::optional<widgets::GridFont> PickFont(const widgets::GridFont& start, QWidget* parent);

// The column dialog ("FormTableCols", "Параметры таблицы"): the grid lines and
// background of a grid, and for each of its columns whether it shows and the
// colours and fonts of its cells and of its title. The list holds working
// copies; nothing reaches the grid before "&Применить".
class TFormTableCols : public QDialog {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 258;
    static constexpr int DesignHeight = 333;
    static constexpr int RowHeight = 16;

    // Where a press in a row of the list lands, by its x: the column's colour
    // swatch, its caption, the title's swatch, the title's caption.
    enum class Zone { None, ColColor, ColFont, TColor, TFont };
    static Zone ZoneAt(int x, int listWidth, int rowHeight = RowHeight);

    // The working copies of one row.
    struct Row {
        QString field;
        QString title;
        widgets::ColorValue color = widgets::ClWindow;
        widgets::GridFont font;
        widgets::ColorValue titleColor = widgets::ClBtnFace;
        widgets::GridFont titleFont;
    };

    explicit TFormTableCols(QWidget* parent = nullptr);
    ~TFormTableCols() override;

    // Fills the dialog from a grid and shows it modally.
    void Execute(widgets::DBGrid& grid);
    // "&Применить": the grid takes what the dialog shows.
    void ButtonOkClick();
    // The background colour ("..." and a double click on the swatch).
    void ButtonColorClick();
    // The commands of the list's menu, on the selected row.
    void ActionColColorExecute();
    void ActionColFontExecute();
    void ActionColTColorExecute();
    void ActionColTFontExecute();
    // A double click in the list: the command of the zone last pressed.
    void CheckListBoxColsDblClick();

    const std::vector<Row>& Rows() const { return rows_; }
    widgets::ColorValue SwatchColor() const { return swatch_; }
    Zone PressedZone() const { return zone_; }
    widgets::DBGrid* EditedGrid() const { return grid_; }

    QCheckBox* CheckBoxGrid() const { return checkGrid_; }
    QFrame* PanelColor() const { return panelColor_; }
    QPushButton* ButtonColor() const { return buttonColor_; }
    QLineEdit* EditName() const { return editName_; }
    QListWidget* CheckListBoxCols() const { return list_; }
    QPushButton* ButtonOk() const { return buttonOk_; }
    QPushButton* ButtonClose() const { return buttonClose_; }
    QAction* Action(const QString& name) const;

    // The pickers; the platform's dialogs unless set (tests answer here).
    ColorPicker pickColor;
    FontPicker pickFont;
    // Runs the dialog modally; QDialog::exec unless set.
    std::function<int(TFormTableCols&)> exec;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetSwatch(widgets::ColorValue color);
    Row* SelectedRow();
    std::optional<widgets::ColorValue> Color(widgets::ColorValue start);
    std::optional<widgets::GridFont> Font(const widgets::GridFont& start);

    widgets::DBGrid* grid_ = nullptr;
    std::vector<Row> rows_;
    widgets::ColorValue swatch_ = widgets::ClWindow;
    Zone zone_ = Zone::None;

    QCheckBox* checkGrid_ = nullptr;
    QFrame* panelColor_ = nullptr;
    QPushButton* buttonColor_ = nullptr;
    QLineEdit* editName_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* buttonOk_ = nullptr;
    QPushButton* buttonClose_ = nullptr;
    std::vector<QAction*> actions_;
};

}  // namespace kordex::app
