#pragma once

#include <QStringList>

// Exit statuses: scripts branch on them, so they never change.
enum TCliExit : int {
    kCliDone = 0,
    kCliUsage = 1,
    kCliNoLink = 2,
    kCliNoAnswer = 3,
    kCliException = 4,
    kCliDiffers = 5,
};

// Runs one command line (without the program name) and returns its exit status. Results go to
// stdout, messages and progress to stderr.
int RunCli(const QStringList& arguments);
