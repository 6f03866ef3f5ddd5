#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <memory>

#include "app/Settings.h"
#include "support/MainWindowFixture.h"

namespace {

TEST(CutToAnsiWidth, KeepsWholeCharactersThatFit) {
    const struct {
        const char16_t* value;
        int width;
        const char16_t* kept;
    } cases[] = {
        {u"123", 2, u"12"}, {u"12", 2, u"12"}, {u"1", 2, u"1"}, {u"", 2, u""},
        {u"-1", 1, u"-"},   {u"12", 1, u"1"},  {u"한", 2, u""}, {u"1한", 2, u"1"},
        {u"é", 1, u""},     {u"é", 2, u"é"},   {u"😀", 3, u""},  {u"a😀", 5, u"a😀"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CutToAnsiWidth(QString::fromUtf16(c.value), c.width), QString::fromUtf16(c.kept))
            << QString::fromUtf16(c.value).toStdString() << " in " << c.width;
    }
}

TEST(CutToAnsiWidth, NeverCutsBetweenTheHalvesOfAPair) {
    // A lone high half before a pair must not be taken for the first half of a pair: the cut
    // would then end between the halves of the real one.
    const QString value = QString(QChar(0xD83D)) + QString::fromUtf16(u"😀") + QChar(0xD83D);
    for (int width = 0; width <= 12; ++width) {
        const QString cut = CutToAnsiWidth(value, width);
        ASSERT_TRUE(value.startsWith(cut));
        EXPECT_FALSE(!cut.isEmpty() && cut.back().isHighSurrogate() && cut.size() < value.size() &&
                     value[cut.size()].isLowSurrogate())
            << "width " << width << " keeps " << cut.size() << " units";
    }
}

TEST(SettingRow, DecimalOrZero) {
    EXPECT_EQ(SettingRow(QStringLiteral("2")), 2);
    EXPECT_EQ(SettingRow(QStringLiteral("-")), 0);
    EXPECT_EQ(SettingRow(QString()), 0);
    EXPECT_EQ(SettingRow(QStringLiteral("x")), 0);
    EXPECT_EQ(SettingRow(QStringLiteral("7")), 7);
}

// Round trips through a real file: one window writes on closing, the next reads on start-up.
class Settings : public MainWindowFixture {
protected:
    void Restart() {
        W->close();
        W = std::make_unique<TFMmain>();
        W->SetSettingsFileName(IniPath());
        Start();
    }
};

TEST_F(Settings, FirstCloseWritesAllSevenKeys) {
    Start();
    W->close();
    const QByteArray ini = ReadIni();
    for (const char* line :
         {"[COM]", "ID=", "PORT=", "Baudrate=0", "Parity=0", "Model=0", "[LAN]", "IP=", "LANPORT="})
        EXPECT_TRUE(ini.contains(line)) << line << " missing from\n" << ini.toStdString();
    EXPECT_FALSE(ini.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
}

TEST_F(Settings, ValuesComeBackThroughTheirFieldWidths) {
    Start();
    W->ED_Addr->setText(QStringLiteral("123"));
    W->EDComPort->setText(QStringLiteral("12"));
    W->CB_Baud->SetItemIndex(2);
    W->CB_Parity->SetItemIndex(-1);
    W->CB_Model->SetItemIndex(3);
    const QString longHost =
        QStringLiteral("controller-") + QString(200, u'x') + QStringLiteral(".plant");
    W->ED_IPAddr->setText(longHost);
    W->ED_Port->setText(QStringLiteral("50000"));
    Restart();
    EXPECT_TRUE(ReadIni().contains("ID=123")) << "the file keeps the full value";
    EXPECT_TRUE(ReadIni().contains("Parity=-1"));
    EXPECT_EQ(W->ED_Addr->text(), QStringLiteral("123"));
    EXPECT_EQ(W->EDComPort->text(), QStringLiteral("12")) << "COM12 is not COM1";
    EXPECT_EQ(W->CB_Baud->currentText(), QStringLiteral("38400"));
    EXPECT_EQ(W->CB_Parity->ItemIndex(), 0) << "-1 reads back as \"-\", which selects row 0";
    EXPECT_EQ(W->CB_Model->ItemIndex(), 3);
    EXPECT_EQ(W->ED_IPAddr->text(), longHost);
    EXPECT_EQ(W->ED_Port->text(), QStringLiteral("50000"));
}

TEST_F(Settings, RowOutsideTheListLeavesNoRowAndAnEmptyBox) {
    WriteIni("[COM]\nBaudrate=7\nParity=x\nModel=9\n");
    Start();
    EXPECT_EQ(W->CB_Baud->ItemIndex(), -1);
    EXPECT_TRUE(W->CB_Baud->currentText().isEmpty());
    EXPECT_EQ(W->CB_Parity->ItemIndex(), 0) << "not a number selects row 0";
    EXPECT_EQ(W->CB_Model->ItemIndex(), -1);
    W->close();
    EXPECT_TRUE(ReadIni().contains("Baudrate=-1"));
}

TEST_F(Settings, RowsAreReadThroughTheirOneCharacterWidth) {
    // "-1" is read as "-" and "12" as "1", for the hour model as for baud rate and parity.
    WriteIni("[COM]\nBaudrate=-1\nParity=12\nModel=-1\n");
    Start();
    EXPECT_EQ(W->CB_Baud->ItemIndex(), 0);
    EXPECT_EQ(W->CB_Parity->ItemIndex(), 1);
    EXPECT_EQ(W->CB_Model->ItemIndex(), 0);
    W->close();
    WriteIni("[COM]\nModel=12\n");
    W = std::make_unique<TFMmain>();
    W->SetSettingsFileName(IniPath());
    Start();
    EXPECT_EQ(W->CB_Model->ItemIndex(), 1);
}

TEST_F(Settings, NamesAreCaseInsensitiveAndOtherContentStays) {
    WriteIni(
        "; written by hand\n[com]\n; the slave\nid=42\nExtra=keep "
        "me\n[Other]\nK=V\n[lan]\nip=10.0.0.9\n");
    Start();
    EXPECT_EQ(W->ED_Addr->text(), QStringLiteral("42"));
    EXPECT_EQ(W->ED_IPAddr->text(), QStringLiteral("10.0.0.9"));
    W->ED_Addr->setText(QStringLiteral("8"));
    W->close();
    const QByteArray ini = ReadIni();
    EXPECT_TRUE(ini.contains("Extra=keep me"));
    EXPECT_TRUE(ini.contains("[Other]"));
    EXPECT_TRUE(ini.contains("K=V"));
    EXPECT_TRUE(ini.contains("; the slave"));
    EXPECT_EQ(ini.count("=8\n") + ini.count("=8\r\n"), 1);
    EXPECT_FALSE(ini.contains("=42")) << "the mixed-case key is updated, not duplicated";
    EXPECT_EQ(ini.toLower().count("[com]"), 1);
}

TEST_F(Settings, Utf8ValuesWithOrWithoutAByteOrderMark) {
    WriteIni("\xEF\xBB\xBF[LAN]\nIP=\xEC\x84\x9C\xEB\xB2\x84\n[COM]\nID=\xF0\x9F\x98\x80\n");
    Start();
    EXPECT_EQ(W->ED_IPAddr->text(), QStringLiteral("서버"));
    EXPECT_TRUE(W->ED_Addr->text().isEmpty()) << "a character wider than the field is dropped";
    W->close();
    const QByteArray ini = ReadIni();
    EXPECT_FALSE(ini.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(ini.contains("IP=\xEC\x84\x9C\xEB\xB2\x84"));
}

TEST_F(Settings, AWriteFailureIsReportedAndClosingGoesOn) {
    Start();
    W->SetSettingsFileName(FDir.filePath(QStringLiteral("missing/folder/Tolma.ini")));
    W->close();
    EXPECT_FALSE(W->isVisible());
    ASSERT_EQ(Dialogs.Seen().size(), 1);
    EXPECT_EQ(Dialogs.Seen()[0].text, QStringLiteral("쓰기 에러!!"));
    EXPECT_EQ(Dialogs.Seen()[0].kind, QStringLiteral("plain"));
}

TEST_F(Settings, AnUnreadableFileIsNotOverwritten) {
    // A folder where the file should be: it cannot be read, so it must not be replaced.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("Tolma.ini")));
    Start();
    W->close();
    ASSERT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("쓰기 에러!!")});
    EXPECT_TRUE(QFileInfo(IniPath()).isDir());
}

// A folder no file can be created in, as /usr/bin is for a user: without write rights, and for
// root (who has them everywhere) immutable. False when neither can be had here.
bool MakeUnwritable(const QString& dir) {
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const auto creatable = [&] {
        QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("probe-XXXXXX")));
        return probe.open();
    };
    if (creatable())
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dir});
    return !creatable();
}

void MakeWritable(const QString& dir) {
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), dir});
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(Settings, LiveBesideAWritableProgramElseInTheUsersFolderStartedFromTheProgramsFile) {
    {
        // A window built here keeps its file next to its executable, which can be written.
        TFMmain fresh;
        EXPECT_EQ(
            fresh.SettingsFileName(),
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Tolma.ini")));
    }
    Start();

    QTemporaryDir program;
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("Quorrin"));
    const QString beside = QDir(program.path()).filePath(QStringLiteral("Tolma.ini"));
    EXPECT_EQ(SettingsFileLocation(program.path(), config), beside);
    QFile file(beside);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[COM]\nID=7\nPORT=12\n");
    file.close();
    if (!MakeUnwritable(program.path()))
        GTEST_SKIP() << "no folder here can be made unwritable";

    // First run: the user's file starts as the one next to the program.
    const QString user = SettingsFileLocation(program.path(), config);
    EXPECT_EQ(user, QDir(config).filePath(QStringLiteral("Tolma.ini")));
    EXPECT_EQ(ReadTolmaFile(user).PORT, QStringLiteral("12"));

    // The window closes into the user's file, and the next start reads it, not the program's.
    W->SetSettingsFileName(user);
    W->ED_Addr->setText(QStringLiteral("9"));
    W->close();
    EXPECT_EQ(ReadTolmaFile(SettingsFileLocation(program.path(), config)).ID, QStringLiteral("9"));
    EXPECT_EQ(ReadTolmaFile(beside).ID, QStringLiteral("7"));
    MakeWritable(program.path());
}

}  // namespace
