#include "platform/UserDefaults.h"

#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace {

std::unique_ptr<UserDefaults> &standardInstance()
{
    static std::unique_ptr<UserDefaults> instance;
    return instance;
}

// QSettings hands values back as text once they went through the file, so every read
// goes through the text as well as through the typed value.
std::optional<double> numberFrom(const QVariant &value)
{
    if (!value.isValid()) {
        return std::nullopt;
    }
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool() ? 1.0 : 0.0;
    }
    const QString text = value.toString().trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
        || text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0) {
        return 1.0;
    }
    // Read back from the file a stored false is text too, and must not read as unreadable.
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
        || text.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0) {
        return 0.0;
    }
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || std::isnan(number)) {
        return std::nullopt;
    }
    return number;
}

} // namespace

UserDefaults::UserDefaults(const QString &fileName, QObject *parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

UserDefaults *UserDefaults::standardUserDefaults()
{
    auto &instance = standardInstance();
    if (!instance) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        instance = std::make_unique<UserDefaults>(folder + QStringLiteral("/Rss_Brevlin/Rss_Brevlin.conf"));
    }
    return instance.get();
}

void UserDefaults::resetStandardUserDefaults()
{
    standardInstance().reset();
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        m_registered.insert(it.key(), it.value());
    }
    m_numbers.clear();
}

QVariant UserDefaults::objectForKey(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    return value.isValid() ? value : m_registered.value(key);
}

std::optional<double> UserDefaults::numberForKey(const QString &key) const
{
    // A value typed by hand into the file that reads as no number falls back to the
    // registered default: read as 0 it would, say, prune every entry of every feed.
    const auto known = m_numbers.constFind(key);
    if (known != m_numbers.cend()) {
        return *known;
    }
    std::optional<double> number = numberFrom(m_settings->value(key));
    if (!number) {
        number = numberFrom(m_registered.value(key));
    }
    m_numbers.insert(key, number);
    return number;
}

bool UserDefaults::boolForKey(const QString &key) const
{
    const std::optional<double> number = numberForKey(key);
    return number && *number != 0.0;
}

qint32 UserDefaults::integerForKey(const QString &key) const
{
    const std::optional<double> number = numberForKey(key);
    if (!number) {
        return 0;
    }
    constexpr double lowest = std::numeric_limits<qint32>::min();
    constexpr double highest = std::numeric_limits<qint32>::max();
    return qint32(std::trunc(std::clamp(*number, lowest, highest)));
}

double UserDefaults::doubleForKey(const QString &key) const
{
    return numberForKey(key).value_or(0.0);
}

void UserDefaults::renewAfterFailure()
{
    if (m_settings->status() == QSettings::NoError) {
        return;
    }
    // A QSettings keeps its first error for good: once the user has mended the file, every
    // later write would still read as failed. The fresh one is made before the old one goes,
    // so that it shares the values not yet written and writes them with the next.
    auto fresh = std::make_unique<QSettings>(m_settings->fileName(), QSettings::IniFormat);
    m_settings = std::move(fresh);
    m_numbers.clear();
}

bool UserDefaults::setObject(const QVariant &value, const QString &key)
{
    renewAfterFailure();
    m_settings->setValue(key, value);
    return syncAndNotify(key);
}

bool UserDefaults::removeObjectForKey(const QString &key)
{
    renewAfterFailure();
    m_settings->remove(key);
    return syncAndNotify(key);
}

bool UserDefaults::syncAndNotify(const QString &key)
{
    // QSettings keeps a value it could not write in memory, and other QSettings of this
    // process on the same file share that memory: only the status tells the truth.
    m_settings->sync();
    // The sync also reads what other processes wrote since.
    m_numbers.clear();
    Q_EMIT changed(key);
    return m_settings->status() == QSettings::NoError;
}
