#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "SimProcess.h"
#include "app/ErrorBox.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"
#include "sim/Faults.h"
#include "support/MainWindowFixture.h"
#include "widgets/DsFancyButton.h"

namespace {

using namespace std::chrono_literals;

// The real window against the controller simulator running as a separate process, over its TCP
// side ("tcp") or its pseudo-terminal ("pty"). The timers are ticked by hand, five Timer10 ticks
// to one Timer50 tick, with a little real time between ticks for the bytes to travel.
class EndToEnd : public MainWindowFixture, public ::testing::WithParamInterface<const char*> {
protected:
    QString Link() const { return QString::fromLatin1(GetParam()); }
    QString StateFile() const { return FDir.filePath(QStringLiteral("sim-state.json")); }

    std::unique_ptr<TSimProcess> StartSim(QStringList options = {}) {
        options << QStringLiteral("--state-file") << StateFile();
        auto sim = std::make_unique<TSimProcess>(options);
        EXPECT_TRUE(sim->Started()) << sim->ErrorOutput().toStdString();
        return sim;
    }

    void Connect(const TSimProcess& sim) {
        W->ED_Addr->setText(QStringLiteral("1"));
        if (Link() == QStringLiteral("tcp")) {
            QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
            W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
            W->ED_Port->setText(QString::number(sim.Port()));
        } else {
            QTest::mouseClick(W->RGChoice->Button(0), Qt::LeftButton);
            W->EDComPort->setText(sim.PtyPath());
            W->CB_Baud->SetItemIndex(2);
            W->CB_Parity->SetItemIndex(0);
        }
        Dialogs.Answer(QStringLiteral("확인"));
        QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return W->IsLinkOpen(); })) << Link().toStdString();
        W->Timer10->stop();
        W->Timer50->stop();
        Run([] { return false; }, 2);  // one refresh of the command buttons
    }

    void Disconnect() {
        Dialogs.Answer(QStringLiteral("확인"));
        QTest::mouseClick(W->BT_DisConnect, Qt::LeftButton);
        ASSERT_FALSE(W->IsLinkOpen());
    }

    // Ticks until done() holds or maxTicks Timer10 ticks have passed; true when done. Time runs
    // faster than on the wall clock: while a request waits for its reply a tick waits up to 2 ms
    // for the first bytes, and while a reply is being collected a tick comes once no further
    // byte has arrived for a millisecond.
    bool Run(const std::function<bool()>& done, int maxTicks) {
        for (int tick = 0; tick < maxTicks; ++tick) {
            if (done())
                return true;
            if (OpState.RcvActive) {
                for (qsizetype seen = -1; seen != OpState.RcvStr.size();) {
                    seen = OpState.RcvStr.size();
                    WaitUntil([] { return false; }, 1ms);
                }
            } else {
                WaitUntil([] { return OpState.RcvActive; }, 2ms);
            }
            Guard([&] { W->Timer10Timer(); });
            if (tick % 5 == 4)
                Guard([&] { W->Timer50Timer(); });
        }
        return done();
    }

    bool Shown(const QString& text) const { return Dialogs.Texts().contains(text); }

    void Click(TDsFancyButton* button) {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QString Record(const QString& address) const {
        QFile file(StateFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
        return state.value(QStringLiteral("records")).toObject().value(address).toString();
    }

    // Runs a READ sweep of the chosen memory model; true for "Reading OK!!".
    bool ReadSweep(int modelRow, int maxTicks = 128 * 12 + 300) {
        W->CBModelM->SetItemIndex(modelRow);
        Dialogs.Answer(QStringLiteral("예"));
        Click(W->BT_Read);
        const auto ended = [&] {
            return Shown(QStringLiteral("Reading OK!!")) ||
                   Shown(QStringLiteral("Read Parameter Fail!! Please Check Connection!!"));
        };
        EXPECT_TRUE(Run(ended, maxTicks)) << "the sweep neither ended nor failed";
        return Shown(QStringLiteral("Reading OK!!"));
    }

    // Blocks a read or write sweep of the model covers.
    static std::vector<TMemoryBlock> ReadBlocks(int row) { return ReadPlan(row); }
    static std::vector<TMemoryBlock> WriteBlocks(int row) { return WritePlan(row); }

    // Every byte a read sweep brought equals the simulator's memory; the number of wrong ones.
    int ExpectImageOfDefaultMemory(int row) {
        int wrong = 0;
        for (const TMemoryBlock& b : ReadBlocks(row)) {
            const QByteArray expected = DefaultBytes(b.Offset, b.Length);
            for (int i = 0; i < b.Length && wrong < 5; ++i) {
                if (OpState.MemImage[size_t(b.Offset + i)] != quint8(expected[i])) {
                    ++wrong;
                    ADD_FAILURE() << "byte " << b.Offset + i << " of the image is wrong";
                }
            }
        }
        return wrong;
    }

    void AnswerFileDialog(const QString& path) { Dialogs.AnswerFileDialog(path); }
};

TEST_P(EndToEnd, CommunicationTest) {
    Start();
    auto sim = StartSim();
    Connect(*sim);
    Click(W->BT_Request);
    ASSERT_TRUE(Run([&] { return !W->Mm_RX->toPlainText().isEmpty(); }, 100));
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 00 00 00 2C F1 D7 "));
    EXPECT_EQ(W->Mm_RX->toPlainText().size(), 93 * 3);
    EXPECT_FALSE(OpState.ResendFlag);
}

TEST_P(EndToEnd, ATestAnswerPacedAt9600WithParityInAdapterChunksIsOneReply) {
    // 93 bytes of 11 bits take 107 ms, handed over every 16 ms: longer than the 11-tick window.
    Start();
    auto sim = StartSim({QStringLiteral("--baud"), QStringLiteral("9600:E"),
                         QStringLiteral("--chunk-ms"), QStringLiteral("16")});
    Connect(*sim);
    W->Timer10->start();  // the wire's own pace: no ticks run ahead of it
    Click(W->BT_Request);
    ASSERT_TRUE(WaitUntil([&] { return !W->Mm_RX->toPlainText().isEmpty(); }));
    WaitUntil([] { return false; }, 200ms);  // a second part would be handled by now
    W->Timer10->stop();
    EXPECT_EQ(W->Mm_RX->toPlainText().split(u'\n').size(), 1);
    EXPECT_EQ(W->Mm_RX->toPlainText().size(), 93 * 3);
    EXPECT_FALSE(OpState.ResendFlag);
}

TEST_P(EndToEnd, SuffixBoardSuffixAndHourWritesAreStored) {
    Start();
    auto sim = StartSim();
    Connect(*sim);

    W->EDYear->setText(QStringLiteral("N"));
    W->EDCompany->setText(QStringLiteral("A"));
    W->EDNumber->setText(QStringLiteral("123"));
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->SuffixWrite);
    ASSERT_TRUE(Run([&] { return Shown(QStringLiteral("Suffix 쓰기 완료!!")); }, 100));
    EXPECT_TRUE(WaitUntil([&] {
        return Record(QStringLiteral("CFF1")) == QStringLiteral("4E417B00");
    })) << Record(QStringLiteral("CFF1")).toStdString();

    Dialogs.Clear();
    W->EDBoardYear->setText(QStringLiteral("23"));
    W->EdBoardMonth->setText(QStringLiteral("7"));
    W->EDBoardNumber->setText(QStringLiteral("500"));
    Dialogs.Answer(QStringLiteral("예"));
    W->BTBoardWriteClick();
    ASSERT_TRUE(Run([&] { return Shown(QStringLiteral("Suffix 쓰기 완료!!")); }, 100));
    EXPECT_TRUE(
        WaitUntil([&] { return Record(QStringLiteral("CFF6")) == QStringLiteral("1707F401"); }));

    Dialogs.Clear();
    W->CB_Model->SetItemIndex(0);
    W->CB_ModelChange();
    const struct {
        TEdit* box;
        const char* value;
    } hours[] = {{W->EDHour1, "1234"}, {W->EDMin1, "30"}, {W->EDHour2, "5678"},
                 {W->EDMin2, "50"},    {W->EDHour3, "9"}, {W->EDMin3, "12"}};
    for (const auto& h : hours)
        h.box->setText(QString::fromLatin1(h.value));
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->BTHour);
    ASSERT_TRUE(Run([&] { return Shown(QStringLiteral("Hour 쓰기 완료!!")); }, 100));
    EXPECT_TRUE(WaitUntil([&] {
        return Record(QStringLiteral("C1E0")) ==
               QStringLiteral("08070000D204000008070000 2E160000B001000009000000").remove(u' ');
    })) << Record(QStringLiteral("C1E0")).toStdString();
}

TEST_P(EndToEnd, ReadSweepOfEachMemoryModel) {
    Start();
    auto sim = StartSim();
    Connect(*sim);
    const int textLength[] = {8112, 8192, 8124};
    for (int row = 0; row < 3; ++row) {
        Dialogs.Clear();
        OpState.MemImage.fill(0);
        ASSERT_TRUE(ReadSweep(row)) << "model " << row;
        EXPECT_EQ(W->mmOpen->toPlainText().size(), textLength[row]) << "model " << row;
        ExpectImageOfDefaultMemory(row);
    }
}

TEST_P(EndToEnd, CopyThroughAFileOntoASecondController) {
    Start();
    const QString file = FDir.filePath(QStringLiteral("copy.txt"));
    const QString targetImage = FDir.filePath(QStringLiteral("target.txt"));
    {
        auto source = StartSim();
        Connect(*source);
        ASSERT_TRUE(ReadSweep(1));
        AnswerFileDialog(file);
        W->BTSaveClick();
        EXPECT_TRUE(Shown(file + QStringLiteral("\r 파일명으로 저장되었습니다.")))
            << Dialogs.Texts().join(u'|').toStdString();
        Disconnect();
    }
    OpState.MemImage.fill(0x5A);  // whatever FILE WRITE sends must come from the file
    auto target = StartSim(
        {QStringLiteral("--fill"), QStringLiteral("0"), QStringLiteral("--image"), targetImage});
    Connect(*target);
    AnswerFileDialog(file);
    W->BTOpenClick();
    Dialogs.Clear();
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->btTextWrite);
    ASSERT_TRUE(Run([&] { return Shown(QStringLiteral("Writing OK!!")); }, 128 * 12 + 300))
        << Dialogs.Texts().join(u'|').toStdString();
    Disconnect();
    ASSERT_EQ(target->Stop(SIGTERM), 0);

    QFile saved(targetImage);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray image = QByteArray::fromHex(saved.readAll().trimmed());
    ASSERT_GE(image.size(), 4096);
    std::set<int> written;
    for (const TMemoryBlock& b : WriteBlocks(1))
        for (int i = 0; i < b.Length; ++i)
            written.insert(b.Offset + i);
    const QByteArray source = DefaultBytes(0, 4096);
    int wrong = 0;
    for (int k = 0; k < 4096 && wrong < 5; ++k) {
        const char expected = written.count(k) ? source[k] : '\0';
        if (image[k] != expected) {
            ++wrong;
            ADD_FAILURE() << "target byte " << k
                          << (written.count(k) ? " (written)" : " (never written)");
        }
    }
    EXPECT_LT(written.size(), 4096u) << "the model leaves a region alone";
}

INSTANTIATE_TEST_SUITE_P(Links, EndToEnd, ::testing::Values("tcp", "pty"));

// Misbehaving controllers: every sweep ends in a correct image or in the failure message, never
// in a wrong image reported as read.
class FaultySweep : public EndToEnd {};

TEST_P(FaultySweep, EndsCorrectOrFailsNeverWrong) {
    Start();
    const QStringList faults[] = {
        {QStringLiteral("--drop-every"), QStringLiteral("7")},
        {QStringLiteral("--corrupt-every"), QStringLiteral("5")},
        {QStringLiteral("--split"), QStringLiteral("60:9")},
        {QStringLiteral("--exception"), QStringLiteral("4:6")},
        {QStringLiteral("--merge-every"), QStringLiteral("11")},
        // A bad reply, then the answer to the repeat comes so late that the block is sent again
        // and again: the extra answers must not be taken for the blocks after it.
        {QStringLiteral("--corrupt-every"), QStringLiteral("39"), QStringLiteral("--late"),
         QStringLiteral("1500:40")},
    };
    for (const QStringList& fault : faults) {
        Dialogs.Clear();
        auto sim = StartSim(fault);
        Connect(*sim);
        OpState.MemImage.fill(0);
        const bool ok = ReadSweep(1, 128 * 12 + 21 * 5 * 13 * 4);
        const int wrong = ok ? ExpectImageOfDefaultMemory(1) : 0;
        if (!ok) {
            EXPECT_TRUE(Shown(QStringLiteral("Read Parameter Fail!! Please Check Connection!!")));
        }
        std::printf("%s %s: %s\n", GetParam(), qPrintable(fault.join(u' ')),
                    wrong > 0 ? "WRONG image"
                    : ok      ? "correct image"
                              : "failure message");
        Disconnect();
    }
}

// Random faults of every kind, with the program's own timers running at their own pace, so that
// a late reply is late for the program too; some sweeps lose the controller halfway. Each sweep
// ends in a correct image, a failure message or a link found lost, and never in a wrong byte: not
// in the memory text of a read sweep, and not in the controller after a write sweep.
// QUORRIN_FAULT_SWEEPS sets the number of sweeps on each link (1 by default), QUORRIN_FAULT_SEED
// the first seed.
TEST_P(FaultySweep, RandomFaultsNeverEndInAWrongByte) {
    const int sweeps = qMax(1, qEnvironmentVariableIntValue("QUORRIN_FAULT_SWEEPS"));
    const quint32 firstSeed = quint32(qMax(1, qEnvironmentVariableIntValue("QUORRIN_FAULT_SEED")));
    Start();
    int correct = 0;
    int failed = 0;
    int lost = 0;
    int wrong = 0;
    for (int n = 0; n < sweeps; ++n) {
        // The two links draw different plans from the same first seed.
        const quint32 seed = firstSeed + quint32(n) + (Link() == QStringLiteral("pty") ? 50000 : 0);
        QRandomGenerator plan(seed);
        const bool write = plan.bounded(2) == 1;
        QStringList kinds;
        for (int k = 0; k < 1 + int(plan.bounded(3)); ++k)
            kinds << QString::fromLatin1(
                kFaultKindNames[plan.bounded(int(std::size(kFaultKindNames)))]);
        kinds.removeDuplicates();
        const int percent = 1 + int(plan.bounded(4));
        QStringList options{QStringLiteral("--random"),
                            QStringLiteral("%1:%2").arg(seed).arg(percent),
                            QStringLiteral("--random-faults"), kinds.join(u',')};
        const int stopAt = plan.bounded(8) == 0 ? 5 + int(plan.bounded(120)) : 0;
        if (stopAt > 0)
            options << QStringLiteral("--stop-after") << QString::number(stopAt);
        const QString imageFile = FDir.filePath(QStringLiteral("image-%1.txt").arg(n));
        QByteArray source(4096, '\0');
        for (char& b : source)
            b = char(plan.bounded(256));
        if (write)
            options << QStringLiteral("--fill") << QStringLiteral("0") << QStringLiteral("--image")
                    << imageFile;
        const QString what = QStringLiteral("%1 sweep %2 (%3, seed %4): %5")
                                 .arg(Link())
                                 .arg(n)
                                 .arg(write ? QStringLiteral("write") : QStringLiteral("read"))
                                 .arg(seed)
                                 .arg(options.join(u' '));
        SCOPED_TRACE(what.toStdString());

        Dialogs.Clear();
        auto sim = StartSim(options);
        ASSERT_TRUE(sim->Started());
        Connect(*sim);
        W->CBModelM->SetItemIndex(1);
        W->Timer10->start();
        W->Timer50->start();
        QString done;
        QString failure;
        if (write) {
            SetMemoryText(*W->mmOpen, QString::fromLatin1(source.toHex().toUpper()));
            done = QStringLiteral("Writing OK!!");
            failure = QStringLiteral("Write Parameter Fail!! Please Check Connection!!");
            Dialogs.Answer(QStringLiteral("예"));
            Click(W->btTextWrite);
        } else {
            done = QStringLiteral("Reading OK!!");
            failure = QStringLiteral("Read Parameter Fail!! Please Check Connection!!");
            Dialogs.Answer(QStringLiteral("예"));
            Click(W->BT_Read);
        }
        ASSERT_FALSE(HasFatalFailure()) << "the sweep did not start";
        const bool ended = WaitUntil(
            [&] {
                // A link found lost drops the sweep at the next 10 ms tick.
                return Shown(done) || Shown(failure) ||
                       (!W->IsLinkOpen() && OpState.MemoryJob == 0);
            },
            300s);
        EXPECT_TRUE(ended) << "the sweep neither ended, failed nor lost its link";
        W->Timer10->stop();
        W->Timer50->stop();

        int wrongBytes = 0;
        if (write) {
            sim->Stop(SIGTERM);  // saves the image; a controller that went away saved it already
            QFile saved(imageFile);
            EXPECT_TRUE(saved.open(QIODevice::ReadOnly));
            const QByteArray image = QByteArray::fromHex(saved.readAll().trimmed());
            std::set<int> written;
            for (const TMemoryBlock& b : WriteBlocks(1))
                for (int i = 0; i < b.Length; ++i)
                    written.insert(b.Offset + i);
            for (int k = 0; k < 4096; ++k) {
                const char byte = k < image.size() ? image[k] : '\x5A';
                // A byte is either what the file holds or still the fill; the fill is allowed
                // only where nothing is written or the sweep did not finish.
                const bool fine = written.count(k)
                                      ? byte == source[k] || (byte == '\0' && !Shown(done))
                                      : byte == '\0';
                wrongBytes += fine ? 0 : 1;
            }
        } else {
            QString expected;
            for (const TMemoryBlock& b : ReadBlocks(1))
                expected += QString::fromLatin1(DefaultBytes(b.Offset, b.Length).toHex().toUpper());
            const QString text = MemoryText(*W->mmOpen);
            const bool fine = Shown(done) ? text == expected : expected.startsWith(text);
            wrongBytes = fine ? 0 : 1;
        }
        QString outcome;
        if (wrongBytes > 0) {
            ++wrong;
            outcome = QStringLiteral("WRONG (%1 bytes)").arg(wrongBytes);
        } else if (Shown(done)) {
            ++correct;
            outcome = write ? QStringLiteral("correct controller memory")
                            : QStringLiteral("correct image");
        } else if (Shown(failure)) {
            ++failed;
            outcome = QStringLiteral("failure message");
        } else {
            ++lost;
            outcome = QStringLiteral("link found lost, sweep dropped");
        }
        EXPECT_EQ(wrongBytes, 0) << outcome.toStdString();
        std::printf("%s: %s\n", qPrintable(what), qPrintable(outcome));
        std::fflush(stdout);

        if (W->IsLinkOpen()) {
            Disconnect();
        } else {
            Dialogs.Answer(QStringLiteral("확인"));
            W->ShowLinkDisconnected();
        }
        if (!write)
            sim->Stop(SIGTERM);
    }
    std::printf("%s: %d sweeps: %d correct, %d failure message, %d link lost, %d wrong\n",
                GetParam(), sweeps, correct, failed, lost, wrong);
    EXPECT_EQ(wrong, 0);
}

// The operator's requests interleaved at random with a sweep: the communication test, the three
// writes, a new FILE WRITE or WRITE (which abandons the sweep), and model changes, against a
// controller answering in order after 0 to 300 ms and now and then much later. A sweep ends in a
// correct image (and controller memory), or in a failure message, never in a success message over
// a wrong byte. QUORRIN_ACTION_SWEEPS sets the number of sweeps on each link (1 by default),
// QUORRIN_FAULT_SEED the first seed.
// Offsets and lengths of the hour meters of model 0 and the two suffixes: the simulator keeps
// these records in its memory window.
constexpr std::pair<int, int> kRecordsInTheWindow[] = {{0x1E0, 24}, {0xFF1, 4}, {0xFF6, 4}};

TEST_P(FaultySweep, OperatorActionsNeverEndASweepInAWrongByte) {
    const int sweeps = qMax(1, qEnvironmentVariableIntValue("QUORRIN_ACTION_SWEEPS"));
    const quint32 firstSeed = quint32(qMax(1, qEnvironmentVariableIntValue("QUORRIN_FAULT_SEED")));
    Start();
    W->EDYear->setText(QStringLiteral("N"));
    W->EDCompany->setText(QStringLiteral("A"));
    W->EDNumber->setText(QStringLiteral("7"));
    for (TEdit* box : {W->EDHour1, W->EDMin1, W->EDHour2, W->EDMin2, W->EDHour3, W->EDMin3})
        box->setText(QStringLiteral("1"));
    int correct = 0;
    int failed = 0;
    int wrong = 0;
    for (int n = 0; n < sweeps; ++n) {
        const quint32 seed = firstSeed + quint32(n) + (Link() == QStringLiteral("pty") ? 70000 : 0);
        QRandomGenerator plan(seed);
        const int turnaround =
            plan.bounded(4) == 0 ? 100 + int(plan.bounded(201)) : int(plan.bounded(40));
        const QString imageFile = FDir.filePath(QStringLiteral("actions-%1.txt").arg(n));
        QFile::remove(imageFile);
        const QStringList options{
            QStringLiteral("--delay-ms"),      QString::number(turnaround),
            QStringLiteral("--random"),        QStringLiteral("%1:2").arg(seed),
            QStringLiteral("--random-faults"), QStringLiteral("late"),
            QStringLiteral("--image"),         imageFile};
        QByteArray source(4096, '\0');
        for (char& b : source)
            b = char(plan.bounded(256));
        const QString what = QStringLiteral("%1 action sweep %2 (seed %3): %4")
                                 .arg(Link())
                                 .arg(n)
                                 .arg(seed)
                                 .arg(options.join(u' '));
        SCOPED_TRACE(what.toStdString());

        // Every dialog gets its first button: "예" for a question, the only one otherwise, as a
        // reply's message may open on top of a question at any moment.
        Dialogs.Clear();
        auto sim = StartSim(options);
        ASSERT_TRUE(sim->Started());
        Connect(*sim);
        W->CBModelM->SetItemIndex(int(plan.bounded(3)));
        SetMemoryText(*W->mmOpen, QString::fromLatin1(source.toHex().toUpper()));
        W->Timer10->start();
        W->Timer50->start();

        // The sweep that counts is the last one started; the rows it may have followed.
        bool reading = plan.bounded(2) == 0;
        std::set<int> rows{W->CBModelM->ItemIndex()};
        QByteArray image;
        int sweepsStarted = 0;
        const auto start = [&](TDsFancyButton* button) {
            if (!button->isEnabled())
                return;
            Dialogs.Clear();
            QTest::mouseClick(button, Qt::LeftButton);
            // A refused click (FILE WRITE while a read has just emptied the text) starts nothing:
            // the sweep that runs is still the one to judge.
            if (!Shown(QStringLiteral("Read Parameter?")) &&
                !Shown(QStringLiteral("Write Parameter?")))
                return;
            ++sweepsStarted;
            reading = button == W->BT_Read;
            rows = {W->CBModelM->ItemIndex()};
            image = QByteArray(reinterpret_cast<const char*>(OpState.MemImage.data()), 4096);
        };
        start(reading ? W->BT_Read : W->btTextWrite);
        const auto ended = [&] {
            return Shown(QStringLiteral("Reading OK!!")) || Shown(QStringLiteral("Writing OK!!")) ||
                   Shown(QStringLiteral("Read Parameter Fail!! Please Check Connection!!")) ||
                   Shown(QStringLiteral("Write Parameter Fail!! Please Check Connection!!"));
        };
        QTimer operatorHand;
        operatorHand.setSingleShot(true);
        QObject::connect(&operatorHand, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() == nullptr && OpState.MemoryJob != 0 &&
                !ended()) {
                switch (plan.bounded(8)) {
                    case 0:
                        QTest::mouseClick(W->BT_Request, Qt::LeftButton);
                        break;
                    case 1:
                    case 2:
                    case 3: {
                        TDsFancyButton* write[] = {W->SuffixWrite, W->BTBoardWrite, W->BTHour};
                        QTest::mouseClick(write[plan.bounded(3)], Qt::LeftButton);
                        break;
                    }
                    case 4:
                    case 5:
                        if (sweepsStarted < 3)
                            start(plan.bounded(2) == 0 ? W->btTextWrite : W->BT_Write);
                        break;
                    default:
                        W->CBModelM->SetItemIndex(int(plan.bounded(3)));
                        rows.insert(W->CBModelM->ItemIndex());
                }
            }
            operatorHand.start(50 + int(plan.bounded(400)));
        });
        operatorHand.start(int(plan.bounded(200)));
        EXPECT_TRUE(WaitUntil(ended, 300s)) << "the sweep neither ended nor failed";
        operatorHand.stop();
        W->Timer10->stop();
        W->Timer50->stop();
        sim->Stop(SIGTERM);  // saves the controller's memory

        // Read: every byte of the text is the controller's. Write: every byte of every block
        // that a plan followed writes is the image's.
        int wrongBytes = 0;
        const bool done =
            Shown(QStringLiteral("Reading OK!!")) || Shown(QStringLiteral("Writing OK!!"));
        if (reading) {
            QByteArray text = QByteArray::fromHex(MemoryText(*W->mmOpen).toLatin1());
            QByteArray expected = DefaultBytes(0, int(text.size()));
            // The records the operator's writes store in the window may be read either way.
            for (const auto& [offset, length] : kRecordsInTheWindow)
                for (int i = offset; i < offset + length && i < text.size(); ++i)
                    text[i] = expected[i];
            wrongBytes = text == expected ? 0 : 1;
            if (wrongBytes)
                ADD_FAILURE() << "read text of " << text.size() << " bytes differs";
            if (done && text.size() < 4056)
                wrongBytes = 1;
        } else if (done) {
            QFile saved(imageFile);
            EXPECT_TRUE(saved.open(QIODevice::ReadOnly));
            const QByteArray memory = QByteArray::fromHex(saved.readAll().trimmed());
            // Offsets one of the rows followed leaves alone, and the records the operator's
            // writes store in the window: the hour meters of model 0 and the two suffixes.
            std::set<int> skipped;
            for (const auto& [offset, length] : kRecordsInTheWindow)
                for (int i = 0; i < length; ++i)
                    skipped.insert(offset + i);
            for (int row : rows) {
                std::set<int> writes;
                for (const TMemoryBlock& b : WriteBlocks(row))
                    for (int i = 0; i < b.Length; ++i)
                        writes.insert(b.Offset + i);
                for (int k = 0; k < 4096; ++k)
                    if (!writes.count(k))
                        skipped.insert(k);
            }
            for (int k = 0; k < 4096; ++k) {
                if (!skipped.count(k) && (k >= memory.size() || memory[k] != image[k])) {
                    if (++wrongBytes == 1)
                        ADD_FAILURE() << "first wrong byte at " << k << ", rows " << *rows.begin()
                                      << ".." << *rows.rbegin() << ", memory "
                                      << (k < memory.size() ? int(quint8(memory[k])) : -1)
                                      << ", image " << int(quint8(image[k]));
                }
            }
        }
        QString outcome;
        if (wrongBytes > 0) {
            ++wrong;
            outcome = QStringLiteral("WRONG (%1 bytes)").arg(wrongBytes);
        } else if (done) {
            ++correct;
            outcome = reading ? QStringLiteral("correct image")
                              : QStringLiteral("correct controller memory");
        } else {
            ++failed;
            outcome = QStringLiteral("failure message");
        }
        EXPECT_EQ(wrongBytes, 0) << outcome.toStdString();
        std::printf("%s: %s after %d sweep starts\n", qPrintable(what), qPrintable(outcome),
                    sweepsStarted);
        std::fflush(stdout);
        if (W->IsLinkOpen())
            Disconnect();
    }
    std::printf("%s: %d action sweeps: %d correct, %d failure message, %d wrong\n", GetParam(),
                sweeps, correct, failed, wrong);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Links, FaultySweep, ::testing::Values("tcp", "pty"));

}  // namespace
