#pragma once

#include <QWidget>

// A window whose closing keeps a half-typed value: the field that still has the focus
// gives it up first, which commits its text to the bound record or preference. Closing
// only hides it, so the menu item that opens it again finds it as it was left.
class BrevlinWindow : public QWidget
{
    Q_OBJECT
public:
    explicit BrevlinWindow(QWidget *parent = nullptr);

    bool close();
    // Brings the window up in front of the others, with the keyboard focus.
    void makeKeyAndOrderFront();
    // Keeps the window above ordinary windows, as tool windows opened from the tray are.
    void setFloating(bool floating);
    bool isFloating() const;
    void commitFocusedEditor();

protected:
    void closeEvent(QCloseEvent *event) override;
};
