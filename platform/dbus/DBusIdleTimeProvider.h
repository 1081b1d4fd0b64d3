#pragma once

#include <memory>

#include "platform/IdleTimeProvider.h"

// An idle time that a desktop service on the session bus answers through a method without
// arguments, in a unit of its own.
class DBusIdleTimeProvider : public IdleTimeProvider
{
public:
    // GNOME's idle monitor (org.gnome.Mutter.IdleMonitor), in milliseconds.
    static std::unique_ptr<IdleTimeProvider> mutterIdleMonitor();
    // The freedesktop screen saver (org.freedesktop.ScreenSaver), in seconds.
    static std::unique_ptr<IdleTimeProvider> freedesktopScreenSaver();

    QString name() const override { return m_service; }
    bool isAvailable() override;
    std::optional<QVariant> idleTime() override;

private:
    DBusIdleTimeProvider(const QString &service, const QString &path, const QString &interface, const QString &method,
                         qint64 nanosecondsPerUnit);

    QString m_service;
    QString m_path;
    QString m_interface;
    QString m_method;
    qint64 m_nanosecondsPerUnit;
};
