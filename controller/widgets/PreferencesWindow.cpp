#include "controller/widgets/PreferencesWindow.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "controller/RSSBrevlinController.h"
#include "platform/Alerts.h"
#include "platform/NetworkProxy.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

namespace {

constexpr double MinimumCheckInterval = RSSBrevlinController::MinimumCheckInterval;
constexpr double MaximumCheckInterval = RSSBrevlinController::MaximumCheckInterval;

UserDefaults *defaults()
{
    return UserDefaults::standardUserDefaults();
}

// A value typed into the preferences file by hand shows as it is: the ranges widen to
// hold it instead of clamping it where nobody sees.
template<typename SpinBox, typename Value> void showInRange(SpinBox *box, Value value, Value minimum, Value maximum)
{
    box->setRange(std::min(minimum, value), std::max(maximum, value));
    box->setValue(value);
}

} // namespace

PreferencesWindow::PreferencesWindow(Alerts *alerts, QWidget *parent)
    : BrevlinWindow(parent)
    , m_alerts(alerts)
    , m_interval(new QDoubleSpinBox(this))
    , m_intervalNote(new QLabel(this))
    , m_startAtLogin(new QCheckBox(tr("Start at login"), this))
{
    setWindowTitle(tr("Preferences"));
    setFloating(true);
    auto *form = new QFormLayout;

    m_interval->setObjectName(Preferences::checkInterval);
    m_interval->setDecimals(1);
    m_interval->setSuffix(tr(" s"));
    // Written when typing ends, not at each digit: every write restarts the check timer.
    m_interval->setKeyboardTracking(false);
    connect(m_interval, &QDoubleSpinBox::valueChanged, this,
            [](double seconds) { defaults()->setObject(seconds, Preferences::checkInterval); });
    QFont small = m_intervalNote->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_intervalNote->setFont(small);
    auto *interval = new QVBoxLayout;
    interval->addWidget(m_interval);
    interval->addWidget(m_intervalNote);
    form->addRow(tr("Check every"), interval);

    addCount(form, Preferences::showTopEntriesCount, tr("Entries at the top of the menu"), -1, 1000);
    m_counts.value(Preferences::showTopEntriesCount)->setSpecialValueText(tr("No limit"));
    addCount(form, Preferences::maximumEntryHistoryCount, tr("Entries kept per feed"), 0, 100000);
    addFlag(form, Preferences::hideTopEntriesFromHistory, tr("Hide top entries from feed history"));
    addFlag(form, Preferences::enableSubLinksInMenu, tr("Show links found in entries as submenus"));
    addFlag(form, Preferences::enableTargetPageCache, tr("Keep a copy of the top entries' pages"));
    addFlag(form, Preferences::showGrowlsOnLaunch, tr("Announce entries found at start-up"));
    addFlag(form, Preferences::growlClickAction, tr("Clicking a notification opens the entry"));
    addFlag(form, Preferences::growlListFeedsSeparately, tr("List feeds separately in notification settings"));
    addFlag(form, Preferences::pinGrowlNotifications, tr("Keep notifications on screen while I am away"));
    addCount(form, Preferences::pinGrowlMinutes, tr("Away after (minutes)"), 0, 24 * 60);
    addCount(form, Preferences::maximumNotificationsPerFeed, tr("Notifications per feed and check"), 0, 10000);
    addCount(form, Preferences::maximumNotificationsPerCheck, tr("Notifications per check"), 0, 10000);
    for (const QString &limit : {Preferences::maximumNotificationsPerFeed, Preferences::maximumNotificationsPerCheck}) {
        m_counts.value(limit)->setSpecialValueText(tr("No limit"));
        m_counts.value(limit)->setToolTip(tr("The newest entries are announced one by one, one more notification "
                                             "counts the rest"));
    }
    addProxy(form);

    m_startAtLogin->setObjectName(QStringLiteral("Start at login"));
    connect(m_startAtLogin, &QCheckBox::toggled, this, &PreferencesWindow::onStartAtLoginToggled);
    form->addRow(m_startAtLogin);
    setLayout(form);

    showValue(Preferences::checkInterval);
    for (const QString &key : m_counts.keys() + m_flags.keys()) {
        showValue(key);
    }
    showValue(Preferences::proxy);
    showStartAtLogin();
    connect(defaults(), &UserDefaults::changed, this, &PreferencesWindow::showValue);
}

void PreferencesWindow::addProxy(QFormLayout *form)
{
    m_proxy = new QLineEdit(this);
    m_proxy->setObjectName(Preferences::proxy);
    m_proxy->setPlaceholderText(tr("the system's"));
    m_proxy->setToolTip(tr("Empty for the system's proxy, \"none\", or a proxy such as http://host:3128 or "
                           "socks5://host:1080"));
    connect(m_proxy, &QLineEdit::editingFinished, this, &PreferencesWindow::onProxyEdited);
    m_proxyNote = new QLabel(this);
    m_proxyNote->setVisible(false);
    auto *proxy = new QVBoxLayout;
    proxy->addWidget(m_proxy);
    proxy->addWidget(m_proxyNote);
    form->addRow(tr("Proxy"), proxy);
}

void PreferencesWindow::onProxyEdited()
{
    const QString text = m_proxy->text().trimmed();
    // What the network could not use stays in the field, with the reason, and is not stored.
    const bool usable = NetworkProxy::choiceFromPreference(text).has_value();
    m_proxyNote->setText(tr("Not a proxy: write nothing, \"none\", or a URL such as http://host:3128."));
    m_proxyNote->setVisible(!usable);
    if (usable && text != defaults()->objectForKey(Preferences::proxy).toString()) {
        defaults()->setObject(text, Preferences::proxy);
    }
}

void PreferencesWindow::addCount(QFormLayout *form, const QString &key, const QString &label, int minimum, int maximum)
{
    auto *box = new QSpinBox(this);
    box->setObjectName(key);
    box->setRange(minimum, maximum);
    box->setKeyboardTracking(false);
    connect(box, &QSpinBox::valueChanged, this, [key](int value) { defaults()->setObject(value, key); });
    m_counts.insert(key, box);
    form->addRow(label, box);
}

void PreferencesWindow::addFlag(QFormLayout *form, const QString &key, const QString &label)
{
    auto *box = new QCheckBox(label, this);
    box->setObjectName(key);
    connect(box, &QCheckBox::toggled, this, [key](bool on) { defaults()->setObject(on, key); });
    m_flags.insert(key, box);
    form->addRow(box);
}

void PreferencesWindow::showValue(const QString &key)
{
    if (key == Preferences::checkInterval) {
        const QSignalBlocker blocker(m_interval);
        const double seconds = defaults()->doubleForKey(key);
        showInRange(m_interval, seconds, MinimumCheckInterval, MaximumCheckInterval);
        // A value outside the timer's bounds is kept as typed, but the user learns what applies.
        if (seconds < MinimumCheckInterval) {
            m_intervalNote->setText(tr("Feeds are checked at most every %1 s.").arg(MinimumCheckInterval));
        } else if (seconds > MaximumCheckInterval) {
            m_intervalNote->setText(tr("Feeds are checked at least every %1 days.").arg(MaximumCheckInterval / 86400));
        }
        m_intervalNote->setVisible(seconds < MinimumCheckInterval || seconds > MaximumCheckInterval);
    } else if (QSpinBox *box = m_counts.value(key)) {
        const QSignalBlocker blocker(box);
        showInRange(box, int(defaults()->integerForKey(key)), box->minimum(), box->maximum());
    } else if (key == Preferences::proxy) {
        const QSignalBlocker blocker(m_proxy);
        m_proxy->setText(defaults()->objectForKey(key).toString());
        m_proxyNote->setVisible(false);
    } else if (QCheckBox *box = m_flags.value(key)) {
        const QSignalBlocker blocker(box);
        box->setChecked(defaults()->boolForKey(key));
    }
}

void PreferencesWindow::showEvent(QShowEvent *event)
{
    // The autostart entry is a file the user may have removed in the meantime.
    showStartAtLogin();
    BrevlinWindow::showEvent(event);
}

void PreferencesWindow::showStartAtLogin()
{
    const QSignalBlocker blocker(m_startAtLogin);
    m_startAtLogin->setChecked(m_autostart.isEnabled());
}

void PreferencesWindow::onStartAtLoginToggled(bool enabled)
{
    if (!m_autostart.setEnabled(enabled)) {
        m_alerts->presentError(tr("Could not change the start at login: %1").arg(m_autostart.errorString()));
        showStartAtLogin();
    }
}
