#pragma once

#include <cstdint>

#include "Settings.h"
#include "store/DataModule.h"

namespace kordex::filters {

// How often the build lets the window process its messages.
inline constexpr uint32_t BuildPumpIntervalMs = 5;

// Builds the complex ID list of the settings over every touch of the table
// behind touches (a cursor "Temp" of its own over that table in its database,
// in DateReg, Date, ID order), under the status window "Формирование данных":
// from a touch of the chosen user's key on, every touch is taken up to (not
// including) the next touch of another user's key. Keys of nobody (points,
// incidents, unknown keys) never switch. The list is emptied first.
//
// True when the walk reached the end. False when the operator closed the
// status window (no message; the list keeps what was gathered) or when
// reading failed ("Ошибка при формировании данных для фильтра !" with the
// cause, caption "Ошибка", warning icon). The status window is closed and the
// cursor freed on every way out.
bool BuildComplexFilter(store::TDM& dm, TouchFilterSettings& settings, store::View& touches);

}  // namespace kordex::filters
