#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "app/Main.h"
#include "support/DialogAnswerer.h"

// The real main window, offscreen, with its settings file in a fresh temporary folder and a
// dialog answerer standing by.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window (if needed), shows it and waits for its start-up step.
    void Start();
    QString IniPath() const { return FDir.filePath(QStringLiteral("Tolma.ini")); }
    void WriteIni(const QByteArray& content) const;
    QByteArray ReadIni() const;

    QTemporaryDir FDir;
    std::unique_ptr<TFMmain> W;
    DialogAnswerer Dialogs;
};
