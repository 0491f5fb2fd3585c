#include "Pages.h"

#include "store/View.h"

namespace kordex::collector {

std::optional<double> PlainPages::ChooseRegistrationTime(store::View& entries) {
    if (!chooseRegistrationTime || entries.IsEmpty()) return std::nullopt;
    return entries.Value(QStringLiteral("Date")).toDouble();
}

}  // namespace kordex::collector
