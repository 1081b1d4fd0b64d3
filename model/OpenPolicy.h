#pragma once

#include <QString>
#include <QUrl>

// What feed data may hand to the desktop's opener. A feed is written by strangers, so its
// addresses open only as web pages: a "javascript:", "data:" or "file:" address, or one of a
// scheme some local program has claimed, is never passed on.
namespace OpenPolicy {

// An "http" or "https" address with a host.
bool isWebPage(const QUrl &url);

// An existing file directly inside the page cache folder, after resolving symbolic links: only
// this program writes there, so such a path recorded for an entry is one of our own pages.
bool isCachedPage(const QString &path);

} // namespace OpenPolicy
