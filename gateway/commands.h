#pragma once

#include <QStringList>

// Each sub-command of the kesto program; the arguments exclude the program
// name and the command word. The result is the process exit status.
int runDesktop(int& argc, char** argv);
int runDocumentsCommand(const QStringList& args);
int runInitDbCommand(const QStringList& args);
int runParseCommand(const QStringList& args);
int runReportCommand(const QStringList& args);
int runRunCommand(const QStringList& args);
int runSetupCommand(const QStringList& args);
int runStatusCommand(const QStringList& args);
