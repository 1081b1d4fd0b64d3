#pragma once

#include <QHash>
#include <QObject>
#include <QSettings>
#include <QVariantMap>

#include <memory>
#include <optional>

// The user's preferences over QSettings, with an in-memory registration domain whose
// values apply until the user sets one. Reads follow the number rules every caller
// relies on: an absent value reads as its registered default, else as 0 or false; a
// stored value that is no number reads as the registered default too.
class UserDefaults : public QObject
{
    Q_OBJECT
public:
    explicit UserDefaults(const QString &fileName, QObject *parent = nullptr);

    // The process's preferences in $XDG_CONFIG_HOME/Rss_Brevlin/Rss_Brevlin.conf.
    static UserDefaults *standardUserDefaults();
    // Drops the process's preferences so the next call reads the folders afresh (tests).
    static void resetStandardUserDefaults();

    void registerDefaults(const QVariantMap &defaults);
    QVariant objectForKey(const QString &key) const;
    bool boolForKey(const QString &key) const;
    // A 32-bit integer: a real value is cut towards zero (10.7 reads 10).
    qint32 integerForKey(const QString &key) const;
    double doubleForKey(const QString &key) const;
    // Both write the file at once and say whether it was written; the value applies to
    // this process either way.
    bool setObject(const QVariant &value, const QString &key);
    bool removeObjectForKey(const QString &key);
    QString fileName() const { return m_settings->fileName(); }

Q_SIGNALS:
    void changed(const QString &key);

private:
    void renewAfterFailure();
    bool syncAndNotify(const QString &key);
    std::optional<double> numberForKey(const QString &key) const;

    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
    // The numbers read so far: a menu asks one for each of its entries, and a QSettings read
    // costs a lock and a conversion each time. Values change only where this class writes,
    // syncs or registers, and each of those forgets them all.
    mutable QHash<QString, std::optional<double>> m_numbers;
};
