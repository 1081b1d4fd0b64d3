#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace TestSupport {

// Collects the messages logged while it lives, of one logging category or, without one, of
// every category, and of those only the ones starting with prefix when one is given; they
// still reach the handler that was installed before.
class LogCapture
{
public:
    explicit LogCapture(const QByteArray &category = {}, const QString &prefix = {})
    {
        s_category = category;
        s_prefix = prefix;
        s_lines.clear();
        s_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if ((s_category.isEmpty() || s_category == context.category) && message.startsWith(s_prefix)) {
            s_lines.append(message);
        }
        s_previous(type, context, message);
    }
    static inline QByteArray s_category;
    static inline QString s_prefix;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace TestSupport
