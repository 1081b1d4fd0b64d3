#pragma once

#include <QWidget>

class QIcon;

// Stands in for the tray icon on desktops without a system tray: a small window whose button
// opens the status menu, so the program never runs invisibly.
class TrayFallbackWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TrayFallbackWindow(const QIcon &icon, QWidget *parent = nullptr);

Q_SIGNALS:
    // The menu should pop up at this point on the screen.
    void menuRequested(const QPoint &where);
};
