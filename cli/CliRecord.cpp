#include "cli/CliRecord.h"

#include <unistd.h>
#include <QDateTime>

#include <cerrno>
#include <cstring>

TTrace::~TTrace() {
    if (FOwned && FOut != nullptr)
        std::fclose(FOut);
}

bool TTrace::Open(const QString& path, QString& error) {
    if (path == QStringLiteral("-")) {
        FOut = stderr;
        return true;
    }
    FOut = std::fopen(QFile::encodeName(path).constData(), "a");
    if (FOut == nullptr) {
        error = QStringLiteral("--trace: %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    FOwned = true;
    return true;
}

void TTrace::Frame(char direction, const QByteArray& frame, const QString& verdict) {
    if (FOut == nullptr)
        return;
    QString line = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")) + u' ' +
                   QChar::fromLatin1(direction) + u' ' + HexBytes(frame);
    if (!verdict.isEmpty())
        line += QStringLiteral("  ") + verdict;
    std::fprintf(FOut, "%s\n", line.toUtf8().constData());
    std::fflush(FOut);
}

QStringList TProductionLog::Header() {
    return {QStringLiteral("time"),   QStringLiteral("station"),     QStringLiteral("link"),
            QStringLiteral("slave"),  QStringLiteral("command"),     QStringLiteral("values"),
            QStringLiteral("result"), QStringLiteral("exit_status"), QStringLiteral("duration_ms")};
}

bool TProductionLog::Open(const QString& path, QString& error) {
    FFile.setFileName(path);
    if (!FFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QStringLiteral("--log: %1: %2").arg(path, FFile.errorString());
        return false;
    }
    if (FFile.size() == 0) {
        QStringList header;
        for (const QString& name : Header())
            header << CsvField(name);
        if (FFile.write((header.join(u',') + QStringLiteral("\n")).toUtf8()) < 0 ||
            !FFile.flush()) {
            error = QStringLiteral("--log: %1: %2").arg(path, FFile.errorString());
            return false;
        }
    }
    return true;
}

bool TProductionLog::Append(const QStringList& fields, QString& error) {
    QStringList row;
    for (const QString& field : fields)
        row << CsvField(field);
    const QByteArray line = (row.join(u',') + QStringLiteral("\n")).toUtf8();
    if (FFile.write(line) != line.size() || !FFile.flush() || ::fsync(FFile.handle()) != 0) {
        error = QStringLiteral("--log: %1: %2").arg(FFile.fileName(), FFile.errorString());
        return false;
    }
    return true;
}

QString CsvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString LocalTimeWithZone() {
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString HexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
