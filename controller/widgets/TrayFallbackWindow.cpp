#include "controller/widgets/TrayFallbackWindow.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

TrayFallbackWindow::TrayFallbackWindow(const QIcon &icon, QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("RSS Brevlin"));
    setWindowIcon(icon);
    auto *layout = new QHBoxLayout(this);
    auto *label = new QLabel(tr("No system tray was found. Your feeds are here:"), this);
    auto *button = new QPushButton(icon, tr("Feeds"), this);
    layout->addWidget(label);
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this,
            [this, button] { Q_EMIT menuRequested(button->mapToGlobal(QPoint(0, button->height()))); });
}
