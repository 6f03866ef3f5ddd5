#include "support/MainWindowFixture.h"

#include <QFile>

#include "operations/OperationState.h"

void MainWindowFixture::SetUp() {
    ASSERT_TRUE(FDir.isValid());
    OpState = TOperationState();
    W = std::make_unique<TFMmain>();
    W->SetSettingsFileName(IniPath());
}

void MainWindowFixture::TearDown() {
    if (W) {
        W->hide();
        W.reset();
    }
}

void MainWindowFixture::Start() {
    W->show();
    W->activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return W->FormActivated(); })) << "the window never activated";
}

void MainWindowFixture::WriteIni(const QByteArray& content) const {
    QFile file(IniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray MainWindowFixture::ReadIni() const {
    QFile file(IniPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
