#include <QPointer>
#include <QTest>
#include <QTimer>

#include "app/msg.h"
#include "support/MainWindowFixture.h"

namespace {

// What a dialog showed, read while it is open.
struct Look {
    QString line1, line2, ok, cancel;
    bool cancelVisible = false;
    int okLeft = -1;
    int outerWidth = -1;
    bool wraps = true;
    QSize client;
    int line1Width = -1;
};

Look Inspect(QWidget* w) {
    auto* d = qobject_cast<TFMmsg*>(w);
    Look look;
    if (d == nullptr)
        return look;
    look.line1 = d->LBmsg4->text();
    look.line2 = d->LBmsg5->text();
    look.ok = d->BTok->text();
    look.cancel = d->BTcancel->text();
    look.cancelVisible = d->BTcancel->isVisible();
    look.okLeft = d->BTok->x();
    look.outerWidth = d->frameGeometry().width();
    look.wraps = d->LBmsg4->wordWrap();
    look.client = d->size();
    look.line1Width = d->LBmsg4->sizeHint().width();
    return look;
}

using MessageDialogs = MainWindowFixture;

TEST_F(MessageDialogs, TheFirstCarriageReturnSplitsTheMessage) {
    Start();
    const struct {
        QString message, line1, line2;
    } cases[] = {
        {QStringLiteral("Reading OK!!"), QStringLiteral("Reading OK!!"), QString()},
        {QStringLiteral("\rsecond"), QString(), QStringLiteral("second")},
        {QStringLiteral("a.txt\r 파일명으로 저장되었습니다."), QStringLiteral("a.txt"),
         QStringLiteral(" 파일명으로 저장되었습니다.")},
        {QStringLiteral("one\rtwo\rthree"), QStringLiteral("one"), QStringLiteral("two\rthree")},
        {QStringLiteral("one\r\ntwo"), QStringLiteral("one"), QStringLiteral("\ntwo")},
    };
    for (const auto& c : cases) {
        Look look;
        Dialogs.AnswerWith([&](QWidget* w) {
            look = Inspect(w);
            DialogAnswerer::Press(w, QStringLiteral("확인"));
        });
        W->showMessage_x(c.message);
        EXPECT_EQ(look.line1, c.line1) << c.message.toStdString();
        EXPECT_EQ(look.line2, c.line2) << c.message.toStdString();
    }
}

TEST_F(MessageDialogs, InformationShowsOneCentredButtonQuestionShowsTwo) {
    Start();
    Look info, question;
    Dialogs.AnswerWith([&](QWidget* w) {
        info = Inspect(w);
        DialogAnswerer::Press(w, QStringLiteral("확인"));
    });
    W->showMessage_x(QStringLiteral("파일이 없습니다!"));
    EXPECT_EQ(info.ok, QStringLiteral("확인"));
    EXPECT_FALSE(info.cancelVisible);
    EXPECT_EQ(info.okLeft, info.outerWidth / 2 - 117 / 2);
    EXPECT_EQ(info.client, QSize(530, 217));
    EXPECT_EQ(Dialogs.Seen().back().caption, QStringLiteral("메세지"));

    Dialogs.AnswerWith([&](QWidget* w) {
        question = Inspect(w);
        DialogAnswerer::Press(w, QStringLiteral("예"));
    });
    EXPECT_TRUE(W->showMessage_Y(QStringLiteral("Read Parameter?")));
    EXPECT_EQ(question.ok, QStringLiteral("예"));
    EXPECT_EQ(question.cancel, QStringLiteral("아니오"));
    EXPECT_TRUE(question.cancelVisible);
    EXPECT_EQ(question.okLeft, 144);
}

TEST_F(MessageDialogs, QuestionAnswersByButtonKeyboardAndCloseBox) {
    Start();
    Dialogs.Answer(QStringLiteral("아니오"));
    EXPECT_FALSE(W->showMessage_Y(QStringLiteral("Write Suffix?")));
    Dialogs.Answer(DialogAnswerer::CloseBox);
    EXPECT_FALSE(W->showMessage_Y(QStringLiteral("Write Suffix?")));

    // Enter right after opening presses the focused "예".
    Dialogs.AnswerWith([](QWidget* w) { QTest::keyClick(w->focusWidget(), Qt::Key_Return); });
    EXPECT_TRUE(W->showMessage_Y(QStringLiteral("Write Hour?")));

    // Escape does nothing; Tab then space presses "아니오".
    bool stillOpenAfterEscape = false;
    Dialogs.AnswerWith([&](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Escape);
        stillOpenAfterEscape = w->isVisible();
        QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
        QTest::keyClick(w->focusWidget(), Qt::Key_Space);
    });
    EXPECT_FALSE(W->showMessage_Y(QStringLiteral("Write Board Suffix?")));
    EXPECT_TRUE(stillOpenAfterEscape);
}

TEST_F(MessageDialogs, ALongLineIsCutNotWrapped) {
    Start();
    Look look;
    Dialogs.AnswerWith([&](QWidget* w) {
        look = Inspect(w);
        DialogAnswerer::Press(w, QStringLiteral("확인"));
    });
    W->showMessage_x(QString(300, u'W'));
    EXPECT_FALSE(look.wraps);
    EXPECT_EQ(look.client, QSize(530, 217));
}

TEST_F(MessageDialogs, AnInformationOpenedFromATimerClosesIndependentlyOfAnOpenQuestion) {
    Start();
    bool questionStillOpen = false;
    Dialogs.AnswerWith([&](QWidget* question) {
        QPointer<QWidget> q = question;
        QTimer::singleShot(10, [&, q] {
            W->showMessage_x(QStringLiteral("Reading OK!!"));  // answered below with "확인"
            questionStillOpen = q && q->isVisible();
            if (q)
                DialogAnswerer::Press(q, QStringLiteral("아니오"));
        });
    });
    Dialogs.Answer(QStringLiteral("확인"));
    EXPECT_FALSE(W->showMessage_Y(QStringLiteral("Write Hour?")));
    EXPECT_TRUE(questionStillOpen);
    EXPECT_EQ(Dialogs.Texts(),
              (QStringList{QStringLiteral("Write Hour?"), QStringLiteral("Reading OK!!")}));
}

TEST_F(MessageDialogs, MarkupInAMessageIsShownAsTyped) {
    // The name of a saved file reaches the dialog as the operator chose it.
    Start();
    int widths[2] = {};
    const QString messages[2] = {QStringLiteral("x"), QStringLiteral("<b></b>x")};
    for (int i = 0; i < 2; ++i) {
        Dialogs.AnswerWith([&](QWidget* w) {
            widths[i] = Inspect(w).line1Width;
            DialogAnswerer::Press(w, QStringLiteral("확인"));
        });
        W->showMessage_x(messages[i]);
    }
    EXPECT_GT(widths[1], widths[0]) << "the tags are shown, not taken for markup";
}

}  // namespace
