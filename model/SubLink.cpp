#include "model/SubLink.h"

#include "model/OpenPolicy.h"
#include "platform/Opener.h"

SubLink::SubLink(ObjectContext *context)
    : Record(entityDescription(), context)
{
}

void SubLink::setLink(const std::optional<QString> &link)
{
    m_link = link;
}

void SubLink::setText(const std::optional<QString> &text)
{
    m_text = text;
}

MenuItem SubLink::subLinkMenuItem()
{
    const QString link = m_link.value_or(QString());
    MenuItem item;
    item.title = m_text ? QStringLiteral("<%1> %2").arg(link, *m_text) : QStringLiteral("<%1>").arg(link);
    item.action = QStringLiteral("openLink");
    item.target = this;
    item.perform = performOnRecord(this, &SubLink::openLink);
    return item;
}

void SubLink::openLink() const
{
    // Only the two kinds of link the scanners collect: issue references, handled by whichever
    // program claims "rdar", and web pages.
    const QUrl url(m_link.value_or(QString()));
    if ((url.isValid() && url.scheme() == QLatin1String("rdar")) || OpenPolicy::isWebPage(url)) {
        Opener::shared()->openUrl(url);
    }
}
