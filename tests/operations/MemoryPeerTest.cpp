// The memory copy against libmodbus as the controller: its RTU server judges every frame and
// its registers are the memory. libmodbus keeps two bytes per register, so a block at offset k
// covers registers 0xC000 + k to 0xC000 + k + length / 2 - 1, high byte first, and the registers
// between two blocks are never touched.

#include <QTest>
#include <chrono>
#include <memory>
#include <set>
#include <vector>

#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"
#include "support/LinkedWindowFixture.h"
#include "support/ModbusPeer.h"
#include "widgets/DsFancyButton.h"

namespace {

using namespace std::chrono_literals;

struct Block {
    int offset, length;
    friend bool operator==(const Block&, const Block&) = default;
};
using Blocks = std::vector<Block>;

std::ostream& operator<<(std::ostream& os, const Block& b) {
    return os << b.offset << '/' << b.length;
}

Blocks RegularThen(int count, Block last, std::set<int> skipped = {}) {
    Blocks blocks;
    for (int k = 0; k < count; ++k)
        if (!skipped.count(32 * k))
            blocks.push_back({32 * k, 32});
    blocks.push_back(last);
    return blocks;
}

quint16 Pattern(int address) {
    return quint16((address * 0x9E37u) ^ 0x5A00u ^ (address >> 4));
}

class MemoryPeer : public LinkedWindowFixture {
protected:
    void SetUp() override {
        LinkedWindowFixture::SetUp();
        Link = std::make_unique<PtyLink>();
        Source = NewServer();
        Source->FillHolding(Pattern);
        Start();
        W->ED_Addr->setText(QStringLiteral("1"));
        W->EDComPort->setText(Link->ProgramPath());
        W->CB_Baud->SetItemIndex(2);  // 38400
        W->CB_Parity->SetItemIndex(0);
        Dialogs.Answer(QStringLiteral("확인"));
        QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
        ASSERT_TRUE(W->IsLinkOpen());
        HoldTimers();
    }
    void TearDown() override {
        Target.reset();
        Source.reset();
        LinkedWindowFixture::TearDown();
        Link.reset();
    }

    std::unique_ptr<ModbusRtuServer> NewServer() {
        return std::make_unique<ModbusRtuServer>(Link->PeerPath(),
                                                 ModbusRtuServer::Options{.baud = 38400});
    }
    // The controller changes: the first one leaves the line and a fresh, zeroed one takes it.
    void SwapInTarget() {
        Source->Stop();
        Target = NewServer();
    }

    void Click(TDsFancyButton* button) {
        ASSERT_TRUE(button->isEnabled());
        Dialogs.Answer(QStringLiteral("예"));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Answers the running sweep block by block: waits until the server's reply has been collected,
    // then runs the eleven ticks of its receive window.
    void RunSweep() {
        for (int n = 0; OpState.MemoryJob != 0; ++n) {
            ASSERT_LT(n, 200) << "the sweep does not end";
            const int replySize = OpState.MemoryJob == 1 ? 5 + OpState.ReadLen : 8;
            ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() >= replySize; }, 3s))
                << "no reply to request " << n;
            Tick10(11);
        }
    }
    static Blocks Requested(const ModbusRtuServer& server, int function) {
        Blocks blocks;
        for (const QByteArray& r : server.Requests()) {
            EXPECT_EQ(quint8(r[1]), function);
            const int start = quint8(r[2]) << 8 | quint8(r[3]);
            const int count = quint8(r[4]) << 8 | quint8(r[5]);
            blocks.push_back({start - 0xC000, 2 * count});
        }
        return blocks;
    }
    // The bytes the blocks of a read sweep must have brought from the source server.
    QByteArray SourceBytes(const Blocks& blocks) const {
        QByteArray bytes;
        for (const Block& b : blocks)
            for (int j = 0; j < b.length / 2; ++j) {
                const quint16 r = Source->HoldingRegister(0xC000 + b.offset + j);
                bytes.append(char(r >> 8)).append(char(r & 0xFF));
            }
        return bytes;
    }
    // Every register of the window: those of the written blocks equal the source's, all others
    // are still zero.
    void ExpectWritten(const Blocks& written) {
        std::set<int> covered;
        for (const Block& b : written)
            for (int j = 0; j < b.length / 2; ++j)
                covered.insert(0xC000 + b.offset + j);
        int wrong = 0;
        for (int a = 0xC000; a < 0xD000 && wrong < 5; ++a) {
            const quint16 expected = covered.count(a) ? Source->HoldingRegister(a) : 0;
            if (Target->HoldingRegister(a) != expected) {
                ++wrong;
                ADD_FAILURE() << std::hex << "register 0x" << a << " is 0x"
                              << Target->HoldingRegister(a) << ", expected 0x" << expected;
            }
        }
    }
    QByteArray Image(int size) const {
        return QByteArray(reinterpret_cast<const char*>(OpState.MemImage.data()), size);
    }

    std::unique_ptr<PtyLink> Link;
    std::unique_ptr<ModbusRtuServer> Source, Target;
};

TEST_F(MemoryPeer, ReadSweepOfEachModel) {
    const struct {
        int row;
        Blocks blocks;
        int bytes;
        QByteArray lastRequest;
    } cases[] = {
        {0, RegularThen(126, {4032, 24}), 4056, QByteArray::fromHex("0103CFC0000C7AE7")},
        {1, RegularThen(127, {4064, 32}), 4096, QByteArray::fromHex("0103CFE000107AE4")},
        {2, RegularThen(126, {4032, 30}), 4062, QByteArray::fromHex("0103CFC0000F3AE6")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        Source->ClearRequests();
        Dialogs.Clear();
        OpState.MemImage.fill(0x5A);
        W->CBModelM->SetItemIndex(c.row);
        Click(W->BT_Read);
        Tick10(1);
        // From the second sweep on, a completed read keeps WRITE available.
        EXPECT_EQ(W->BT_Write->isEnabled(), c.row > 0);
        RunSweep();
        ASSERT_EQ(Requested(*Source, 3), c.blocks);
        EXPECT_EQ(Source->Requests().first(), QByteArray::fromHex("0103C00000107806"));
        EXPECT_EQ(Source->Requests().last(), c.lastRequest);
        const QByteArray expected = SourceBytes(c.blocks);
        EXPECT_EQ(Image(c.bytes), expected);
        EXPECT_EQ(MemoryText(*W->mmOpen).size(), 2 * c.bytes);
        EXPECT_EQ(MemoryText(*W->mmOpen), QString::fromLatin1(expected.toHex().toUpper()));
        EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("Reading OK!!"));
        EXPECT_TRUE(OpState.ReadDone);
        EXPECT_FALSE(OpState.MemoryJobActive);
    }
}

TEST_F(MemoryPeer, WriteAfterReadCopiesEveryBlockButTheNeverWrittenOne) {
    W->CBModelM->SetItemIndex(0);
    Click(W->BT_Read);
    RunSweep();
    ASSERT_EQ(Dialogs.Texts().last(), QStringLiteral("Reading OK!!"));

    SwapInTarget();
    Tick10(1);
    Click(W->BT_Write);
    RunSweep();
    const Blocks written = RegularThen(126, {4032, 24}, {448});
    EXPECT_EQ(Requested(*Target, 16), written);
    ExpectWritten(written);
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("Writing OK!!"));
    EXPECT_TRUE(OpState.ReadDone) << "a write does not change it";
}

TEST_F(MemoryPeer, ReadSaveOpenAndFileWriteCopyTheMemoryThroughAFile) {
    W->CBModelM->SetItemIndex(1);
    Click(W->BT_Read);
    RunSweep();
    const QString text = MemoryText(*W->mmOpen);
    ASSERT_EQ(text.size(), 8192);

    const QString path = FDir.filePath(QStringLiteral("memory.txt"));
    Dialogs.AnswerFileDialog(path);
    QTest::mouseClick(W->BTSave, Qt::LeftButton);
    SetMemoryText(*W->mmOpen, QString());
    Dialogs.AnswerFileDialog(path);
    QTest::mouseClick(W->BTOpen, Qt::LeftButton);
    ASSERT_EQ(MemoryText(*W->mmOpen), text);

    // The write must take its bytes from the text, not from what the read left in the image.
    OpState.MemImage.fill(0x5A);
    SwapInTarget();
    Click(W->btTextWrite);
    RunSweep();
    const Blocks written = RegularThen(127, {4064, 32}, {192, 224});
    EXPECT_EQ(Requested(*Target, 16), written);
    ExpectWritten(written);
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("Writing OK!!"));
}

}  // namespace
