#pragma once

#include <termios.h>

#include <QtGlobal>

// The parity bit generated on sending. Received parity is never verified.
enum class TParityBits { None, Odd, Even };

class TComParity {
public:
    TParityBits Bits() const { return FBits; }
    void SetBits(TParityBits value) { FBits = value; }

private:
    TParityBits FBits = TParityBits::Odd;
};

// Requested receive and send queue sizes; 0 asks for nothing and keeps the device's own.
class TComBuffer {
public:
    int InputSize() const { return FInputSize; }
    void SetInputSize(int value) { FInputSize = value; }
    int OutputSize() const { return FOutputSize; }
    void SetOutputSize(int value) { FOutputSize = value; }

private:
    int FInputSize = 1024;
    int FOutputSize = 1024;
};

// A write of n bytes gives up after WriteTotalConstant + WriteTotalMultiplier * n milliseconds.
// Reads never wait: they return at once with the bytes already waiting.
class TComTimeouts {
public:
    int WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
    void SetWriteTotalMultiplier(int value) { FWriteTotalMultiplier = value; }
    int WriteTotalConstant() const { return FWriteTotalConstant; }
    void SetWriteTotalConstant(int value) { FWriteTotalConstant = value; }

private:
    int FWriteTotalMultiplier = 100;
    int FWriteTotalConstant = 1000;
};

// How long a write of count bytes may take, in milliseconds.
qint64 WriteTimeoutMs(const TComTimeouts& timeouts, int count);

// The termios speed constant for a rate in bits per second, or B0 when there is none.
speed_t SpeedForBaudRate(int baudRate);

// Turns t into the program's line: the given speed and parity, 8 data bits, 1 stop bit, no flow
// control, every byte passed through untouched in both directions, reads that return at once.
// Returns false (t unchanged) when the rate has no termios speed.
bool MakeLineSettings(termios& t, int baudRate, TParityBits parity);

// Whether the device kept the framing and speed that were asked for. tcsetattr reports success
// when any part of a request was taken, so the result has to be read back and compared.
bool LineSettingsTaken(const termios& wanted, const termios& actual);
