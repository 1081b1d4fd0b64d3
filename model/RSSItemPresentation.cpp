#include "model/RSSItem.h"

#include <QTextDocumentFragment>

void RSSItem::setText(const std::optional<QString> &html)
{
    if (!html) {
        setPrimitiveText(std::nullopt);
        return;
    }
    const QString plain = QTextDocumentFragment::fromHtml(*html).toPlainText();
    setPrimitiveText(plain);
    createSubLinksFromString(plain);
}
