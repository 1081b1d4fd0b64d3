#include "app/PreferenceCommands.h"

#include <QLocale>
#include <QTextStream>

#include <cmath>

#include "app/TabSeparated.h"
#include "controller/RSSBrevlinController.h"
#include "platform/NetworkProxy.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

namespace {

QString valueText(const QString &key, QMetaType::Type type)
{
    const UserDefaults &defaults = *UserDefaults::standardUserDefaults();
    switch (type) {
    case QMetaType::Bool:
        return defaults.boolForKey(key) ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Int:
        return QString::number(defaults.integerForKey(key));
    case QMetaType::QString:
        return defaults.objectForKey(key).toString();
    default:
        return QString::number(defaults.doubleForKey(key), 'g', QLocale::FloatingPointShortest);
    }
}

std::optional<QVariant> parseValue(const QString &key, const QString &text, QMetaType::Type type)
{
    bool ok = false;
    switch (type) {
    case QMetaType::QString:
        // The one text preference; a proxy the network could not use must not be stored.
        Q_ASSERT(key == Preferences::proxy);
        return NetworkProxy::choiceFromPreference(text) ? std::optional<QVariant>(text.trimmed()) : std::nullopt;
    case QMetaType::Bool: {
        const QString word = text.trimmed().toLower();
        if (word == QLatin1String("true") || word == QLatin1String("1")) {
            return QVariant(true);
        }
        if (word == QLatin1String("false") || word == QLatin1String("0")) {
            return QVariant(false);
        }
        return std::nullopt;
    }
    case QMetaType::Int: {
        const int number = text.trimmed().toInt(&ok);
        return ok ? std::optional<QVariant>(number) : std::nullopt;
    }
    default: {
        // The C locale: a preference value must not change meaning with the user's language.
        const double number = QLocale::c().toDouble(text.trimmed(), &ok);
        return ok && std::isfinite(number) ? std::optional<QVariant>(number) : std::nullopt;
    }
    }
}

QString typeDescription(QMetaType::Type type)
{
    switch (type) {
    case QMetaType::Bool:
        return QStringLiteral("true, false, 1 or 0");
    case QMetaType::Int:
        return QStringLiteral("a whole number");
    case QMetaType::QString:
        return QStringLiteral(
            "nothing (the system's proxy), none, or a proxy's URL such as http://host:3128 or socks5://host:1080");
    default:
        return QStringLiteral("a number");
    }
}

std::optional<QMetaType::Type> typeOf(const QString &key)
{
    const QVariantMap defaults = RSSBrevlinController::defaultsDictionary();
    const auto found = defaults.constFind(key);
    if (found == defaults.cend()) {
        return std::nullopt;
    }
    return QMetaType::Type(found->typeId());
}

CommandResult unknownKey(const QString &key)
{
    return CommandResult::usage(QStringLiteral("no preference is called '%1' (--prefs lists them)").arg(key));
}

} // namespace

namespace PreferenceCommands {

CommandResult get(const QString &key, QTextStream &out)
{
    const std::optional<QMetaType::Type> type = typeOf(key);
    if (!type) {
        return unknownKey(key);
    }
    out << valueText(key, *type) << '\n';
    return CommandResult::success();
}

CommandResult set(const QString &key, const QString &value)
{
    const std::optional<QMetaType::Type> type = typeOf(key);
    if (!type) {
        return unknownKey(key);
    }
    const std::optional<QVariant> parsed = parseValue(key, value, *type);
    if (!parsed) {
        return CommandResult::usage(QStringLiteral("'%1' takes %2, not '%3'").arg(key, typeDescription(*type), value));
    }
    UserDefaults *defaults = UserDefaults::standardUserDefaults();
    if (!defaults->setObject(*parsed, key)) {
        return CommandResult::failure(QStringLiteral("cannot write %1").arg(defaults->fileName()));
    }
    return CommandResult::success();
}

CommandResult list(QTextStream &out)
{
    const QVariantMap defaults = RSSBrevlinController::defaultsDictionary();
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        out << TabSeparated::line({it.key(), valueText(it.key(), QMetaType::Type(it->typeId()))});
    }
    return CommandResult::success();
}

} // namespace PreferenceCommands
