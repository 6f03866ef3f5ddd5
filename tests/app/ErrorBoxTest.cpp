#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimerEvent>
#include <stdexcept>

#include "app/ErrorBox.h"
#include "app/Errors.h"
#include "support/DialogAnswerer.h"

namespace {

TEST(ErrorBoxText, AddsAFullStopOnlyAfterCharactersAboveIt) {
    const struct {
        const char16_t* message;
        const char16_t* shown;
    } cases[] = {
        {u"Port Not Open", u"Port Not Open."},
        {u"Asynchronous socket error 111", u"Asynchronous socket error 111."},
        {u"'x' is not a valid integer value", u"'x' is not a valid integer value."},
        {u"ends in a quote\"", u"ends in a quote\""},
        {u"ends in a parenthesis (Error: 5)", u"ends in a parenthesis (Error: 5)"},
        {u"already a full stop.", u"already a full stop."},
        {u"ends in a blank ", u"ends in a blank "},
        {u"ends in a comma,", u"ends in a comma,"},
        {u"ends in a slash/", u"ends in a slash/."},
        {u"한글", u"한글."},
        {u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorBoxText(QString::fromUtf16(c.message)), QString::fromUtf16(c.shown));
    }
}

TEST(ApplicationTitle, FileNameWithoutExtensionRestLowerCase) {
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("/opt/q/Quorrin")),
              QStringLiteral("Quorrin"));
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("/opt/q/QUORRIN.exe")),
              QStringLiteral("Quorrin"));
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("quorrin")), QStringLiteral("quorrin"));
}

TEST(Guard, AnEscapingErrorIsShownInTheDefaultErrorBoxAndTheProgramGoesOn) {
    DialogAnswerer answerer;
    bool after = false;
    Guard([] { throw EConvertError(QStringLiteral("'abc' is not a valid integer value")); });
    Guard([] { throw std::runtime_error("plain runtime error"); });
    Guard([&] { after = true; });
    ASSERT_EQ(answerer.Seen().size(), 2);
    EXPECT_EQ(answerer.Seen()[0].kind, QStringLiteral("error"));
    EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(answerer.Seen()[0].caption, ApplicationTitle());
    EXPECT_EQ(answerer.Seen()[0].buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(answerer.Seen()[1].text, QStringLiteral("plain runtime error."));
    EXPECT_TRUE(after);
}

TEST(Guard, ErrorsThrownInsideSignalDeliveryStayInsideTheGuard) {
    DialogAnswerer answerer;
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        Guard([&] {
            ++clicks;
            throw EQuorrin(QStringLiteral("failed in a slot"));
        });
    });
    button.click();
    button.click();
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(answerer.Texts(), (QStringList{QStringLiteral("failed in a slot."),
                                             QStringLiteral("failed in a slot.")}));
}

TEST(PlainMessageBox, TextOneOkButtonNoIcon) {
    DialogAnswerer answerer;
    ShowPlainMessage(QStringLiteral("쓰기 에러!!"));
    ASSERT_EQ(answerer.Seen().size(), 1);
    EXPECT_EQ(answerer.Seen()[0].kind, QStringLiteral("plain"));
    EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("쓰기 에러!!"));
    EXPECT_EQ(answerer.Seen()[0].caption, ApplicationTitle());
    EXPECT_EQ(answerer.Seen()[0].buttons, QStringList{QStringLiteral("OK")});
}

TEST(ApplicationNotify, AnErrorEscapingAnEventIsShownNotFatal) {
    DialogAnswerer answerer;
    // A timer event whose receiver throws: the application object is the last guard.
    class Thrower : public QObject {
    protected:
        void timerEvent(QTimerEvent* event) override {
            killTimer(event->timerId());
            throw EQuorrin(QStringLiteral("from an event"));
        }
    } thrower;
    thrower.startTimer(1);
    ASSERT_TRUE(answerer.WaitForDialogs(1));
    EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("from an event."));
}

}  // namespace
