#pragma once

#include <QString>

// Whether the program starts with the user's desktop session: an XDG autostart entry
// in $XDG_CONFIG_HOME/autostart that runs this very binary.
class LoginAutostart
{
public:
    bool isEnabled() const;
    // Writes the entry whole, or removes it; false with errorString() when that failed.
    bool setEnabled(bool enabled);
    QString errorString() const { return m_errorString; }

    static QString filePath();
    // The entry for the binary at program, as it is written.
    static QByteArray desktopEntry(const QString &program);

private:
    QString m_errorString;
};
