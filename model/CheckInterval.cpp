#include "model/CheckInterval.h"

#include <algorithm>

CheckInterval CheckInterval::inForce(const std::optional<qint64> &ownSeconds,
                                     const std::optional<qint64> &hintedSeconds, std::chrono::milliseconds global)
{
    if (ownSeconds) {
        return {std::chrono::seconds(bounded(*ownSeconds)), Source::Own};
    }
    if (hintedSeconds && std::chrono::seconds(*hintedSeconds) > global) {
        return {std::chrono::seconds(*hintedSeconds), Source::Hints};
    }
    return {global, Source::Global};
}

bool CheckInterval::fromText(const QString &text, std::optional<qint64> *seconds)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        seconds->reset();
        return true;
    }
    bool ok = false;
    const qint64 number = trimmed.toLongLong(&ok);
    // Digits only: no sign, no exponent.
    if (!ok || !std::all_of(trimmed.cbegin(), trimmed.cend(), [](QChar c) { return c.isDigit(); })
        || number != bounded(number)) {
        return false;
    }
    *seconds = number;
    return true;
}
