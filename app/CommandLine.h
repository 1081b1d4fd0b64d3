#pragma once

#include "app/CommandLineOptions.h"

// Carries out one command of the command line on the program's store and preferences and
// gives the process's exit code: the command's output on standard output, a failure as
// one line on standard error.
class CommandLine
{
public:
    explicit CommandLine(const CommandLineOptions &options);

    int run();

private:
    CommandLineOptions m_options;
};
