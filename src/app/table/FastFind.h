#pragma once

#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

#include "store/DataModule.h"
#include "widgets/DBGrid.h"

class QLabel;
class QKeyEvent;

namespace kordex::app {

// The fast-find panel: a small raised panel over the current column of a grid
// that searches the column for the typed text. Every character typed extends
// the text; the view moves to the first row at or after the current one (round
// to the start) whose cell begins with it, in any case, and the panel then
// shows the letters as written in that row. A character that no row matches
// beeps and is not taken. F3 (Shift+F3) finds the next row, Alt+F3 the previous
// one; Enter hands an Enter to the grid and closes; Escape or leaving the
// panel closes it. The panel lives only while it has the focus and deletes
// itself when it closes; at most one is open at a time.
class TPanelFFind : public QFrame {
    Q_OBJECT

public:
    enum class Direction { Forwards, Backwards };

    // dm parks the view's position in its bookmark slots while a search runs.
    explicit TPanelFFind(store::TDM& dm);
    ~TPanelFFind() override;
    TPanelFFind(const TPanelFFind&) = delete;
    TPanelFFind& operator=(const TPanelFFind&) = delete;

    // Opens a panel over the grid's current column with the first character
    // typed, closing any other open panel first. The panel belongs to the
    // grid's window. Null when the grid shows no view.
    static TPanelFFind* OpenOver(store::TDM& dm, widgets::DBGrid* grid, QChar first,
                                 const std::function<void()>& beep = {},
                                 const std::function<void(widgets::DBGrid*)>& gridExit = {});
    // The open panel, or null.
    static TPanelFFind* Current();
    // Closes the open panel, if there is one; the focus goes back to its grid.
    // Every command and every page change calls this first.
    static void CloseFastFind();

    // Places the panel, takes the focus and handles the first character.
    void Open(widgets::DBGrid* grid, QChar first);
    // Handles one typed character as the panel does.
    void KeyPress(QChar ch);
    // Closes the panel, once: the grid gets its options back and, unless the
    // focus went to another control, the focus as well.
    void Exit();

    widgets::DBGrid* Grid() const { return grid_; }
    QString ShownText() const { return shown_; }
    QString SearchText() const { return search_; }
    Direction SearchDirection() const { return direction_; }
    bool Found() const { return found_; }
    bool Exited() const { return exited_; }

    // Instead of the system beep (tests count them).
    std::function<void()> beep;
    // The grid's exit handling, run when the focus leaves the panel for
    // another control than the grid.
    std::function<void(widgets::DBGrid*)> gridExit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Place();
    void Search();
    void Repeat(Direction direction);
    bool Matches(store::View& view, int fieldIndex, int position, QString& written) const;
    void Beep();
    void ShowText();

    store::TDM& dm_;
    QPointer<widgets::DBGrid> grid_;
    QLabel* label_ = nullptr;
    bool savedAlwaysShowSelection_ = false;
    QString shown_;   // as it reads in the found row
    QString search_;  // upper case
    Direction direction_ = Direction::Forwards;
    std::optional<int> startRow_;  // where the running search began (1-based)
    bool found_ = false;
    bool exited_ = false;
};

// The keyboard handling shared by the main window's grids: the key-chord
// counter, the hexadecimal key column of the key grids (tags 0-3), Enter and
// the start of the fast find. A grid's kind is its dynamic property "tag".
//
// The key-chord counter is 0 while no key is held, 1 after one key (or keys
// with Shift alone) went down and 2 once a second key went down while another
// key than Shift was held; any key released or a grid entered resets it. Only
// a character typed with the counter at most 1 opens the fast find, so Ctrl
// or Alt chords never do.
class GridKeys : public QObject {
    Q_OBJECT

public:
    explicit GridKeys(store::TDM& dm, QObject* parent = nullptr);

    // Takes over the grid's key hooks and hears it being entered.
    void Attach(widgets::DBGrid* grid);

    int ChordCounter() const { return counter_; }

    // The grid events, as Attach wires them; true consumes the key.
    bool KeyDown(widgets::DBGrid* grid, QKeyEvent* event);
    void KeyUp();
    void GridEntered();
    // A typed character: the key-grid filter, then the common handling.
    bool KeyPress(widgets::DBGrid* grid, QKeyEvent* event);
    bool CommonKeyPress(widgets::DBGrid* grid, QChar ch);

    // The character a key column takes in place of one typed: a-z as capitals,
    // nothing for anything above "F"; other characters as they are.
    static std::optional<QChar> KeyColumnChar(QChar ch);
    // Whether the grid's tag makes it a key grid (users, points, incidents,
    // collectors).
    static bool IsKeyGrid(const widgets::DBGrid* grid);

    // Enter in a grid whose view is being edited: the post command.
    std::function<void(widgets::DBGrid*)> postRow;
    // Enter in a browsing grid: the new/edit command with the grid as sender.
    std::function<void(widgets::DBGrid*)> newOrEditRow;
    // The grid becomes the current grid (a key went down or was typed in it).
    std::function<void(widgets::DBGrid*)> currentGrid;
    // Handed to the panels opened: see TPanelFFind.
    std::function<void()> beep;
    std::function<void(widgets::DBGrid*)> gridExit;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    store::TDM& dm_;
    int counter_ = 0;
    bool passing_ = false;  // a filtered character on its way to the grid
};

}  // namespace kordex::app
