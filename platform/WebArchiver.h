#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class WebArchiveJob;

// Saves a web page with its images and style sheets as one file the desktop's default opener
// can show. The program installs the real one when it may archive pages; tests install a fake.
class WebArchiver : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts loading url; once it has loaded, the page is written whole to path, or not at all.
    virtual std::unique_ptr<WebArchiveJob> archive(const QUrl &url, const QString &path) = 0;

    // The archiver of the process, or null when pages are not archived.
    static WebArchiver *shared();
    static void setShared(WebArchiver *archiver);
};
