#include "Pages.h"

#include <QStringList>

namespace kordex::archive {

QString QtDialogFilter(const QString& filter) {
    // Every other part is a mask, which the text already shows in parentheses.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList texts;
    for (int i = 0; i < parts.size(); i += 2)
        texts << parts[i];
    return texts.join(QStringLiteral(";;"));
}

}  // namespace kordex::archive
