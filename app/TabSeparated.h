#pragma once

#include <QStringList>

// The line-per-record output of the commands: fields joined by tabs, with every tab and
// line break inside a field made a space so that each record stays one line of fields.
namespace TabSeparated {

inline QString line(const QStringList &fields)
{
    QStringList cleaned;
    cleaned.reserve(fields.size());
    for (QString field : fields) {
        for (QChar &c : field) {
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                c = QLatin1Char(' ');
            }
        }
        cleaned.append(field);
    }
    return cleaned.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace TabSeparated
