#include "cli/CliArgs.h"

#include <QRegularExpression>
#include <set>

namespace {

struct TOptionRule {
    const char* Name;
    bool TakesValue;
    // Commands that take the option; empty: every command.
    std::set<QString> Commands;
};

const std::vector<TOptionRule>& OptionRules() {
    static const std::vector<TOptionRule> rules = {
        {"serial", true, {}},
        {"baud", true, {}},
        {"parity", true, {}},
        {"lan", true, {}},
        {"slave", true, {}},
        {"settings", true, {}},
        {"retries", true, {}},
        {"timeout", true, {}},
        {"log", true, {}},
        {"trace", true, {}},
        {"json", false, {}},
        {"help", false, {}},
        {"version", false, {}},
        {"target", true, {"suffix"}},
        {"year", true, {"suffix", "board"}},
        {"company", true, {"suffix"}},
        {"number", true, {"suffix", "board"}},
        {"month", true, {"board"}},
        {"model", true, {"hour"}},
        {"total-hour", true, {"hour"}},
        {"total-min", true, {"hour"}},
        {"load-hour", true, {"hour"}},
        {"load-min", true, {"hour"}},
        {"kw-hour", true, {"hour"}},
        {"kw-min", true, {"hour"}},
        {"memory-model", true, {"read", "write", "verify"}},
        {"output", true, {"read"}},
        {"verify", false, {"write"}},
    };
    return rules;
}

const QStringList kCommands{QStringLiteral("test"),  QStringLiteral("suffix"),
                            QStringLiteral("board"), QStringLiteral("hour"),
                            QStringLiteral("read"),  QStringLiteral("write"),
                            QStringLiteral("verify")};

const TOptionRule* FindRule(const QString& name) {
    for (const TOptionRule& rule : OptionRules())
        if (name == QLatin1String(rule.Name))
            return &rule;
    return nullptr;
}

}  // namespace

TCliArgs ParseCliArgs(const QStringList& arguments) {
    TCliArgs args;
    QStringList positional;
    // Options are checked against the command once it is known.
    QStringList given;
    bool optionsEnded = false;  // after "--" everything is a command or a file name
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !argument.startsWith(u'-') || argument == QStringLiteral("-")) {
            positional << argument;
            continue;
        }
        QString name;
        QString value;
        bool hasValue = false;
        if (argument == QStringLiteral("-o")) {
            name = QStringLiteral("output");
        } else if (argument == QStringLiteral("-h")) {
            name = QStringLiteral("help");
        } else if (argument.startsWith(QStringLiteral("--"))) {
            name = argument.mid(2);
            const qsizetype equals = name.indexOf(u'=');
            if (equals >= 0) {
                value = name.mid(equals + 1);
                name.truncate(equals);
                hasValue = true;
            }
        } else {
            throw ECliUsage(QStringLiteral("unknown option %1").arg(argument));
        }
        const TOptionRule* rule = FindRule(name);
        if (rule == nullptr)
            throw ECliUsage(QStringLiteral("unknown option --%1").arg(name));
        if (given.contains(name))
            throw ECliUsage(QStringLiteral("--%1 is given twice").arg(name));
        given << name;
        if (!rule->TakesValue) {
            if (hasValue)
                throw ECliUsage(QStringLiteral("--%1 takes no value").arg(name));
            args.Flags << name;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                throw ECliUsage(QStringLiteral("--%1 needs a value").arg(name));
            value = arguments[++i];
        }
        args.Values.insert(name, value);
    }
    if (args.Flag(QStringLiteral("help")) || args.Flag(QStringLiteral("version")))
        return args;
    if (positional.isEmpty())
        throw ECliUsage(QStringLiteral("no command (one of %1)").arg(kCommands.join(u' ')));
    args.Command = positional.takeFirst();
    if (!kCommands.contains(args.Command))
        throw ECliUsage(QStringLiteral("unknown command %1").arg(args.Command));
    const bool takesFile =
        args.Command == QStringLiteral("write") || args.Command == QStringLiteral("verify");
    if (takesFile) {
        if (positional.isEmpty())
            throw ECliUsage(QStringLiteral("%1 needs a memory file").arg(args.Command));
        args.File = positional.takeFirst();
        if (args.File.isEmpty())
            throw ECliUsage(QStringLiteral("%1: the file name is empty").arg(args.Command));
    }
    if (!positional.isEmpty())
        throw ECliUsage(QStringLiteral("unexpected argument %1").arg(positional.first()));
    for (const QString& name : given) {
        const TOptionRule* rule = FindRule(name);
        if (!rule->Commands.empty() && !rule->Commands.count(args.Command))
            throw ECliUsage(QStringLiteral("%1 takes no --%2").arg(args.Command, name));
    }
    return args;
}

qint64 CliNumber(const QString& option, const QString& text, qint64 min, qint64 max) {
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,18}")));
    if (!digits.match(text).hasMatch())
        throw ECliUsage(QStringLiteral("--%1: '%2' is not a number").arg(option, text));
    const qint64 value = text.toLongLong();
    if (value < min || value > max)
        throw ECliUsage(
            QStringLiteral("--%1: %2 is not in %3..%4").arg(option, text).arg(min).arg(max));
    return value;
}

int CliRow(const QString& option, const QString& text, const QStringList& rows) {
    const qsizetype byText = rows.indexOf(text);
    if (byText >= 0)
        return int(byText);
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,9}")));
    if (digits.match(text).hasMatch() && text.toInt() < rows.size())
        return text.toInt();
    throw ECliUsage(QStringLiteral("--%1: '%2' is not a row (0..%3 or one of: %4)")
                        .arg(option, text)
                        .arg(rows.size() - 1)
                        .arg(rows.join(QStringLiteral(" | "))));
}

QString CliCharacter(const QString& option, const QString& text) {
    if (text.size() != 1 || text[0].unicode() < 0x21 || text[0].unicode() > 0x7E)
        throw ECliUsage(
            QStringLiteral("--%1: '%2' is not one printable ASCII character").arg(option, text));
    return text.toUpper();
}

QString CliUsageText() {
    return QStringLiteral(
        "usage: quorrin-cli [LINK] [OPTIONS] COMMAND [COMMAND OPTIONS]\n"
        "\n"
        "Programs one controller as a Modbus RTU master, with the frames the Quorrin window "
        "sends.\n"
        "\n"
        "Link (without these, the link and slave ID come from Tolma.ini next to the program):\n"
        "  --serial PORT        COM number (3 or COM3, mapped as the window maps it) or device "
        "path\n"
        "  --baud N             9600, 19200 or 38400 (default 9600)\n"
        "  --parity P           none, even or odd (default none)\n"
        "  --lan HOST:PORT      RTU frames over a plain TCP stream, as the window's LAN link\n"
        "  --slave N            slave ID, 1..247\n"
        "  --settings FILE      another settings file\n"
        "\n"
        "Commands:\n"
        "  test                                 communication test; prints the 44 input registers\n"
        "  suffix [--target ROW] [--year C] [--company C] [--number N]\n"
        "                                       serial-number suffix (number 0..65535)\n"
        "  board [--year N] [--month N] [--number N]\n"
        "                                       board suffix (year, month 0..255, number "
        "0..65535)\n"
        "  hour --model ROW --total-hour N --total-min N --load-hour N --load-min N\n"
        "       [--kw-hour N] [--kw-min N]      hour meters; every box the model's page shows\n"
        "  read --memory-model ROW -o FILE      memory window to a memory file\n"
        "  write --memory-model ROW FILE [--verify]\n"
        "                                       memory file to the controller, then read back\n"
        "  verify --memory-model ROW FILE       compare the controller's memory with the file\n"
        "  A ROW is the index or the text of the row in the window's list. Omitted suffix and\n"
        "  board fields are sent as 0xFF, as empty boxes on the pages are.\n"
        "\n"
        "Options:\n"
        "  --retries N          further attempts per request, 0..20 (default 3)\n"
        "  --timeout MS         per attempt, 1..60000 (default from the line speed)\n"
        "  --json               one JSON object on stdout instead of the text result\n"
        "  --log FILE.csv       append one row per command; nothing is sent if it cannot be "
        "written\n"
        "  --trace FILE         every frame sent and received, with time and verdict ('-': "
        "stderr)\n"
        "  --help, --version\n"
        "\n"
        "Exit status:\n"
        "  0  done (and verified when asked)\n"
        "  1  bad usage or value, or the log cannot be written: nothing was sent\n"
        "  2  the link could not be opened\n"
        "  3  no valid answer after the retries\n"
        "  4  the controller answered with an exception\n"
        "  5  verification found a difference (the first differing offset is printed)\n");
}
