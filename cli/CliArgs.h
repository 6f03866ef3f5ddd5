#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <stdexcept>

// A usage error: bad option, bad value, missing value. Exit status 1, one line on stderr.
class ECliUsage : public std::runtime_error {
public:
    explicit ECliUsage(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The command line, split into the command, its options and its one file argument. Options are
// --name VALUE or --name=VALUE (and -o FILE); each may be given once.
struct TCliArgs {
    QString Command;
    QString File;                   // write, verify: the memory file
    QMap<QString, QString> Values;  // option name without dashes -> value
    QStringList Flags;              // --json, --verify, --help, --version

    bool Has(const QString& name) const { return Values.contains(name); }
    QString Value(const QString& name) const { return Values.value(name); }
    bool Flag(const QString& name) const { return Flags.contains(name); }
};

// Raises ECliUsage for an unknown option, an option the command does not take, a missing value
// or a repeated option.
TCliArgs ParseCliArgs(const QStringList& arguments);

// A decimal number without sign or blanks in min..max; anything else raises ECliUsage naming the
// option ("--slave: 300 is not in 1..247").
qint64 CliNumber(const QString& option, const QString& text, qint64 min, qint64 max);

// A list row given by its index or by its text in the window's list.
int CliRow(const QString& option, const QString& text, const QStringList& rows);

// One character that fits a byte field: printable ASCII, folded to capitals as the page's
// upper-case box folds it.
QString CliCharacter(const QString& option, const QString& text);

QString CliUsageText();
