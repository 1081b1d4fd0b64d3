#pragma once

#include <QHash>

#include "controller/LoginAutostart.h"
#include "controller/widgets/BrevlinWindow.h"

class Alerts;
class QCheckBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

// The preferences, each written the moment it changes and shown again when something else
// changes it, plus whether the program starts at login. Each control's object name is its key.
class PreferencesWindow : public BrevlinWindow
{
    Q_OBJECT
public:
    explicit PreferencesWindow(Alerts *alerts, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void addCount(QFormLayout *form, const QString &key, const QString &label, int minimum, int maximum);
    void addFlag(QFormLayout *form, const QString &key, const QString &label);
    void addProxy(QFormLayout *form);
    void onProxyEdited();
    void showValue(const QString &key);
    void showStartAtLogin();
    void onStartAtLoginToggled(bool enabled);

    Alerts *m_alerts;
    LoginAutostart m_autostart;
    QDoubleSpinBox *m_interval;
    QLabel *m_intervalNote;
    QHash<QString, QSpinBox *> m_counts;
    QHash<QString, QCheckBox *> m_flags;
    QLineEdit *m_proxy = nullptr;
    QLabel *m_proxyNote = nullptr;
    QCheckBox *m_startAtLogin;
};
