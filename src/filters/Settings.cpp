#include "Settings.h"

#include "link/DateTime.h"

namespace kordex::filters {

double Today(shell::Clock& clock) {
    return link::DateTime::FromDate(clock.Now().date()).Days();
}

IntervalSettings IntervalSettings::Defaults(shell::Clock& clock) {
    IntervalSettings s;
    s.dateFrom = s.dateTo = Today(clock);
    return s;
}

bool IntervalAccepted(const IntervalSettings& s) {
    return s.noInterval || !(s.From() > s.To());
}

QString IntervalKindCaption(const IntervalSettings& s) {
    return s.kind == IntervalKind::PerDay ? text::PerDay : text::Continuous;
}

bool RoundFilterSettings::RoundMatches(const RoundValues& r) const {
    if (collector && r.collector != *collector) return false;
    if (registrar && r.registrar != *registrar) return false;
    if (guard && r.guard != *guard) return false;
    if (path && r.path != path) return false;
    return true;
}

ProgramEventFilterSettings ProgramEventFilterSettings::Defaults(shell::Clock& clock) {
    ProgramEventFilterSettings s;
    s.interval = IntervalSettings::Defaults(clock);
    return s;
}

RoundFilterSettings RoundFilterSettings::Defaults(shell::Clock& clock) {
    RoundFilterSettings s;
    s.interval = IntervalSettings::Defaults(clock);
    return s;
}

TouchFilterSettings TouchFilterSettings::Defaults(shell::Clock& clock) {
    TouchFilterSettings s;
    s.interval = IntervalSettings::Defaults(clock);
    return s;
}

}  // namespace kordex::filters
