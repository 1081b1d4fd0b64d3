#pragma once

#include <QObject>

// The running program as other processes of the session reach it: it claims a well-known
// name, and another start of the program (or a script) asks it through that name to show its
// subscription window.
class ProgramService : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Claims the name; false when another process holds it (the program already runs).
    virtual bool registerProgram() = 0;

Q_SIGNALS:
    void showSubscriptionsRequested();
};
