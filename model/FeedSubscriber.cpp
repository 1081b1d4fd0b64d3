#include "model/FeedSubscriber.h"

#include <QUrl>

#include "model/RSSFeed.h"
#include "store/ObjectContext.h"

FeedSubscriber::FeedSubscriber(ObjectContext *context, const QList<RSSFeed *> &existingFeeds, Addresses addresses)
    : m_context(context)
    , m_addresses(addresses)
{
    for (const RSSFeed *feed : existingFeeds) {
        if (feed->url()) {
            m_subscribedUrls.insert(*feed->url());
        }
    }
}

FeedSubscriber::Outcome FeedSubscriber::subscribe(const Subscription &subscription)
{
    RSSFeed *feed = RSSFeed::insert(m_context);
    if (subscription.name) {
        feed->setName(subscription.name);
    }
    if (subscription.login) {
        feed->setLogin(subscription.login);
    }
    if (subscription.password) {
        feed->setPassword(subscription.password);
    }
    if (subscription.showInRecentList) {
        feed->setShowInRecentList(true);
    }
    feed->setUrl(subscription.url);
    // The address is judged after the feed's own rewrite ("feed://" reads as "http://").
    const QString url = feed->url().value_or(QString());
    Outcome outcome = Outcome::Added;
    if (!isUsableAddress(url, m_addresses)) {
        outcome = Outcome::NotAnAddress;
    } else if (m_subscribedUrls.contains(url)) {
        outcome = Outcome::AlreadySubscribed;
    }
    if (outcome == Outcome::Added) {
        m_subscribedUrls.insert(url);
    } else {
        m_context->deleteObject(feed);
    }
    return outcome;
}

bool FeedSubscriber::isUsableAddress(const QString &text, Addresses addresses)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return false;
    }
    if (url.isLocalFile()) {
        return addresses == Addresses::WebAndFile && !url.path().isEmpty();
    }
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}
