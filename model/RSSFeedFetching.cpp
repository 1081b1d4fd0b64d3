#include "model/RSSFeed.h"

#include <QUrl>

#include "controller/NotificationCenter.h"
#include "controller/Preferences.h"
#include "controller/UserDefaults.h"
#include "store/DistantPast.h"

void RSSFeed::awakeFromInsert()
{
    setLastFetchDate(distantPast());
}

void RSSFeed::awakeFromFetch()
{
    if (!UserDefaults::standardUserDefaults()->boolForKey(Preferences::showGrowlsOnLaunch)) {
        m_lastFetchDate = distantPast();
    }
    if (m_generator) {
        m_isTracFeed = m_generator->contains(QLatin1String("Trac"));
        m_isTwitterFeed = m_generator->contains(QLatin1String("Twitter"));
    }
    checkFeed();
}

void RSSFeed::cancelDownload()
{
}

void RSSFeed::checkFeed()
{
}

void RSSFeed::setErrorMessage(const std::optional<QString> &message)
{
    willChangeValueForKey(QStringLiteral("errorMessage"));
    m_errorMessage = message;
    didChangeValueForKey(QStringLiteral("errorMessage"));
    if (!message) {
        return;
    }
    setDidConnect(message->isEmpty());
    NotificationCenter::defaultCenter()->postNotificationName(Notifications::updateMenus);
}

void RSSFeed::setDidConnect(bool flag)
{
    m_didConnect = flag;
    willChangeValueForKey(QStringLiteral("didConnectString"));
    m_didConnectString = m_didConnect ? QStringLiteral("Yes") : QStringLiteral("No");
    didChangeValueForKey(QStringLiteral("didConnectString"));
}
