#include "app/StoreEditCommand.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <memory>

#include "app/DesktopPlatform.h"
#include "app/FeedCommands.h"
#include "app/OpmlCommands.h"
#include "app/PreferenceCommands.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "app/StoreOwnership.h"
#include "model/OpmlReader.h"
#include "platform/StandardErrorAlerts.h"

namespace {

// One line without its line ending; nothing when standard input ends before giving one.
std::optional<QString> readPasswordLine()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray line = input.readLine();
    if (line.isEmpty()) {
        return std::nullopt;
    }
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return QString::fromUtf8(line);
}

CommandResult notReached(Rss_Brevlin_AppDelegate *delegate, const QString &why)
{
    return CommandResult::failure(QStringLiteral("nothing changed: another RSS Brevlin process is using the store %1 "
                                                 "and cannot be reached over the session bus (%2)")
                                      .arg(delegate->storeFilePath(), why));
}

} // namespace

namespace StoreEditCommand {

std::optional<StoreEdit> fromOptions(const CommandLineOptions &options, CommandResult *failure)
{
    using Command = CommandLineOptions::Command;
    StoreEdit edit;
    edit.argument = options.argument;
    switch (options.command) {
    case Command::Add:
        edit.kind = StoreEdit::Kind::AddFeed;
        edit.name = options.name;
        edit.credentials = options.credentials;
        edit.recent = options.recent;
        break;
    case Command::Edit:
        edit.kind = StoreEdit::Kind::EditFeed;
        edit.name = options.name;
        edit.credentials.login = options.credentials.login;
        edit.recent = options.recent;
        edit.notify = options.notify;
        edit.interval = options.interval;
        break;
    case Command::Remove:
        edit.kind = StoreEdit::Kind::RemoveFeed;
        break;
    case Command::ImportOpml: {
        edit.kind = StoreEdit::Kind::ImportOpml;
        QString error;
        const std::optional<QByteArray> document = OpmlReader::readFileData(options.argument, &error);
        if (!document) {
            *failure = CommandResult::failure(error);
            return std::nullopt;
        }
        edit.document = *document;
        break;
    }
    default:
        edit.kind = StoreEdit::Kind::SetPreference;
        edit.value = options.value;
        break;
    }
    // Read here: the running program that may apply the edit has no access to this input.
    if (options.passwordFromStandardInput) {
        edit.credentials.password = readPasswordLine();
        if (!edit.credentials.password) {
            *failure = CommandResult::failure(QStringLiteral("--password-stdin: no line on standard input"));
            return std::nullopt;
        }
    }
    return edit;
}

CommandResult apply(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit, QTextStream &out)
{
    switch (edit.kind) {
    case StoreEdit::Kind::AddFeed:
        return FeedCommands::add(delegate, edit);
    case StoreEdit::Kind::EditFeed:
        return FeedCommands::edit(delegate, edit);
    case StoreEdit::Kind::RemoveFeed:
        return FeedCommands::remove(delegate, edit.argument);
    case StoreEdit::Kind::ImportOpml:
        return OpmlCommands::import(delegate, edit.document, edit.argument, out);
    case StoreEdit::Kind::SetPreference:
        return PreferenceCommands::set(edit.argument, edit.value);
    }
    return CommandResult::failure();
}

StoreEditReply replyFor(const CommandResult &result, const QString &output)
{
    QStringList errorLines = result.warnings;
    if (!result.message.isEmpty()) {
        errorLines.append(result.message);
    } else if (result.exitCode != CommandResult::Success) {
        // The program reported the cause where it runs (a store it could not open); the asking
        // process must not fail without a word.
        errorLines.append(QStringLiteral("the running RSS Brevlin could not make the change; it reported why"));
    }
    return {result.exitCode, output, errorLines};
}

StoreEditReply applyForReply(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit)
{
    QString output;
    QTextStream out(&output);
    const CommandResult result = apply(delegate, edit, out);
    out.flush();
    return replyFor(result, output);
}

CommandResult run(Rss_Brevlin_AppDelegate *delegate, const CommandLineOptions &options, QTextStream &out)
{
    CommandResult failure;
    const std::optional<StoreEdit> edit = fromOptions(options, &failure);
    if (!edit) {
        return failure;
    }
    // Without a lock file no program has ever run on this store, so none runs now; a preference
    // then needs neither the lock nor the store's folder, which is not made for it.
    const bool noProgram = !QFileInfo::exists(StoreLock::lockFilePathFor(delegate->storeFilePath()));
    if (edit->kind == StoreEdit::Kind::SetPreference && noProgram) {
        return apply(delegate, *edit, out);
    }
    const std::unique_ptr<ProgramService> program(DesktopPlatform::createProgramService(nullptr));
    switch (StoreOwnership::takeOrFind(delegate, program.get())) {
    case StoreOwnership::Owner::ThisProcess:
        return apply(delegate, *edit, out);
    case StoreOwnership::Owner::Failed:
        return CommandResult::failure(delegate->lockErrorString());
    case StoreOwnership::Owner::UnreachableHolder:
        // With a bus but no owner answering, the holder is a check (or a one-shot edit), which
        // has no say in the preferences: they are this process's to write.
        if (edit->kind == StoreEdit::Kind::SetPreference && program->canReachPrograms()) {
            return apply(delegate, *edit, out);
        }
        return notReached(delegate, program->errorString());
    case StoreOwnership::Owner::RunningProgram:
        break;
    }
    QObject::connect(program.get(), &ProgramService::editProgressed, [](int done, int total) {
        StandardErrorAlerts::printLine(QStringLiteral("importing: %1 of %2 outlines").arg(done).arg(total));
    });
    const ProgramService::EditAnswer answer = program->askToEdit(delegate->storeFilePath(), *edit);
    switch (answer.status) {
    case ProgramService::EditAnswer::Status::Answered:
        break;
    case ProgramService::EditAnswer::Status::NotApplied:
        return notReached(delegate, program->errorString());
    case ProgramService::EditAnswer::Status::Unknown:
        return CommandResult::failure(program->errorString() + QStringLiteral("; see --list"));
    }
    out << answer.reply.output;
    return {answer.reply.exitCode, QString(), answer.reply.errorLines};
}

} // namespace StoreEditCommand
