#pragma once

#include <QByteArray>
#include <chrono>

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

// How long a transfer may go without receiving anything before it is abandoned.
std::chrono::milliseconds transferTimeout();
// Tests shorten this; requests made afterwards use the new value.
void setTransferTimeout(std::chrono::milliseconds timeout);

// How long a download may take in all. The transfer timeout alone lets a server that sends a
// byte now and then hold a download, and with it a check of all feeds, for ever.
std::chrono::milliseconds totalTimeout();
// Tests shorten this; downloads started afterwards use the new value.
void setTotalTimeout(std::chrono::milliseconds timeout);

// The standard phrase for an HTTP status ("Not Found" for 404), for responses that carry none
// (HTTP/2 has no reason phrases). Empty for a status it does not know.
QByteArray reasonPhrase(int status);

} // namespace NetworkAccess
