#include "app/widgets/TrayProgram.h"

#include <QApplication>

#include "app/ProgramSession.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "controller/widgets/TrayStatusItem.h"
#include "platform/widgets/MessageBoxAlerts.h"

namespace TrayProgram {

int run()
{
    // The program lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/rss-brevlin.svg")));
    MessageBoxAlerts alerts;
    Rss_Brevlin_AppDelegate delegate(&alerts);
    ProgramSession session(&delegate, &alerts, ProgramSession::Reporting::Silent);
    TrayStatusItem statusItem;
    QObject::connect(&session, &ProgramSession::finished, qApp, &QApplication::quit);
    // A store that cannot be used was reported; the tray still offers its windows and Quit.
    session.start(&statusItem, nullptr);
    QApplication::exec();
    return session.exitCode();
}

} // namespace TrayProgram
