#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include "model/Subscription.h"

class ObjectContext;
class RSSFeed;

// Adds feeds to the store the way the subscription window does: a new record, then its
// values, the address last, so that its "feed" rewrite applies and, where the context
// checks feeds, its first check starts. Refuses addresses no check could fetch, and
// addresses already subscribed to (one subscription per address keeps imports repeatable).
class FeedSubscriber
{
public:
    enum class Outcome { Added, AlreadySubscribed, NotAnAddress };
    // Which addresses count as feed addresses. A list imported from elsewhere gets only web
    // ones: a file address in it would have the program read, and show, a local file the user
    // never chose ("file:///etc/shadow").
    enum class Addresses { WebAndFile, WebOnly };

    FeedSubscriber(ObjectContext *context, const QList<RSSFeed *> &existingFeeds,
                   Addresses addresses = Addresses::WebAndFile);

    // Nothing is left in the context for a subscription that was refused.
    Outcome subscribe(const Subscription &subscription);

    // An http or https URL with a host, or (where allowed) a file URL with a path.
    static bool isUsableAddress(const QString &url, Addresses addresses = Addresses::WebAndFile);
    // The login and password written into the address ("http://kim:pw@host/"), percent-decoded,
    // become the subscription's own unless it has them already; the address loses them and is
    // otherwise kept as typed. Addresses are shown and exported in many places, credentials never.
    static Subscription withCredentialsFromAddress(Subscription subscription);
    // The form in which two addresses of one feed are equal: scheme and host in lower case,
    // without the default port, unreserved characters undone from their percent-encoding and
    // an empty http(s) path as "/".
    static QString comparableAddress(const QString &url);

private:
    ObjectContext *m_context;
    Addresses m_addresses;
    QSet<QString> m_subscribedAddresses; // comparable forms
};
