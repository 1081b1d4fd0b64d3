#include "platform/keyring/SecretServicePasswordStore.h"

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QMetaObject>
#include <QPointer>

#include <libsecret/secret.h>

#include <memory>

namespace {

using Outcome = PasswordJob::Outcome;

const SecretSchema *feedSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema value{};
        value.name = "org.rssbrevlin.RssBrevlin.FeedPassword";
        value.flags = SECRET_SCHEMA_NONE;
        value.attributes[0] = {"application", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[1] = {"url", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[2] = {"login", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return value;
    }();
    return &schema;
}

// The attributes of a key, as libsecret takes them. The table owns copies of its strings: an
// asynchronous request keeps it, and reads it, after the call has returned.
class Attributes
{
public:
    explicit Attributes(const PasswordKey &key)
        : m_table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free), g_hash_table_unref)
    {
        insert("application", QByteArrayLiteral("rss-brevlin"));
        insert("url", key.url.toUtf8());
        insert("login", key.login.toUtf8());
    }

    GHashTable *table() const { return m_table.get(); }

private:
    void insert(const char *name, const QByteArray &value)
    {
        g_hash_table_insert(m_table.get(), g_strdup(name), g_strdup(value.constData()));
    }

    std::unique_ptr<GHashTable, decltype(&g_hash_table_unref)> m_table;
};

// libsecret calls back with whatever pointer it was given, even after the job went with its
// store; the callback gets a guard that knows.
QPointer<PasswordJob> *guard(PasswordJob *job)
{
    return new QPointer<PasswordJob>(job);
}

PasswordJob *takeJob(gpointer data)
{
    std::unique_ptr<QPointer<PasswordJob>> job(static_cast<QPointer<PasswordJob> *>(data));
    return job->data();
}

QString takeMessage(GError *error)
{
    const QString message = QString::fromUtf8(error->message);
    g_error_free(error);
    return message;
}

void onSearched(GObject *, GAsyncResult *result, gpointer data)
{
    GError *error = nullptr;
    GList *items = secret_service_search_finish(nullptr, result, &error);
    PasswordJob *job = takeJob(data);
    if (error) {
        const QString message = takeMessage(error);
        if (job) {
            job->finish(Outcome::Unavailable, QString(), message);
        }
        return;
    }
    std::unique_ptr<GList, void (*)(GList *)> list(items, [](GList *l) { g_list_free_full(l, g_object_unref); });
    if (!job) {
        return;
    }
    if (!items) {
        job->finish(Outcome::NotFound);
        return;
    }
    // An unlock the user or the keyring refused leaves the item locked, which a plain lookup
    // would report as no password at all.
    auto *item = static_cast<SecretItem *>(items->data);
    SecretValue *value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
    if (!value) {
        job->finish(Outcome::Unavailable, QString(), QStringLiteral("the keyring is locked"));
        return;
    }
    gsize length = 0;
    const gchar *bytes = secret_value_get(value, &length);
    const QString password = QString::fromUtf8(bytes, qsizetype(length));
    secret_value_unref(value);
    job->finish(Outcome::Done, password);
}

// A write on its way through libsecret: the default collection is looked up, unlocked when it
// is locked (the keyring may ask the user), and only then given the item, since a store into a
// locked collection fails without asking.
struct PendingWrite
{
    QPointer<PasswordJob> job;
    PasswordKey key;
    QByteArray password;
    SecretCollection *collection = nullptr;

    ~PendingWrite()
    {
        if (collection) {
            g_object_unref(collection);
        }
    }
    void fail(const QString &message)
    {
        if (job) {
            job->finish(Outcome::Unavailable, QString(), message);
        }
    }
};

std::unique_ptr<PendingWrite> takeWrite(gpointer data)
{
    return std::unique_ptr<PendingWrite>(static_cast<PendingWrite *>(data));
}

void onStored(GObject *, GAsyncResult *result, gpointer data)
{
    const std::unique_ptr<PendingWrite> write = takeWrite(data);
    GError *error = nullptr;
    if (!secret_password_store_finish(result, &error)) {
        write->fail(error ? takeMessage(error) : QStringLiteral("the keyring did not keep the password"));
    } else if (write->job) {
        write->job->finish(Outcome::Done);
    }
}

void store(std::unique_ptr<PendingWrite> write)
{
    const Attributes attributes(write->key);
    const QByteArray label = QStringLiteral("RSS Brevlin: %1 at %2").arg(write->key.login, write->key.url).toUtf8();
    const QByteArray password = write->password;
    secret_password_storev(feedSchema(), attributes.table(), SECRET_COLLECTION_DEFAULT, label.constData(),
                           password.constData(), nullptr, onStored, write.release());
}

void onUnlocked(GObject *, GAsyncResult *result, gpointer data)
{
    std::unique_ptr<PendingWrite> write = takeWrite(data);
    GError *error = nullptr;
    GList *unlocked = nullptr;
    const gint count = secret_service_unlock_finish(nullptr, result, &unlocked, &error);
    g_list_free_full(unlocked, g_object_unref);
    if (error) {
        write->fail(takeMessage(error));
    } else if (count == 0) {
        write->fail(QStringLiteral("the keyring is locked"));
    } else {
        store(std::move(write));
    }
}

void onDefaultCollection(GObject *, GAsyncResult *result, gpointer data)
{
    std::unique_ptr<PendingWrite> write = takeWrite(data);
    GError *error = nullptr;
    write->collection = secret_collection_for_alias_finish(result, &error);
    if (error) {
        write->fail(takeMessage(error));
        return;
    }
    // Without a default collection the store itself says what is missing.
    if (!write->collection || !secret_collection_get_locked(write->collection)) {
        store(std::move(write));
        return;
    }
    GList *objects = g_list_append(nullptr, write->collection);
    secret_service_unlock(nullptr, objects, nullptr, onUnlocked, write.release());
    g_list_free(objects);
}

void onCleared(GObject *, GAsyncResult *result, gpointer data)
{
    GError *error = nullptr;
    const bool removed = secret_password_clear_finish(result, &error);
    const QString message = error ? takeMessage(error) : QString();
    if (PasswordJob *job = takeJob(data)) {
        job->finish(!message.isEmpty() ? Outcome::Unavailable
                        : removed      ? Outcome::Done
                                       : Outcome::NotFound,
                    QString(), message);
    }
}

// libsecret answers through the GLib main context; Qt runs it unless built or started without
// GLib (QT_NO_GLIB), and then no answer would ever come.
bool eventLoopServesGlib()
{
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

PasswordJob *unservedJob(QObject *parent)
{
    auto *job = new PasswordJob(parent);
    QMetaObject::invokeMethod(
        job,
        [job] {
            job->finish(Outcome::Unavailable, QString(),
                        QStringLiteral("this program's event loop cannot take the keyring's answers"));
        },
        Qt::QueuedConnection);
    return job;
}

} // namespace

PasswordJob *SecretServicePasswordStore::readPassword(const PasswordKey &key)
{
    if (!eventLoopServesGlib()) {
        return unservedJob(this);
    }
    auto *job = new PasswordJob(this);
    const Attributes attributes(key);
    const auto flags = SecretSearchFlags(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    secret_service_search(nullptr, feedSchema(), attributes.table(), flags, nullptr, onSearched, guard(job));
    return job;
}

PasswordJob *SecretServicePasswordStore::writePassword(const PasswordKey &key, const QString &password)
{
    if (!eventLoopServesGlib()) {
        return unservedJob(this);
    }
    auto *job = new PasswordJob(this);
    auto *write = new PendingWrite{job, key, password.toUtf8()};
    secret_collection_for_alias(nullptr, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr,
                                onDefaultCollection, write);
    return job;
}

PasswordJob *SecretServicePasswordStore::deletePassword(const PasswordKey &key)
{
    if (!eventLoopServesGlib()) {
        return unservedJob(this);
    }
    auto *job = new PasswordJob(this);
    const Attributes attributes(key);
    secret_password_clearv(feedSchema(), attributes.table(), nullptr, onCleared, guard(job));
    return job;
}
