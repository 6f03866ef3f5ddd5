#pragma once

#include <QString>

// The device behind a port name: "COM" followed by an absolute path is that path; "COM" followed
// by a number n >= 1 is the first of ttyUSB<n-1>, ttyACM<n-1>, ttyS<n-1> in deviceDir that exists
// (USB adapters first: on-board ttyS devices often exist without hardware behind them). Returns
// an empty string for any other name, or when no such device exists.
QString DevicePathForPort(const QString& port, const QString& deviceDir = QStringLiteral("/dev"));
