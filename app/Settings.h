#pragma once

#include <QString>

// The settings record. Reading squeezes the short fields to their width in bytes of the system
// code page; the file itself keeps whatever was written.
struct TTolma1Table {
    QString ID;        // 3: slave ID
    QString PORT;      // whole: serial port number or device path
    QString Baudrate;  // 1: baud-rate row
    QString Parity;    // 1: parity row
    QString Model;     // 1: hour-meter model row
    QString Interval;  // 3: not carried by the file
    QString Times;     // 4: not carried by the file
    QString IP;        // any length: LAN host
    QString LANPORT;   // any length: LAN port
};

extern TTolma1Table Tolma1Table;

// What the window hands to the file when it closes.
struct TTolmaValues {
    QString ID;
    QString PORT;
    int Baudrate = -1;
    int Parity = -1;
    int Model = -1;
    QString IP;
    QString LANPORT;
};

// The first characters of value that fit in width bytes of the system code page; a character
// that would only partly fit is dropped.
QString CutToAnsiWidth(const QString& value, int width);

// Reads the file into a record, each short field cut to its width. A missing or unreadable file,
// section or key reads as the empty text.
TTolma1Table ReadTolmaFile(const QString& fileName);

// The list row a stored index selects: its decimal value, or 0 when it is empty or not a number.
int SettingRow(const QString& text);

// Writes the seven keys one by one, each reaching the file before the next is set; other
// sections, keys and comments stay. A value is written up to its first line break. Stops at the
// first failure and returns false.
bool WriteTolmaFile(const QString& fileName, const TTolmaValues& values);

// Where the settings file lives. Next to the executable when that folder can be written, so that
// a built or copied program keeps its own file. Otherwise (an installed program) in the user's
// configuration folder: configDir, the window's and the command line's alike; when no file is
// there yet, the one next to the executable, if any, is copied there first.
QString SettingsFileLocation(const QString& executableDir, const QString& configDir);
// The user's configuration folder for Quorrin: $XDG_CONFIG_HOME/Quorrin or ~/.config/Quorrin.
QString UserSettingsDir();
