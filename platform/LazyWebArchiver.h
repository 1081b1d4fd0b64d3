#pragma once

#include <QString>

#include "platform/WebArchiver.h"

// The web archiver of the program. The browser engine is tens of megabytes of libraries, and
// most users never switch the page cache on: its archiver lives in a plugin that is loaded the
// first time a page is asked for, and stays loaded for the rest of the run.
class LazyWebArchiver : public WebArchiver
{
    Q_OBJECT
public:
    // The plugin is looked for beside the program (a build tree), then in pluginFolder.
    explicit LazyWebArchiver(const QString &pluginFolder, QObject *parent = nullptr);
    ~LazyWebArchiver() override;

    std::unique_ptr<WebArchiveJob> archive(const QUrl &url, const QString &path) override;

    static QString pluginFileName();

private:
    WebArchiver *loadEngine();
    // Loads the plugin and makes its archiver; the reason when it cannot.
    QString loadPlugin();

    QString m_pluginFolder;
    WebArchiver *m_engine = nullptr;
    // Set once loading failed: the failure is reported once, later pages fail with it at once.
    QString m_loadError;
};
