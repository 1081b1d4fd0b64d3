#include "model/SubLink.h"

#include <QStringBuilder>

#include "model/OpenPolicy.h"
#include "model/RSSItem.h"
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
    // Joined at once rather than with arg(): a history prints as many of these as it has entries.
    item.title = m_text ? QString(u'<' % link % u"> " % *m_text) : QString(u'<' % link % u'>');
    item.action = QStringLiteral("openLink");
    // Valid while the entry holds its values: sub-links leave memory whenever their entry turns
    // back into a fault, and come back from the store the same. So the item keeps the address,
    // and the entry's lifetime says whether the link is still there to open.
    item.target = this;
    item.perform = [link, lifetime = m_owner ? m_owner->lifetime() : lifetime()] {
        if (!lifetime.expired()) {
            openAddress(link);
        }
    };
    return item;
}

void SubLink::openLink() const
{
    openAddress(m_link.value_or(QString()));
}

void SubLink::openAddress(const QString &link)
{
    // Only the two kinds of link the scanners collect: issue references, handled by whichever
    // program claims "rdar", and web pages.
    const QUrl url(link);
    if ((url.isValid() && url.scheme() == QLatin1String("rdar")) || OpenPolicy::isWebPage(url)) {
        Opener::shared()->openUrl(url);
    }
}
