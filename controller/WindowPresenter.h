#pragma once

// The three windows as the controller sees them: the status menu brings them forward, and
// start-up makes the subscription and preferences windows float above the others.
class WindowPresenter
{
public:
    enum class Window { ManageSubscriptions, Preferences, About };

    virtual ~WindowPresenter() = default;
    virtual void makeKeyAndOrderFront(Window window) = 0;
    virtual void setFloating(Window window) = 0;
};
