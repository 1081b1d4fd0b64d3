#pragma once

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include "controller/RSSBrevlinController.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"
#include "tests/support/TestSupport.h"

namespace TestSupport {

// A temporary home with fresh preferences (defaults registered) for one test.
class PreferencesHome : public TemporaryHome
{
public:
    PreferencesHome()
    {
        UserDefaults::resetStandardUserDefaults();
        RSSBrevlinController::initialize();
    }
    ~PreferencesHome() { UserDefaults::resetStandardUserDefaults(); }
};

inline void setPreference(const QString &key, const QVariant &value)
{
    UserDefaults::standardUserDefaults()->setObject(value, key);
}

inline QString dataModel();

// One test's store: a temporary home with fresh preferences and its caches folder, and an
// object context that is either left unopened (its records live in memory only) or opened
// on a store file in the home's data folder.
struct StoreFixture
{
    enum class Store { InMemory, File };

    std::unique_ptr<PreferencesHome> home;
    std::unique_ptr<ObjectContext> context;

    bool setUp(Store store)
    {
        home = std::make_unique<PreferencesHome>();
        context = std::make_unique<ObjectContext>();
        const bool folders = QDir().mkpath(home->dataHome()) && QDir().mkpath(cachesFolder());
        return folders && (store == Store::InMemory || context->open(storePath(), dataModel()));
    }
    void tearDown()
    {
        context.reset();
        home.reset();
    }
    QString storePath() const { return home->dataHome() + QStringLiteral("/store.sql"); }
    // Another context on the store file, as a later run of the program sees it; nothing, with
    // the reason logged, when it cannot be opened.
    std::unique_ptr<ObjectContext> openContext() const
    {
        auto other = std::make_unique<ObjectContext>();
        if (!other->open(storePath(), dataModel())) {
            qWarning("%s", qPrintable(other->errorString()));
            return nullptr;
        }
        return other;
    }
    QString cachesFolder() const { return home->cacheHome() + QStringLiteral("/Rss_Brevlin"); }
};

inline QString dataModel()
{
    QFile resource(QStringLiteral(":/Rss_Brevlin_DataModel"));
    resource.open(QIODevice::ReadOnly);
    return QString::fromUtf8(resource.readAll());
}

// Runs SQL on a store file through a connection of its own, as another program would.
inline bool runSql(const QString &path, const QStringList &statements)
{
    const QString name = QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        ok = database.open();
        QSqlQuery query(database);
        for (const QString &statement : statements) {
            ok = ok && query.exec(statement);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The single number a query on a store file gives, through a connection of its own.
inline qint64 countRows(const QString &path, const QString &sql)
{
    const QString name = QUuid::createUuid().toString();
    qint64 count = -1;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        QSqlQuery query(database);
        if (database.open() && query.exec(sql) && query.next()) {
            count = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

} // namespace TestSupport
