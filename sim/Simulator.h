#pragma once

#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <memory>

#include "sim/Faults.h"
#include "sim/RegisterMap.h"

class TSimLink;
class TTcpLink;
class TPtyLink;

struct TSimOptions {
    int Slave = 1;
    bool Tcp = true;
    int TcpPort = 0;  // 0: any free port
    bool Pty = true;
    QString ImageFile;  // loaded at start when it exists, saved at exit
    QString StateFile;  // the stored records, written whenever they change and at exit
    int Fill = -1;      // the byte of a fresh image; -1 for the default pattern
    int LineBaud = 0;   // replies paced as on a serial line at this rate; 0 for at once
    bool LineParity = false;
    int ChunkMs = 0;  // paced replies handed over in pieces this often, as a USB adapter does
    TFaultOptions Faults;
};

// The controller: its memory, the fault plan and the links, with a log line for every request,
// reply and event on stdout.
class TSimulator : public QObject {
    Q_OBJECT
public:
    explicit TSimulator(const TSimOptions& options);
    ~TSimulator() override;

    // Loads the image and opens the links; prints the LISTEN and PTY lines, then READY.
    bool Start(QString* error);
    // Writes the image and the state file; false (with a log line) when one cannot be written.
    bool Save();

    void HandleFrame(TSimLink& link, const QByteArray& frame);

    // A timestamped log line; every line is flushed at once so that readers see it at once.
    static void Log(const QString& source, const QString& text);
    // A line without timestamp, for the lines a starter waits for.
    static void Print(const QString& line);

private:
    bool LoadImage(QString* error);
    bool SaveImage();
    bool SaveState();
    void Reply(TSimLink& link, const TAnswer& answer, const TFaults& faults, quint64 number);

    TSimOptions FOptions;
    TControllerMemory FMemory;
    quint64 FRequests = 0;
    QRandomGenerator FRandom;
    std::unique_ptr<TTcpLink> FTcp;
    std::unique_ptr<TPtyLink> FPty;
};
