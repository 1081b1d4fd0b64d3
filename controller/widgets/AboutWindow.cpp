#include "controller/widgets/AboutWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

AboutWindow::AboutWindow(QWidget *parent)
    : BrevlinWindow(parent)
{
    setWindowTitle(tr("About RSS Brevlin"));

    auto *name = new QLabel(QStringLiteral("RSS Brevlin"), this);
    QFont large = name->font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    large.setBold(true);
    name->setFont(large);
    auto *purpose = new QLabel(tr("Watches your feeds from the tray and tells you about every new entry."), this);
    purpose->setWordWrap(true);
    auto *licence = new QLabel(tr("Released under the MIT licence; see the LICENSE file that comes with it."), this);
    licence->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(tr("Version %1").arg(version()), this), 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(purpose);
    layout->addWidget(licence);
    setMinimumWidth(360);
}

QString AboutWindow::version()
{
    const QString version = QCoreApplication::applicationVersion();
    // Tools and tests that build no application of ours leave the version unset.
    return version.isEmpty() ? QStringLiteral(BREVLIN_VERSION) : version;
}
