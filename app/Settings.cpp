#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryFile>
// Values are handled as raw bytes here (UTF-8 is decoded by Qt), so no converter is needed.
#define SI_NO_CONVERSION
// Debian's packaging keeps the template bodies behind this switch; this is the one unit that
// instantiates them.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <string>

#include "app/NumConv.h"

TTolma1Table Tolma1Table;

namespace {

constexpr const char* kCom = "COM";
constexpr const char* kLan = "LAN";

// Section and key names compare without regard to letter case, as operators edit the file by
// hand: CSimpleIniA is SimpleIni's case-insensitive variant (the "Case" one compares exactly).
// The file is handled as bytes; values are UTF-8.
using TIni = CSimpleIniA;

enum class TLoad { Loaded, Missing, Failed };

TLoad LoadIni(const QString& fileName, TIni& ini) {
    QFile file(fileName);
    if (!file.exists())
        return TLoad::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return TLoad::Failed;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return TLoad::Failed;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    return ini.LoadData(data.constData(), size_t(data.size())) < 0 ? TLoad::Failed : TLoad::Loaded;
}

bool SaveIni(const QString& fileName, const TIni& ini) {
    std::string text;
    if (ini.Save(text, false) < 0)
        return false;
    // Written beside the old file and renamed over it, so a failure never leaves half a file;
    // where the folder itself is not writable the file is written in place.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A value is one line of the file. A pasted text can carry line breaks, and whatever followed one
// would be read back as keys and sections of its own, moving the keys after it out of their
// section; the value is kept up to its first line break.
QString FirstLine(const QString& value) {
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\r' || value[i] == u'\n')
            return value.left(i);
    }
    return value;
}

QString Value(const TIni& ini, const char* section, const char* key) {
    return QString::fromUtf8(ini.GetValue(section, key, ""));
}

}  // namespace

QString CutToAnsiWidth(const QString& value, int width) {
    QStringEncoder encoder(QStringConverter::System);
    int used = 0;
    qsizetype end = 0;
    while (end < value.size()) {
        // A surrogate pair is one character; a lone half is one of its own, so that a pair after
        // it is never cut between its halves.
        const bool pair = value[end].isHighSurrogate() && end + 1 < value.size() &&
                          value[end + 1].isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const QByteArray bytes = encoder.encode(value.mid(end, length));
        if (used + bytes.size() > width)
            break;
        used += int(bytes.size());
        end += length;
    }
    return value.left(end);
}

TTolma1Table ReadTolmaFile(const QString& fileName) {
    TIni ini;
    ini.SetUnicode(false);
    LoadIni(fileName, ini);
    TTolma1Table table;
    // Three characters hold every slave ID (a cut one would address another controller); the
    // port is kept whole, as COM12 is not COM1 and a device path is long.
    table.ID = CutToAnsiWidth(Value(ini, kCom, "ID"), 3);
    table.PORT = Value(ini, kCom, "PORT");
    table.Baudrate = CutToAnsiWidth(Value(ini, kCom, "Baudrate"), 1);
    table.Parity = CutToAnsiWidth(Value(ini, kCom, "Parity"), 1);
    table.Model = CutToAnsiWidth(Value(ini, kCom, "Model"), 1);
    table.IP = Value(ini, kLan, "IP");
    table.LANPORT = Value(ini, kLan, "LANPORT");
    return table;
}

int SettingRow(const QString& text) {
    return StrToIntDef(text, 0);
}

bool WriteTolmaFile(const QString& fileName, const TTolmaValues& values) {
    TIni ini;
    ini.SetUnicode(false);
    ini.SetSpaces(false);
    // A file that exists but cannot be read is not overwritten: its other keys would be lost.
    if (LoadIni(fileName, ini) == TLoad::Failed)
        return false;

    const struct {
        const char* section;
        const char* key;
        QString value;
    } keys[] = {
        {kCom, "ID", values.ID},
        {kCom, "PORT", values.PORT},
        {kCom, "Baudrate", QString::number(values.Baudrate)},
        {kCom, "Parity", QString::number(values.Parity)},
        {kCom, "Model", QString::number(values.Model)},
        {kLan, "IP", values.IP},
        {kLan, "LANPORT", values.LANPORT},
    };
    for (const auto& k : keys) {
        const QByteArray value = FirstLine(k.value).toUtf8();
        if (ini.SetValue(k.section, k.key, value.constData()) < 0)
            return false;
        if (!SaveIni(fileName, ini))
            return false;
    }
    return true;
}

namespace {

// Whether a file can be created in the folder: the real test, which a read-only mount, an
// immutable folder or missing rights all fail, whoever runs the program.
bool CanCreateFilesIn(const QString& dir) {
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".quorrin-XXXXXX")));
    return probe.open();
}

}  // namespace

QString SettingsFileLocation(const QString& executableDir, const QString& configDir) {
    const QString besideProgram = QDir(executableDir).filePath(QStringLiteral("Tolma.ini"));
    if (CanCreateFilesIn(executableDir))
        return besideProgram;
    const QString user = QDir(configDir).filePath(QStringLiteral("Tolma.ini"));
    if (!QFileInfo::exists(user) && QFileInfo(besideProgram).isFile() && QDir().mkpath(configDir))
        QFile::copy(besideProgram, user);
    return user;
}

QString UserSettingsDir() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Quorrin"));
}
