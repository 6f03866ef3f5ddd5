#pragma once

// The window linked to a stand-in controller, for the suffix, board suffix and hour writes: the
// raw pty of LinkedWindowFixture plays a controller that accepts whatever it is sent, and a
// libmodbus server behind a pty cable plays a standard one.

#include <QTest>
#include <functional>
#include <memory>

#include "app/ErrorBox.h"
#include "operations/OperationState.h"
#include "support/LinkedWindowFixture.h"
#include "support/ModbusPeer.h"
#include "widgets/DsFancyButton.h"

class WriteFixture : public LinkedWindowFixture {
protected:
    using THandler = void (TFMmain::*)();

    // Runs a click handler through the guard, confirming its question, and returns the request
    // that reached the raw pty.
    QByteArray ConfirmAndTake(THandler handler, int requestSize) {
        Dialogs.Answer(QStringLiteral("예"));
        Guard([&] { (W.get()->*handler)(); });
        return Pty->Receive(requestSize);
    }

    // Collects and handles whatever the far side sends, tick by tick.
    void HandleReply(int size) {
        ASSERT_TRUE(WaitForReplyStart());
        ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() >= size; }));
        Tick10(11);
    }

    // The raw pty answers like a controller that accepts the write: the request's first six
    // bytes echoed with their CRC.
    void Accept(const QByteArray& request) {
        const QByteArray reply = Frame(request.left(6));
        Pty->Send(reply);
        HandleReply(int(reply.size()));
    }

    // The serial link to a libmodbus server as slave 1; it waits only 100 ms before its
    // exception replies.
    void ConnectToModbusServer() {
        Cable = std::make_unique<PtyLink>();
        ModbusRtuServer::Options options;
        options.responseTimeout = 100;
        Server = std::make_unique<ModbusRtuServer>(Cable->PeerPath(), options);
        OpState = TOperationState();
        Start();
        W->ED_Addr->setText(QStringLiteral("1"));
        W->EDComPort->setText(Cable->ProgramPath());
        W->CB_Baud->SetItemIndex(0);
        W->CB_Parity->SetItemIndex(0);
        Dialogs.Answer(QStringLiteral("확인"));
        QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
        ASSERT_TRUE(W->IsLinkOpen());
        HoldTimers();
        Dialogs.Clear();
    }

    // The three writes: their handler, request size under the page's start-up values, mark and
    // message for an accepted reply.
    struct TWrite {
        THandler handler;
        int requestSize;
        bool* mark;
        const char* question;
        const char* done;
        const char* failed;
    };
    const TWrite Writes[3] = {
        {&TFMmain::SuffixWriteClick, 13, &OpState.SuffixWritePending, "Write Suffix?",
         "Suffix 쓰기 완료!!", "Suffix 쓰기 에러 발생!!"},
        {&TFMmain::BTBoardWriteClick, 13, &OpState.BoardSuffixWritePending, "Write Board Suffix?",
         "Suffix 쓰기 완료!!", "Suffix 쓰기 에러 발생!!"},
        {&TFMmain::BTHourClick, 33, &OpState.HourWritePending, "Write Hour?", "Hour 쓰기 완료!!",
         "Hour 쓰기 에러 발생!!"},
    };

    bool AnyMark() const {
        return OpState.SuffixWritePending || OpState.BoardSuffixWritePending ||
               OpState.HourWritePending;
    }

    std::unique_ptr<PtyLink> Cable;
    std::unique_ptr<ModbusRtuServer> Server;
};
