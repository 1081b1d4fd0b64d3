#pragma once

#include <QByteArray>

class QNetworkAccessManager;
class QNetworkRequest;
class QObject;
class QUrl;

// The program's HTTP client settings in one place: the manager every download shares and the
// request every download sends.
namespace NetworkAccess {

// The manager shared by all downloads, created on first use as a child of the application
// object (so it goes away with it). Main thread only.
QNetworkAccessManager *manager();

// A manager configured like the shared one, for a download that must not share cached
// credentials or connections with other feeds.
QNetworkAccessManager *createManager(QObject *parent);

// A request that always goes to the network, never to or from a cache, and identifies the program.
QNetworkRequest request(const QUrl &url);

// The standard phrase for an HTTP status ("Not Found" for 404), for responses that carry none
// (HTTP/2 has no reason phrases). Empty for a status it does not know.
QByteArray reasonPhrase(int status);

} // namespace NetworkAccess
