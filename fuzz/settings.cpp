// Tolma.ini from arbitrary files: reading it, the row and width helpers, and writing the window's
// values onto an arbitrary existing file.
//
// Input layout: two bytes for the length of the file part, three signed bytes for the baud-rate,
// parity and model rows, then the file, then the four text values (ID, PORT, IP, LANPORT) as
// UTF-8 separated by line feeds.

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "app/Settings.h"

namespace {

// What the INI library itself makes of a file: the oracle for keys the program does not touch.
using TEntries = std::map<std::pair<std::string, std::string>, std::string>;

TEntries Entries(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    CSimpleIniA ini;
    ini.SetUnicode(false);
    ini.LoadData(bytes.constData(), size_t(bytes.size()));
    TEntries entries;
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    for (const auto& section : sections) {
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.pItem, keys);
        for (const auto& key : keys) {
            entries[{QByteArray(section.pItem).toUpper().toStdString(),
                     QByteArray(key.pItem).toUpper().toStdString()}] =
                ini.GetValue(section.pItem, key.pItem, "");
        }
    }
    return entries;
}

// Names and values an operator editing the file by hand could mean: printable, a section name
// without brackets, a key that the reader cannot take for a comment, a section or an assignment.
// Others (a section name running over a line break, say) have no form the file could keep.
bool IsPrintable(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    // A byte-order mark would be taken for the file's own when the name comes first in it.
    return text.find("\xEF\xBB\xBF") == std::string::npos;
}

bool IsEditable(const std::pair<std::string, std::string>& name, const std::string& value) {
    const auto& [section, key] = name;
    return IsPrintable(section) && IsPrintable(key) && IsPrintable(value) &&
           section.find_first_of("[]") == std::string::npos && !key.empty() &&
           key.find('=') == std::string::npos &&
           std::string(";#[").find(key[0]) == std::string::npos;
}

bool IsWrittenKey(const std::pair<std::string, std::string>& name) {
    if (name.first == "COM")
        return name.second == "ID" || name.second == "PORT" || name.second == "BAUDRATE" ||
               name.second == "PARITY" || name.second == "MODEL";
    return name.first == "LAN" && (name.second == "IP" || name.second == "LANPORT");
}

qsizetype SystemWidth(const QString& text) {
    QStringEncoder encoder(QStringConverter::System);
    return QByteArray(encoder.encode(text)).size();
}

// The cut is the longest prefix of whole characters that fits the width.
void CheckCut(const QString& value, int width) {
    const QString cut = CutToAnsiWidth(value, width);
    FUZZ_CHECK(value.startsWith(cut), "cut is not a prefix");
    FUZZ_CHECK(SystemWidth(cut) <= width, "cut of %lld bytes for width %d",
               qlonglong(SystemWidth(cut)), width);
    if (cut.size() < value.size()) {
        FUZZ_CHECK(
            !(cut.size() > 0 && cut.back().isHighSurrogate() && value[cut.size()].isLowSurrogate()),
            "cut splits a surrogate pair");
        const qsizetype next = value[cut.size()].isHighSurrogate() &&
                                       cut.size() + 1 < value.size() &&
                                       value[cut.size() + 1].isLowSurrogate()
                                   ? 2
                                   : 1;
        FUZZ_CHECK(SystemWidth(value.left(cut.size() + next)) > width,
                   "cut stops before a character that fits");
    }
}

// A value as an edit box could hold it and the file can carry it: one line, no NUL, no blanks at
// its ends (the file's reader trims them), no byte-order mark at its start (UTF-8 decoding takes
// it for one).
QString Carried(const QByteArray& utf8) {
    QString value = QString::fromUtf8(utf8);
    value.remove(QChar(u'\0'));
    value.remove(QChar(u'\r'));
    value.remove(QChar(u'\n'));
    while (!value.isEmpty() &&
           (value.front() == u' ' || value.front() == u'\t' || value.front() == u'\uFEFF'))
        value.remove(0, 1);
    while (!value.isEmpty() && (value.back() == u' ' || value.back() == u'\t'))
        value.chop(1);
    return value;
}

// A text that is a plain decimal number reads as that row, one with anything but digits, signs,
// blanks and hex prefixes never reads as anything but 0.
void CheckRow(const QString& text) {
    const int row = SettingRow(text);
    bool plain = !text.isEmpty() && text.size() <= 9;
    for (qsizetype i = 0; i < text.size(); ++i)
        plain = plain &&
                ((text[i].isDigit() && text[i].unicode() < 0x80) || (i == 0 && text[i] == u'-'));
    if (plain && text != u"-")
        FUZZ_CHECK(row == text.toInt(), "row of a decimal number");
    for (QChar c : text) {
        const bool allowed = ReferenceNibble(c.unicode()) >= 0 || c == u'x' || c == u'X' ||
                             c == u'$' || c == u'+' || c == u'-' || c == u' ' || c == u'\t';
        if (!allowed)
            FUZZ_CHECK(row == 0, "row %d from a text with U+%04X", row, unsigned(c.unicode()));
    }
}

const QString& IniPath() {
    // Removed when the fuzzer exits normally.
    static QTemporaryDir dir(ScratchParent() + QStringLiteral("/quorrin-fuzz-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("Tolma.ini"));
    return path;
}

void WriteFile(const QByteArray& bytes) {
    QFile file(IniPath());
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file");
    FUZZ_CHECK(file.write(bytes) == bytes.size(), "scratch file write");
}

QByteArray ReadFile() {
    QFile file(IniPath());
    FUZZ_CHECK(file.open(QIODevice::ReadOnly), "scratch file read");
    return file.readAll();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const quint16 fileLength = in.Word();
    const qint8 baud = qint8(in.Byte());
    const qint8 parity = qint8(in.Byte());
    const qint8 model = qint8(in.Byte());
    const QByteArray file = in.Take(fileLength);

    // Reading: every field is what the file holds, short fields cut to their widths.
    WriteFile(file);
    const TEntries before = Entries(file);
    const auto raw = [&](const char* section, const char* key) {
        const auto it = before.find({section, key});
        return it == before.end() ? QString() : QString::fromUtf8(it->second.c_str());
    };
    const TTolma1Table table = ReadTolmaFile(IniPath());
    FUZZ_CHECK(table.ID == CutToAnsiWidth(raw("COM", "ID"), 3), "ID read");
    FUZZ_CHECK(table.PORT == raw("COM", "PORT"), "PORT read");
    FUZZ_CHECK(table.Baudrate == CutToAnsiWidth(raw("COM", "BAUDRATE"), 1), "Baudrate read");
    FUZZ_CHECK(table.Parity == CutToAnsiWidth(raw("COM", "PARITY"), 1), "Parity read");
    FUZZ_CHECK(table.Model == CutToAnsiWidth(raw("COM", "MODEL"), 1), "Model read");
    FUZZ_CHECK(table.IP == raw("LAN", "IP"), "IP read");
    FUZZ_CHECK(table.LANPORT == raw("LAN", "LANPORT"), "LANPORT read");
    for (const QString& field : {raw("COM", "ID"), raw("COM", "PORT"), raw("LAN", "IP")}) {
        for (int width = 0; width <= 4; ++width)
            CheckCut(field, width);
        CheckRow(field);
    }
    for (const QString& field : {table.Baudrate, table.Parity, table.Model})
        CheckRow(field);
    // An edit box can hold any UTF-16, lone surrogates included: the rest as code units.
    const QByteArray rest = in.Rest();
    QString units;
    for (qsizetype i = 0; i + 1 < rest.size(); i += 2)
        units += QChar(char16_t(quint8(rest[i]) | quint8(rest[i + 1]) << 8));
    for (int width = 0; width <= 4; ++width)
        CheckCut(units, width);

    // Writing onto it: the values come back as written, everything else stays.
    const QList<QByteArray> texts = rest.split('\n');
    TTolmaValues values;
    values.ID = Carried(texts.value(0));
    values.PORT = Carried(texts.value(1));
    values.IP = Carried(texts.value(2));
    values.LANPORT = Carried(texts.value(3));
    values.Baudrate = baud;
    values.Parity = parity;
    values.Model = model;
    FUZZ_CHECK(WriteTolmaFile(IniPath(), values), "writing onto an existing readable file failed");

    const TTolma1Table back = ReadTolmaFile(IniPath());
    FUZZ_CHECK(back.ID == CutToAnsiWidth(values.ID, 3), "ID written");
    FUZZ_CHECK(back.PORT == values.PORT, "PORT written");
    FUZZ_CHECK(back.Baudrate == CutToAnsiWidth(QString::number(baud), 1), "Baudrate written");
    FUZZ_CHECK(back.Parity == CutToAnsiWidth(QString::number(parity), 1), "Parity written");
    FUZZ_CHECK(back.Model == CutToAnsiWidth(QString::number(model), 1), "Model written");
    FUZZ_CHECK(back.IP == values.IP, "IP written");
    FUZZ_CHECK(back.LANPORT == values.LANPORT, "LANPORT written");
    FUZZ_CHECK(SettingRow(QString::number(baud)) == baud, "row of a written index");

    // Only a file made wholly of such entries is sure to keep them: one name the reader cannot
    // write back as it read it (a key whose mark-like bytes become the file's mark, say) can move
    // the keys after it into another section.
    bool editable = true;
    for (const auto& [name, value] : before)
        editable = editable && IsEditable(name, value);
    if (!editable)
        return 0;
    const TEntries after = Entries(ReadFile());
    for (const auto& [name, value] : before) {
        if (IsWrittenKey(name))
            continue;
        const auto it = after.find(name);
        FUZZ_CHECK(it != after.end(), "[%s] %s lost", name.first.c_str(), name.second.c_str());
        FUZZ_CHECK(it->second == value, "[%s] %s changed from \"%s\" to \"%s\"", name.first.c_str(),
                   name.second.c_str(), value.c_str(), it->second.c_str());
    }
    return 0;
}
