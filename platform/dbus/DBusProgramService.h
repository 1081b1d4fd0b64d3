#pragma once

#include "platform/ProgramService.h"

// The program on the session bus as "org.rssbrevlin.RssBrevlin", object "/RssBrevlin", with the
// method ShowSubscriptions().
class DBusProgramService : public ProgramService
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.rssbrevlin.RssBrevlin")
public:
    static const QString serviceName;
    static const QString objectPath;

    using ProgramService::ProgramService;
    ~DBusProgramService() override;

    bool registerProgram() override;

public Q_SLOTS:
    Q_SCRIPTABLE void ShowSubscriptions();

private:
    bool m_registered = false;
};
