#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QAuthenticator;

// One page being archived. It reports exactly once, archived or failed; destroying it before
// then stops the load and nothing more is reported.
class WebArchiveJob : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    // The page with its resources was written, whole, to the path it was asked for.
    void archived();
    // Nothing was written. failingUrl is empty when the failure has no address.
    void failed(const QString &description, const QString &failingUrl);
    // The page or one of its resources asks for a login: fill answer to try it, leave it empty to
    // refuse. previousFailures counts the answers of this job already rejected.
    void authenticationRequired(const QUrl &requestUrl, int previousFailures, QAuthenticator *answer);
};
