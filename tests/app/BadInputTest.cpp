// Bad operator text in every input box of the main window, driven through the window itself: the
// text is pasted into the box, the button of the operation that reads the box is clicked, the
// program's dialogs are answered, and what the operator sees and what goes on the link are
// compared with what the program must do with that text.

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHostInfo>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <optional>
#include <vector>

#include "app/ErrorBox.h"
#include "app/Settings.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"
#include "support/LinkedWindowFixture.h"
#include "widgets/DsFancyButton.h"

namespace {

using namespace std::chrono_literals;

// One operator text, with what a strict conversion makes of it: the value of a 32-bit and of a
// 64-bit conversion, none where the conversion is refused.
struct TText {
    const char* what;
    QString text;
    std::optional<qint64> int32;
    std::optional<qint64> int64;
};

const std::vector<TText>& Texts() {
    static const std::vector<TText> rows = {
        {"empty", QString(), {}, {}},
        {"10000 digits", QString(10000, u'7'), {}, {}},
        {"10000 letters", QString(10000, u'q'), {}, {}},
        {"letters", QStringLiteral("abc"), {}, {}},
        {"plus sign", QStringLiteral("+5"), 5, 5},
        {"minus sign", QStringLiteral("-5"), -5, -5},
        {"minus zero", QStringLiteral("-0"), 0, 0},
        {"two minus signs", QStringLiteral("--1"), {}, {}},
        {"0x prefix", QStringLiteral("0x1F"), 31, 31},
        {"$ prefix", QStringLiteral("$1F"), 31, 31},
        {"x prefix", QStringLiteral("x1F"), {}, {}},
        {"# prefix", QStringLiteral("#1F"), {}, {}},
        {"leading blank", QStringLiteral(" 5"), 5, 5},
        {"trailing blank", QStringLiteral("5 "), {}, {}},
        {"blanks around", QStringLiteral(" 5 "), {}, {}},
        {"largest 32-bit", QStringLiteral("2147483647"), 2147483647, 2147483647},
        {"just past 32 bits signed", QStringLiteral("2147483648"), {}, 2147483648LL},
        {"just past 32 bits unsigned", QStringLiteral("4294967296"), {}, 4294967296LL},
        {"just below 32 bits", QStringLiteral("-2147483649"), {}, -2147483649LL},
        {"largest 64-bit", QStringLiteral("9223372036854775807"), {}, 9223372036854775807LL},
        {"just past 64 bits signed", QStringLiteral("9223372036854775808"), {}, {}},
        {"just past 64 bits unsigned", QStringLiteral("18446744073709551616"), {}, {}},
        {"23 digits", QStringLiteral("99999999999999999999999"), {}, {}},
        {"Arabic-Indic digits", QStringLiteral("١٢"), {}, {}},
        {"fullwidth digits", QStringLiteral("１２"), {}, {}},
        {"Korean", QStringLiteral("한글"), {}, {}},
        // Shown in a box or the status bar, it must read as typed, not as markup.
        {"markup", QStringLiteral("<b>5</b>"), {}, {}},
    };
    return rows;
}

QString NotAnInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value.").arg(text);
}

bool AllAsciiDigits(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// What a lenient conversion gives: the value, or 0 without a word.
qint64 Lenient(const TText& row) {
    return row.int32.value_or(0);
}

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

void PutLittleEndian(QByteArray& bytes, int at, quint64 value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// Pastes as the operator does with Ctrl+V, over everything the box holds; the box's own filter
// (capitals, digits only) applies.
void Paste(TEdit* box, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

// Text that a label would render as markup.
bool ShownAsMarkup(Qt::TextFormat format, const QString& text) {
    return format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
}

// Notes every message box whose text would be rendered as markup.
class MarkupWatch : public QObject {
public:
    MarkupWatch() { qApp->installEventFilter(this); }
    ~MarkupWatch() override { qApp->removeEventFilter(this); }
    QStringList Rendered;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(object);
                box != nullptr && ShownAsMarkup(box->textFormat(), box->text()))
                Rendered.append(box->text());
        }
        return false;
    }
};

class BadInput : public LinkedWindowFixture {
protected:
    void TearDown() override {
        EXPECT_TRUE(Markup.Rendered.isEmpty()) << "boxes showing operator text as markup: "
                                               << Markup.Rendered.join(u'|').toStdString();
        LinkedWindowFixture::TearDown();
    }

    void Click(TDsFancyButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void ShowPage(int page) { W->PageControl1->setCurrentIndex(page); }

    // An attempt still shown as connected is released first, as the operator does before the
    // next "연 결".
    void ReleaseAttempt() {
        if (W->BT_DisConnect->isVisible())
            Click(W->BT_DisConnect);
    }

    // After an open the 10 ms refresh enables the memory and suffix buttons; the timers are then
    // held, so that no retry check sends a block again in the middle of a row.
    void HoldTimersOnceButtonsFollow() {
        ASSERT_TRUE(
            WaitUntil([&] { return W->SuffixWrite->isEnabled() && W->BT_Read->isEnabled(); }));
        HoldTimers();
    }

    QString StatusText() const { return W->StatusBar1->PanelText(); }
    bool StatusShownAsMarkup() const {
        const auto* panel = W->StatusBar1->findChild<QLabel*>();
        return panel != nullptr && ShownAsMarkup(panel->textFormat(), panel->text());
    }

    // The controller side answers a write as accepted; the reply is handled tick by tick.
    void AcceptWrite(const QByteArray& request) {
        const QByteArray reply = Frame(request.left(6));
        Pty->Send(reply);
        ASSERT_TRUE(WaitForReplyStart());
        ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() >= reply.size(); }));
        Tick10(11);
    }

    // The communication test as slave 1 over the open serial link, answered by the controller
    // side: the request goes out whole and the reply reaches the receive monitor, no box opens.
    void ExpectSerialExchange() {
        Dialogs.Clear();
        W->Mm_RX->clear();
        Click(W->BT_Request);
        EXPECT_EQ(Pty->Receive(8), Hex("01 04 00 00 00 2C F1 D7"));
        const QByteArray reply = Frame(Hex("01 04 02 12 34"));
        Pty->Send(reply);
        EXPECT_TRUE(WaitUntil([&] { return !W->Mm_RX->toPlainText().isEmpty(); }));
        EXPECT_EQ(W->Mm_RX->toPlainText(), QString::fromLatin1(reply.toHex(' ').toUpper()) + u' ');
        EXPECT_TRUE(Dialogs.Texts().isEmpty());
    }

    MarkupWatch Markup;
};

// ---- The boxes' own filters ------------------------------------------------------------------

// Upper-case boxes fold letters to capitals and leave everything else; digits-only boxes refuse a
// paste that holds anything but 0 to 9; the other boxes take any text, 10,000 characters too.
TEST_F(BadInput, EveryBoxFiltersPastedTextByItsKind) {
    Start();
    const std::vector<TEdit*> anyText = {W->ED_Addr, W->EDComPort, W->ED_IPAddr, W->ED_Port};
    const std::vector<TEdit*> capitals = {W->EDCompany, W->EDYear, W->EDBoardYear, W->EdBoardMonth};
    const std::vector<TEdit*> digits = {W->EDNumber, W->EDBoardNumber, W->EDHour1, W->EDMin1,
                                        W->EDHour2,  W->EDMin2,        W->EDHour3, W->EDMin3};
    std::vector<TEdit*> listed = anyText;
    listed.insert(listed.end(), capitals.begin(), capitals.end());
    listed.insert(listed.end(), digits.begin(), digits.end());
    const QList<TEdit*> boxes = W->findChildren<TEdit*>();
    EXPECT_EQ(QSet<TEdit*>(boxes.begin(), boxes.end()), QSet<TEdit*>(listed.begin(), listed.end()))
        << "every input box of the window is one of the three kinds";
    for (const TText& row : Texts()) {
        SCOPED_TRACE(row.what);
        for (TEdit* box : anyText) {
            Paste(box, row.text);
            EXPECT_EQ(box->text(), row.text) << box->objectName().toStdString();
        }
        for (TEdit* box : capitals) {
            Paste(box, row.text);
            EXPECT_EQ(box->text(), row.text.toUpper()) << box->objectName().toStdString();
        }
        for (TEdit* box : digits) {
            box->setText(QStringLiteral("0"));
            Paste(box, row.text);
            EXPECT_EQ(box->text(), AllAsciiDigits(row.text) ? row.text : QStringLiteral("0"))
                << box->objectName().toStdString();
        }
    }
}

// ---- Slave ID ----------------------------------------------------------------------------------

// The slave ID is converted strictly by every request. The box is locked while the link is open,
// so each text is typed with the link released, then the link is opened again and every operation
// is tried: a number goes out as its low 8 bits in the first byte of an otherwise unchanged
// request, anything else ends the click with the conversion error and sends nothing.
TEST_F(BadInput, SlaveIdOfEveryRequest) {
    Start();
    Pty = std::make_unique<RawPty>();
    W->EDComPort->setText(Pty->Path());
    W->CB_Baud->SetItemIndex(1);
    W->CB_Parity->SetItemIndex(0);

    QByteArray firstWriteBlock = Hex("0A 1B 2C 3D");
    firstWriteBlock.append(QByteArray(28, '\0'));
    const struct {
        const char* name;
        TDsFancyButton* TFMmain::*button;
        int page;
        const char* question;
        QByteArray asSlave1;  // the request for slave 1, without its CRC
    } operations[] = {
        {"communication test", &TFMmain::BT_Request, 0, nullptr, Hex("01 04 00 00 00 2C")},
        // FILE WRITE before WRITE: the image WRITE sends is the one FILE WRITE loaded.
        {"FILE WRITE", &TFMmain::btTextWrite, 2, "Write Parameter?",
         Hex("01 10 C0 00 00 10 20") + firstWriteBlock},
        {"WRITE", &TFMmain::BT_Write, 2, "Write Parameter?",
         Hex("01 10 C0 00 00 10 20") + firstWriteBlock},
        {"READ", &TFMmain::BT_Read, 2, "Read Parameter?", Hex("01 03 C0 00 00 10")},
        {"SUFFIX WRITE", &TFMmain::SuffixWrite, 0, "Write Suffix?",
         Hex("01 10 CF F1 00 00 04 FF FF FF FF")},
        {"BOARD SUFFIX WRITE", &TFMmain::BTBoardWrite, 3, "Write Board Suffix?",
         Hex("01 10 CF F6 00 00 04 FF FF FF FF")},
        {"HOUR WRITE", &TFMmain::BTHour, 1, "Write Hour?",
         Hex("01 10 C1 E0 00 00 18") + QByteArray(24, '\0')},
    };

    for (const TText& row : Texts()) {
        SCOPED_TRACE(row.what);
        if (W->IsLinkOpen()) {
            Click(W->BT_DisConnect);
            // The 10 ms tick that finds the link closed ends a sweep left running by a row before.
            Tick10(1);
        }
        ASSERT_TRUE(W->ED_Addr->isEnabled());
        Paste(W->ED_Addr, row.text);
        // WRITE is offered after a completed read sweep; this stands for one.
        OpState.ReadDone = true;
        Dialogs.Clear();
        Click(W->BT_Connect);
        ASSERT_TRUE(W->IsLinkOpen());
        HoldTimersOnceButtonsFollow();
        // Opening the link does not convert the slave ID; the status shows it as typed.
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결되었습니다!")});
        EXPECT_EQ(
            StatusText(),
            QStringLiteral("Connected.. [ %1, 19200, NONE, , %2 ]").arg(row.text, Pty->Path()));
        EXPECT_FALSE(StatusShownAsMarkup());

        for (const auto& op : operations) {
            SCOPED_TRACE(op.name);
            TDsFancyButton* button = W.get()->*op.button;
            ShowPage(op.page);
            SetMemoryText(*W->mmOpen, QStringLiteral("0A1B2C3D"));  // a memory file opened
            ASSERT_TRUE(button->isEnabled());
            const QString monitor = W->Mm_TX->toPlainText();
            Dialogs.Clear();
            // Each request here stands alone: the ones before it are not waited for.
            OpState.Requests = TRequestLedger();
            if (op.question)
                Dialogs.Answer(QStringLiteral("예"));
            Click(button);
            QStringList shown;
            if (op.question)
                shown.append(QString::fromUtf8(op.question));
            const bool inRange = row.int32 && *row.int32 >= 0 && *row.int32 <= 255;
            if (row.int32 && !inRange) {
                // A frame carries one byte: the cut number would address another controller.
                shown.append(
                    QStringLiteral("Slave ID %1 is outside the range 0 to 255.").arg(*row.int32));
                EXPECT_EQ(Dialogs.Texts(), shown);
                EXPECT_TRUE(Pty->Drain().isEmpty());
            } else if (row.int32) {
                QByteArray request = op.asSlave1;
                request[0] = char(*row.int32 & 0xFF);
                EXPECT_EQ(Pty->Receive(int(request.size()) + 2).toHex(' '),
                          Frame(request).toHex(' '));
                EXPECT_EQ(Dialogs.Texts(), shown);
            } else {
                shown.append(NotAnInteger(row.text));
                EXPECT_EQ(Dialogs.Texts(), shown);
                EXPECT_EQ(Dialogs.Seen().value(shown.size() - 1).kind, QStringLiteral("error"));
                EXPECT_TRUE(Pty->Drain().isEmpty());
                EXPECT_EQ(W->Mm_TX->toPlainText(), monitor) << "no monitor line";
            }
        }
    }

    // The last row that could be sent left its writes waiting; the next reply is their result.
    Click(W->BT_DisConnect);
    Tick10(1);
    Paste(W->ED_Addr, QStringLiteral("1"));
    Click(W->BT_Connect);
    ASSERT_TRUE(W->IsLinkOpen());
    HoldTimersOnceButtonsFollow();
    ShowPage(0);
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->SuffixWrite);
    const QByteArray request = Pty->Receive(13);
    EXPECT_EQ(request, Hex("01 10 CF F1 00 00 04 FF FF FF FF 2C A4"));
    Dialogs.Clear();
    AcceptWrite(request);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Suffix 쓰기 완료!!")});
    W->Timer10->start();
    W->Timer50->start();
    ExpectSerialExchange();
}

// ---- Serial port number ----------------------------------------------------------------------

// The port box names a device only by a number of 1 or more or by an absolute path; any other
// text fails to open with the one message, and the window stays as it was.
TEST_F(BadInput, SerialPortNumber) {
    Start();
    Pty = std::make_unique<RawPty>();
    W->ED_Addr->setText(QStringLiteral("1"));
    std::vector<TText> rows = Texts();
    rows.push_back({"root folder", QStringLiteral("/"), {}, {}});
    rows.push_back({"not a terminal", QStringLiteral("/dev/null"), {}, {}});
    rows.push_back({"terminal path, leading blank", u' ' + Pty->Path(), {}, {}});
    rows.push_back({"terminal path, trailing blank", Pty->Path() + u' ', {}, {}});
    for (const TText& row : rows) {
        SCOPED_TRACE(row.what);
        Paste(W->EDComPort, row.text);
        Dialogs.Clear();
        Click(W->BT_Connect);
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결 실패!!")});
        EXPECT_FALSE(W->ComPort1->Connected());
        EXPECT_TRUE(W->BT_Connect->isVisible());
        EXPECT_TRUE(StatusText().isEmpty());
        EXPECT_TRUE(W->EDComPort->isEnabled());
        EXPECT_TRUE(W->Timer10->isActive());
    }
    EXPECT_TRUE(Pty->Drain().isEmpty());

    Paste(W->EDComPort, Pty->Path());
    Click(W->BT_Connect);
    ASSERT_TRUE(W->ComPort1->Connected());
    ExpectSerialExchange();
}

// ---- LAN host and port -----------------------------------------------------------------------

class BadLanInput : public BadInput {
protected:
    // The name lookup of the LAN client, replaced so that no text ever reaches a nameserver. It
    // notes every host it is asked for and, unless told to wait, answers "not found" from the
    // event loop, as a resolver would.
    void ReplaceLookup(bool answer) {
        W->Client->SetHostLookup(
            [this, answer](const QString& host, QObject* context, TLookupDone done) {
                Looked.append(host);
                if (!answer)
                    return;
                QTimer::singleShot(0, context, [done] {
                    QHostInfo info;
                    info.setError(QHostInfo::HostNotFound);
                    info.setErrorString(QStringLiteral("Host not found"));
                    done(info);
                });
            });
    }

    void StartOnLan() {
        Start();
        W->ED_Addr->setText(QStringLiteral("1"));
        QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
        Listener = std::make_unique<QTcpServer>();
        ASSERT_TRUE(Listener->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    }

    // Opens the LAN link to the listener with the port written as given and takes the connection.
    void OpenToListener(const QString& portText) {
        W->Client->SetHostLookup({});
        Paste(W->ED_IPAddr, QStringLiteral("127.0.0.1"));
        Paste(W->ED_Port, portText);
        ReleaseAttempt();
        Click(W->BT_Connect);
        ASSERT_TRUE(WaitUntil([&] { return W->IsLinkOpen() && Listener->hasPendingConnections(); }))
            << portText.toStdString();
        Peer = Listener->nextPendingConnection();
    }

    // The communication test as slave 1 over the open LAN link, answered by the listener's side.
    void ExpectLanExchange() {
        ASSERT_TRUE(WaitUntil([&] { return W->Timer10->isActive() && W->BT_Read->isEnabled(); }));
        Dialogs.Clear();
        W->Mm_RX->clear();
        Click(W->BT_Request);
        ASSERT_TRUE(WaitUntil([&] { return Peer->bytesAvailable() >= 8; }));
        EXPECT_EQ(Peer->readAll(), Hex("01 04 00 00 00 2C F1 D7"));
        const QByteArray reply = Frame(Hex("01 04 02 12 34"));
        Peer->write(reply);
        EXPECT_TRUE(WaitUntil([&] { return !W->Mm_RX->toPlainText().isEmpty(); }));
        EXPECT_EQ(W->Mm_RX->toPlainText(), QString::fromLatin1(reply.toHex(' ').toUpper()) + u' ');
        EXPECT_TRUE(Dialogs.Texts().isEmpty());
    }

    QStringList Looked;
};

// The host text goes to the name lookup whole and unchanged, whatever it holds; a lookup that finds
// nothing is reported by the socket layer after "connected". Only an empty host fails at once.
TEST_F(BadLanInput, Host) {
    StartOnLan();
    ReplaceLookup(true);
    Paste(W->ED_Port, QStringLiteral("502"));
    const QStringList notFound = {
        QStringLiteral(
            "Windows socket error: Name or service not known (-2), on API 'ASync Lookup'"),
        QStringLiteral("연결되었습니다!")};
    for (const TText& row : Texts()) {
        SCOPED_TRACE(row.what);
        Paste(W->ED_IPAddr, row.text);
        ReleaseAttempt();
        Looked.clear();
        Dialogs.Clear();
        Click(W->BT_Connect);
        if (row.text.isEmpty()) {
            EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결 실패!!")});
            EXPECT_TRUE(Looked.isEmpty());
            EXPECT_FALSE(W->Timer10->isActive());
            continue;
        }
        ASSERT_TRUE(Dialogs.WaitForDialogs(2));
        QStringList texts = Dialogs.Texts();
        texts.sort();  // the lookup's answer may come while "connected" is still open
        EXPECT_EQ(texts, notFound);
        EXPECT_EQ(Looked, QStringList{row.text});
        EXPECT_FALSE(W->IsLinkOpen());
        EXPECT_TRUE(W->BT_DisConnect->isVisible());
        EXPECT_EQ(StatusText(), QStringLiteral("Connected.. [ 1, %1, 502 ] ").arg(row.text));
        EXPECT_FALSE(StatusShownAsMarkup());
    }

    OpenToListener(QString::number(Listener->serverPort()));
    ExpectLanExchange();
}

// The port is converted strictly inside the connect guard: a text that is not a 32-bit integer
// fails at once with "연결 실패!!" and leaves the 10 ms timer stopped; a number is handed to the
// socket, which uses its low 16 bits.
TEST_F(BadLanInput, Port) {
    StartOnLan();
    ReplaceLookup(false);  // an attempt stays in its lookup: nothing is connected anywhere
    // A host name: a numeric address would not go to the lookup.
    Paste(W->ED_IPAddr, QStringLiteral("controller.test"));
    for (const TText& row : Texts()) {
        SCOPED_TRACE(row.what);
        const int portBefore = W->Client->Port();
        Paste(W->ED_Port, row.text);
        ReleaseAttempt();
        Looked.clear();
        Dialogs.Clear();
        Click(W->BT_Connect);
        if (!row.int32) {
            EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결 실패!!")});
            EXPECT_TRUE(Looked.isEmpty());
            EXPECT_EQ(W->Client->Port(), portBefore);
            EXPECT_FALSE(W->Timer10->isActive());
            continue;
        }
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결되었습니다!")});
        EXPECT_EQ(Looked, QStringList{QStringLiteral("controller.test")});
        EXPECT_EQ(W->Client->Port(), *row.int32);
        EXPECT_TRUE(W->Timer10->isActive());
        EXPECT_EQ(StatusText(),
                  QStringLiteral("Connected.. [ 1, controller.test, %1 ] ").arg(row.text));
        EXPECT_FALSE(StatusShownAsMarkup());
    }

    // The accepted forms reach the listener for real: signs, hex prefixes, a leading blank, and
    // numbers past 16 bits, of which only the low 16 bits count.
    const int port = Listener->serverPort();
    const QString hex = QString::number(port, 16).toUpper();
    const QString forms[] = {QStringLiteral("+%1").arg(port), QStringLiteral("$%1").arg(hex),
                             QStringLiteral("0x%1").arg(hex), QStringLiteral(" %1").arg(port),
                             QString::number(port + 65536),   QString::number(port - 65536)};
    for (const QString& form : forms) {
        SCOPED_TRACE(form.toStdString());
        OpenToListener(form);
        if (form != forms[std::size(forms) - 1]) {
            Click(W->BT_DisConnect);
            EXPECT_FALSE(W->IsLinkOpen());
        }
    }
    ExpectLanExchange();
}

// ---- Suffix pages ----------------------------------------------------------------------------

// Year and company are characters: the low 8 bits of the first character's code, 0xFF for an
// empty box; leaving either box with more than one character brings the operator back to it. The
// number is converted leniently: 0 for anything that is not an integer, the low 16 bits otherwise.
TEST_F(BadInput, SuffixBoxes) {
    ConnectSerial();
    HoldTimersOnceButtonsFollow();
    ShowPage(0);
    const auto activate = [&] {
        W->activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return W->isActiveWindow(); }));
    };
    const auto focus = [&](QWidget* box) {
        activate();
        box->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return box->hasFocus(); }));
    };

    for (TEdit* box : {W->EDYear, W->EDCompany}) {
        SCOPED_TRACE(box->objectName().toStdString());
        const int at = box == W->EDYear ? 7 : 8;
        for (const TText& row : Texts()) {
            SCOPED_TRACE(row.what);
            focus(box);
            Paste(box, row.text);
            const QString held = box->text();
            QByteArray request = Hex("01 10 CF F1 00 00 04 FF FF FF FF");
            if (!held.isEmpty())
                request[at] = char(held.front().unicode() & 0xFF);
            Dialogs.Clear();
            Dialogs.Answer(QStringLiteral("예"));
            Click(W->SuffixWrite);  // the button takes no focus: the box is not left
            EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Write Suffix?")});
            EXPECT_EQ(Pty->Receive(13).toHex(' '), Frame(request).toHex(' '));

            Dialogs.Clear();
            activate();
            W->EDNumber->setFocus();
            if (held.size() > 1) {
                ASSERT_TRUE(Dialogs.WaitForDialogs(1));
                EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("한글자만 입력하세요!!")});
                activate();
                EXPECT_TRUE(WaitUntil([&] { return box->hasFocus(); }));
            } else {
                EXPECT_TRUE(WaitUntil([&] { return W->EDNumber->hasFocus(); }));
                EXPECT_TRUE(Dialogs.Texts().isEmpty());
            }
            box->clear();
        }
    }

    // Digits only: other texts cannot be typed, but whatever the box holds is converted the same.
    for (const TText& row : Texts()) {
        SCOPED_TRACE(row.what);
        W->EDNumber->setText(row.text);
        QByteArray request = Hex("01 10 CF F1 00 00 04 FF FF FF FF");
        if (!row.text.isEmpty())
            PutLittleEndian(request, 9, quint64(Lenient(row)), 2);
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("예"));
        Click(W->SuffixWrite);
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Write Suffix?")});
        EXPECT_EQ(Pty->Receive(13).toHex(' '), Frame(request).toHex(' '));
    }

    W->EDYear->setText(QStringLiteral("N"));
    W->EDCompany->setText(QStringLiteral("A"));
    W->EDNumber->setText(QStringLiteral("123"));
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->SuffixWrite);
    const QByteArray request = Pty->Receive(13);
    EXPECT_EQ(request, Hex("01 10 CF F1 00 00 04 4E 41 7B 00 48 FC"));
    Dialogs.Clear();
    AcceptWrite(request);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Suffix 쓰기 완료!!")});
}

// Board year and month are numbers sent as their low 8 bits, the board number as its low 16 bits;
// all three are converted leniently, and only an empty box gives 0xFF. Leaving the year and month
// boxes checks the serial suffix boxes, which are empty here, so nothing is shown.
TEST_F(BadInput, BoardSuffixBoxes) {
    ConnectSerial();
    HoldTimersOnceButtonsFollow();
    ShowPage(3);
    const struct {
        TEdit* box;
        int at;
        int width;
    } boxes[] = {{W->EDBoardYear, 7, 1}, {W->EdBoardMonth, 8, 1}, {W->EDBoardNumber, 9, 2}};
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.box->objectName().toStdString());
        for (const TText& row : Texts()) {
            SCOPED_TRACE(row.what);
            // The year and month boxes take what is typed in capitals; the number box only digits,
            // so its text is set as it is.
            if (b.box == W->EDBoardNumber)
                b.box->setText(row.text);
            else
                Paste(b.box, row.text);
            QByteArray request = Hex("01 10 CF F6 00 00 04 FF FF FF FF");
            if (!row.text.isEmpty())
                PutLittleEndian(request, b.at, quint64(Lenient(row)), b.width);
            Dialogs.Clear();
            Dialogs.Answer(QStringLiteral("예"));
            Click(W->BTBoardWrite);
            EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Write Board Suffix?")});
            EXPECT_EQ(Pty->Receive(13).toHex(' '), Frame(request).toHex(' '));
            emit b.box->OnExit();
            EXPECT_EQ(Dialogs.Texts().size(), 1) << "leaving the box shows nothing";
            b.box->clear();
        }
    }

    W->EDBoardYear->setText(QStringLiteral("23"));
    W->EdBoardMonth->setText(QStringLiteral("7"));
    W->EDBoardNumber->setText(QStringLiteral("500"));
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->BTBoardWrite);
    const QByteArray request = Pty->Receive(13);
    EXPECT_EQ(request, Hex("01 10 CF F6 00 00 04 17 07 F4 01 5F A3"));
    Dialogs.Clear();
    AcceptWrite(request);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Suffix 쓰기 완료!!")});
}

// ---- Hour meter page -------------------------------------------------------------------------

// Every box is converted strictly, and only the boxes the model sends are read: models 0 and 1
// convert each box as a 64-bit integer and send its low 32 bits (the minute boxes multiplied
// first), models 2 and 3 convert as 32-bit integers and send the minute boxes as the low 16 bits
// of 60 times the value. An empty value box is refused before the question, also where the model
// does not send it.
TEST_F(BadInput, HourBoxes) {
    ConnectSerial();
    HoldTimersOnceButtonsFollow();
    ShowPage(1);
    TEdit* const all[] = {W->EDHour1, W->EDMin1, W->EDHour2, W->EDMin2, W->EDHour3, W->EDMin3};

    // Where a box goes in the request of a model: offsets of its fields (none when the model does
    // not read it), the field width and the factor applied before the low bits are taken.
    struct TField {
        std::vector<int> at;
        int width = 4;
        quint64 factor = 1;
        bool wide = true;  // converted as 64 bits
    };
    const auto field = [&](int model, TEdit* box) -> TField {
        if (model == 2) {
            if (box == W->EDMin1)
                return {{7}, 2, 60, false};
            if (box == W->EDMin2)
                return {{9}, 2, 60, false};
            if (box == W->EDHour1)
                return {{15}, 4, 1, false};
            if (box == W->EDHour2)
                return {{19}, 4, 1, false};
            if (box == W->EDHour3)
                return {{23, 27}, 4, 1, false};
            return {};
        }
        const bool third = box == W->EDHour3 || box == W->EDMin3;
        if (model == 1 && third)
            return {};
        if (box == W->EDMin1)
            return {{7}, 4, 60};
        if (box == W->EDHour1)
            return {{11}, 4, 1};
        if (box == W->EDMin2)
            return {{15}, 4, 36};
        if (box == W->EDHour2)
            return {{19}, 4, 1};
        if (box == W->EDMin3)
            return {{23}, 4, 36};
        return {{27}, 4, 1};
    };
    const struct {
        int model;
        std::vector<TEdit*> boxes;
        QByteArray zero;  // the request with every box "0", without its CRC
    } runs[] = {
        {0, {all, all + 6}, Hex("01 10 C1 E0 00 00 18") + QByteArray(24, '\0')},
        // Model 1 converts like model 0; what differs is the third pair, which it does not send.
        {1, {W->EDHour3, W->EDMin3}, Hex("01 10 C1 D0 00 00 10") + QByteArray(16, '\0')},
        {2, {all, all + 6}, Hex("01 10 C1 80 00 00 18") + QByteArray(24, '\0')},
    };

    for (const auto& run : runs) {
        SCOPED_TRACE(run.model);
        W->CB_Model->SetItemIndex(run.model);
        emit W->CB_Model->activated(run.model);  // as the operator's choice does
        for (TEdit* box : run.boxes) {
            SCOPED_TRACE(box->objectName().toStdString());
            const TField f = field(run.model, box);
            const bool valueBox = box == W->EDHour1 || box == W->EDHour2 || box == W->EDHour3;
            for (const TText& row : Texts()) {
                SCOPED_TRACE(row.what);
                for (TEdit* other : all)
                    other->setText(QStringLiteral("0"));
                box->setText(row.text);  // digits only: set as it is
                const std::optional<qint64> value = f.wide ? row.int64 : row.int32;
                const int size = int(run.zero.size()) + 2;
                Dialogs.Clear();
                if (valueBox && row.text.isEmpty()) {
                    Click(W->BTHour);
                    EXPECT_EQ(Dialogs.Texts(),
                              QStringList{QStringLiteral("시간이 잘못되었습니다!!")});
                    EXPECT_TRUE(Pty->Drain().isEmpty());
                    continue;
                }
                Dialogs.Answer(QStringLiteral("예"));
                Click(W->BTHour);
                if (!f.at.empty() && !value) {
                    EXPECT_EQ(Dialogs.Texts(),
                              (QStringList{QStringLiteral("Write Hour?"), NotAnInteger(row.text)}));
                    EXPECT_EQ(Dialogs.Seen().value(1).kind, QStringLiteral("error"));
                    EXPECT_TRUE(Pty->Drain().isEmpty());
                    continue;
                }
                QByteArray request = run.zero;
                for (int at : f.at)
                    PutLittleEndian(request, at, quint64(value.value_or(0)) * f.factor, f.width);
                EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Write Hour?")});
                EXPECT_EQ(Pty->Receive(size).toHex(' '), Frame(request).toHex(' '));
            }
        }
    }

    W->CB_Model->SetItemIndex(0);
    emit W->CB_Model->activated(0);
    const char* good[] = {"1234", "30", "5678", "50", "9", "12"};
    for (int i = 0; i < 6; ++i)
        all[i]->setText(QString::fromLatin1(good[i]));
    Dialogs.Answer(QStringLiteral("예"));
    Click(W->BTHour);
    const QByteArray request = Pty->Receive(33);
    EXPECT_EQ(request, Hex("01 10 C1 E0 00 00 18 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 "
                           "B0 01 00 00 09 00 00 00 43 EF"));
    Dialogs.Clear();
    AcceptWrite(request);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Hour 쓰기 완료!!")});
}

// ---- Settings file ---------------------------------------------------------------------------

// Bad texts in every box are written on closing; the file keeps all seven keys in their two
// sections, reads back through the fields' widths, and the next start reads it.
class BadInputSettings : public MainWindowFixture {};

TEST_F(BadInputSettings, EveryKeySurvivesBadTexts) {
    const struct {
        const char* what;
        QString text;
        QString stored;  // what the file gives back for it
    } variants[] = {
        {"10000 digits", QString(10000, u'7'), QString(10000, u'7')},
        {"10000 letters", QString(10000, u'q'), QString(10000, u'q')},
        {"Korean", QStringLiteral("한글"), QStringLiteral("한글")},
        {"Arabic-Indic digits", QStringLiteral("١٢"), QStringLiteral("١٢")},
        {"fullwidth digits", QStringLiteral("１２"), QStringLiteral("１２")},
        {"signs and prefixes", QStringLiteral("--$0x#1F"), QStringLiteral("--$0x#1F")},
        // Blanks around a value are not kept by the file format.
        {"blanks around", QStringLiteral("  5  "), QStringLiteral("5")},
        {"file syntax", QStringLiteral("[LAN];x=y#"), QStringLiteral("[LAN];x=y#")},
        {"markup", QStringLiteral("<b>5</b>"), QStringLiteral("<b>5</b>")},
        // A pasted text can carry line breaks; a value is one line of the file.
        {"line breaks", QStringLiteral("1\r\n[LAN]\nIP=other\rPORT=9"), QStringLiteral("1")},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.what);
        QFile::remove(IniPath());
        if (!W) {
            W = std::make_unique<TFMmain>();
            W->SetSettingsFileName(IniPath());
        }
        Start();
        for (TEdit* box : W->findChildren<TEdit*>())
            Paste(box, v.text);
        for (TComboBox* list : {W->CB_Baud, W->CB_Parity}) {
            QGuiApplication::clipboard()->setText(v.text);
            list->lineEdit()->selectAll();
            QTest::keyClick(list->lineEdit(), Qt::Key_V, Qt::ControlModifier);
        }
        W->CB_Model->SetItemIndex(3);
        Dialogs.Clear();
        W->close();
        EXPECT_TRUE(Dialogs.Texts().isEmpty()) << "no write error";

        const auto expectFile = [&] {
            const TTolma1Table read = ReadTolmaFile(IniPath());
            EXPECT_EQ(read.ID, CutToAnsiWidth(v.stored, 3));
            EXPECT_EQ(read.PORT, v.stored);
            EXPECT_EQ(read.IP, v.stored);
            EXPECT_EQ(read.LANPORT, v.stored);

            // Line by line: each section once, each key once and in its own section.
            QMap<QString, QStringList> keys;
            QString section;
            for (const QByteArray& raw : ReadIni().split('\n')) {
                const QString line = QString::fromUtf8(raw).trimmed();
                if (line.startsWith(u'[')) {
                    section = line;
                    EXPECT_FALSE(keys.contains(section)) << "second " << line.toStdString();
                    keys[section];
                } else if (!line.isEmpty()) {
                    keys[section].append(line.section(u'=', 0, 0));
                }
            }
            EXPECT_EQ(keys.value(QStringLiteral("[COM]")),
                      (QStringList{QStringLiteral("ID"), QStringLiteral("PORT"),
                                   QStringLiteral("Baudrate"), QStringLiteral("Parity"),
                                   QStringLiteral("Model")}));
            EXPECT_EQ(keys.value(QStringLiteral("[LAN]")),
                      (QStringList{QStringLiteral("IP"), QStringLiteral("LANPORT")}));
            EXPECT_EQ(keys.size(), 2);
            const QByteArray ini = ReadIni();
            EXPECT_TRUE(ini.contains("Baudrate=-1\n")) << "a typed rate selects no row";
            EXPECT_TRUE(ini.contains("Parity=-1\n"));
            EXPECT_TRUE(ini.contains("Model=3\n"));
        };
        expectFile();

        // The next start reads the file; closing again keeps it as it is.
        W = std::make_unique<TFMmain>();
        W->SetSettingsFileName(IniPath());
        Start();
        EXPECT_EQ(W->ED_Addr->text(), CutToAnsiWidth(v.stored, 3));
        EXPECT_EQ(W->EDComPort->text(), v.stored);
        EXPECT_EQ(W->ED_IPAddr->text(), v.stored);
        EXPECT_EQ(W->ED_Port->text(), v.stored);
        EXPECT_EQ(W->CB_Baud->ItemIndex(), 0) << "\"-\" selects the first row";
        EXPECT_EQ(W->CB_Parity->ItemIndex(), 0);
        EXPECT_EQ(W->CB_Model->ItemIndex(), 3);
        W->ED_IPAddr->setText(v.stored);  // unchanged
        W->CB_Baud->SetItemIndex(-1);
        W->CB_Parity->SetItemIndex(-1);
        W->ED_Addr->setText(v.stored);
        W->EDComPort->setText(v.stored);
        W->close();
        expectFile();
        W.reset();
    }
}

}  // namespace
