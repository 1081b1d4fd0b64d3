#include "model/CheckInterval.h"

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
