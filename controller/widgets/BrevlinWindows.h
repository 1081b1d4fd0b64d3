#pragma once

#include <memory>

#include "controller/WindowPresenter.h"

class AboutWindow;
class Alerts;
class ObjectContext;
class PreferencesWindow;
class SubscriptionWindow;

// The program's three windows, made once and reused: the status menu brings them forward.
class BrevlinWindows : public WindowPresenter
{
public:
    BrevlinWindows(ObjectContext *context, Alerts *alerts);
    ~BrevlinWindows() override;

    void makeKeyAndOrderFront(Window window) override;
    void setFloating(Window window) override;

    SubscriptionWindow *subscriptionWindow() const { return m_subscriptions.get(); }

private:
    std::unique_ptr<SubscriptionWindow> m_subscriptions;
    std::unique_ptr<PreferencesWindow> m_preferences;
    std::unique_ptr<AboutWindow> m_about;
};
