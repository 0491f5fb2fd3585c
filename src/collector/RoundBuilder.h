#pragma once

#include <QString>

namespace kordex::shell {
class StatusWindow;
}  // namespace kordex::shell

namespace kordex::store {
class TDM;
}  // namespace kordex::store

namespace kordex::collector {

namespace text {
inline const QString BuildCaption = QStringLiteral("Обработка данных");
inline const QString BuildStatus =
    QStringLiteral("Идет обработка прочитанных данных из Kordex'а...");
}  // namespace text

// Type of a touch that reached a point of its path; the other judgements use
// the touch kinds TouchSuperfluous (6), TouchOutOfOrder (7) and TouchOffPath (8).
constexpr int TypeReached = 0;

// Judges the touches of the pending round against the round's path in its
// path mode: marks each check-point touch with its Type (posted into the
// touch row), fills the missed-point rows (one per path point, deleted when
// the point is reached) and sets N, FromN, UnnecessaryN, Incidents and
// Duration on the round row, which stays unposted.
//
// The round is the pending row of TableKDEvents (insert or edit state); the
// touches are the range of TableKDREvents, the missed points that of
// TableKDLEvents. A round without path has an empty PathID; otherwise the
// points are read from TablePPathes after TablePathes is put on PathID.
//
// Shows the status window ("Обработка данных") and leaves it showing.
// Returns true when done, false as soon as the operator has closed the
// status window; the caller then discards the round (DiscardInsert).
//
// The caller's clean-up, on every way out (done, cancelled or thrown):
// - TableKDREvents and TableKDLEvents have their controls disabled here
//   first of all; the caller calls EnableControls on both (an extra call on
//   a view that is not disabled does nothing);
// - the caller closes the status window.
//
// The building runs in one transaction of DatabaseE. When no transaction is
// open on entry it is the building's own: committed when done, rolled back
// when cancelled or on an error (the two views are then read again, so they
// show what the tables hold). Inside a transaction of the caller it only
// nests: its changes stay in the caller's transaction on every way out.
// Both views are left on their first row when done.
bool BuildRound(store::TDM& dm, shell::StatusWindow& status);

}  // namespace kordex::collector
