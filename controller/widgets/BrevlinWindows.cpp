#include "controller/widgets/BrevlinWindows.h"

#include "controller/widgets/AboutWindow.h"
#include "controller/widgets/PreferencesWindow.h"
#include "controller/widgets/SubscriptionWindow.h"

BrevlinWindows::BrevlinWindows(ObjectContext *context, Alerts *alerts)
    : m_subscriptions(std::make_unique<SubscriptionWindow>(context, alerts))
    , m_preferences(std::make_unique<PreferencesWindow>(alerts))
    , m_about(std::make_unique<AboutWindow>())
{
}

BrevlinWindows::~BrevlinWindows() = default;

namespace {

BrevlinWindow *windowFor(WindowPresenter::Window window, SubscriptionWindow *subscriptions,
                         PreferencesWindow *preferences, AboutWindow *about)
{
    switch (window) {
    case WindowPresenter::Window::ManageSubscriptions:
        return subscriptions;
    case WindowPresenter::Window::Preferences:
        return preferences;
    case WindowPresenter::Window::About:
        return about;
    }
    return nullptr;
}

} // namespace

void BrevlinWindows::makeKeyAndOrderFront(Window window)
{
    windowFor(window, m_subscriptions.get(), m_preferences.get(), m_about.get())->makeKeyAndOrderFront();
}

void BrevlinWindows::setFloating(Window window)
{
    windowFor(window, m_subscriptions.get(), m_preferences.get(), m_about.get())->setFloating(true);
}
