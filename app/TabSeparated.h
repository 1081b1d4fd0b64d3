#pragma once

#include <QStringList>

#include "text/DisplayControls.h"

// The line-per-record output of the commands: fields joined by tabs, with every display control
// made a space, so that each record stays one line of fields and text from feeds cannot rewrite
// what the user sees.
namespace TabSeparated {

inline QString line(const QStringList &fields)
{
    QStringList cleaned;
    cleaned.reserve(fields.size());
    for (QString field : fields) {
        for (QChar &c : field) {
            if (DisplayControls::needsBlanking(c)) {
                c = QLatin1Char(' ');
            }
        }
        cleaned.append(field);
    }
    return cleaned.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace TabSeparated
