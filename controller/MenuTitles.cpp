#include "controller/MenuTitles.h"

#include "text/DisplayControls.h"

namespace MenuTitles {

QString asRead(const QString &title)
{
    qsizetype end = title.size();
    while (end > 0 && DisplayControls::needsBlanking(title.at(end - 1))) {
        --end;
    }
    // Shares the title's characters until one must change: most titles are printed as they are.
    QString text = title.left(end);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (DisplayControls::needsBlanking(text.at(i))) {
            text[i] = u' ';
        }
    }
    return text;
}

QString forAction(const QString &title, qsizetype maxCharacters)
{
    QString text = asRead(title);
    if (text.size() > maxCharacters) {
        qsizetype cut = maxCharacters - 1;
        // Never split a surrogate pair.
        if (cut > 0 && text.at(cut - 1).isHighSurrogate()) {
            --cut;
        }
        text = text.left(cut) + QChar(0x2026);
    }
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace MenuTitles
