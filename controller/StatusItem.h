#pragma once

#include <QObject>

#include <memory>

struct Menu;

// The status bar item as the controller sees it: it shows the menu it was last given and
// says whether that menu is open, so that the controller never changes a menu under the
// pointer. The tray icon is one; tests use a recording double.
class StatusItem : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Replaces the whole menu; nothing of the old one survives.
    virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
    virtual bool isMenuOpen() const = 0;

Q_SIGNALS:
    void menuOpened();
    void menuClosed();
};
