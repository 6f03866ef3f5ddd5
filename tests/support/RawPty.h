#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

// A pseudo-terminal whose device path the program opens as its serial port, while the test reads
// and writes raw bytes on the other side, standing in for a controller.
class RawPty {
public:
    RawPty();
    ~RawPty();
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;

    QString Path() const { return FPath; }
    void Send(const QByteArray& bytes);
    // Bytes the program has written, collected until at least count arrived or the deadline
    // passed (events keep being processed meanwhile).
    QByteArray Receive(int count, std::chrono::milliseconds deadline = std::chrono::seconds(3));
    // Whatever is waiting now.
    QByteArray Drain();

private:
    int FMaster = -1;
    int FSlave = -1;
    QString FPath;
};
