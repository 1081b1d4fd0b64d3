#pragma once

#include <QWidget>

// A window whose closing keeps a half-typed value: the field that still has the focus
// gives it up first, which commits its text to the bound record or preference.
class BrevlinWindow : public QWidget
{
    Q_OBJECT
public:
    explicit BrevlinWindow(QWidget *parent = nullptr);

    bool close();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void commitFocusedEditor();
};
