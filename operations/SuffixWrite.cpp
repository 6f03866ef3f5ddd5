#include "app/ErrorBox.h"
#include "app/Main.h"
#include "app/NumConv.h"
#include "operations/OperationState.h"
#include "operations/PendingMarks.h"
#include "operations/SuffixFrames.h"

namespace {

// Leaving a box while its text is longer than one character brings the operator back to it.
void CheckOneCharacter(TEdit* box) {
    if (box->text().size() <= 1)
        return;
    ShowPlainMessage(QStringLiteral("한글자만 입력하세요!!"));
    box->setFocus();
}

}  // namespace

void TFMmain::SuffixWriteClick() {
    if (!IsLinkOpen()) {
        showMessage_x(QStringLiteral("통신연결이 안되었습니다!"));
        return;
    }
    if (!showMessage_Y(QStringLiteral("Write Suffix?")))
        return;
    // The request is built before the mark is set: a slave ID that is not a number ends the
    // click with nothing sent and nothing waiting for a reply.
    const QByteArray request =
        BuildSuffixRequest(SlaveIdFromText(ED_Addr->text()), CBSuffix->ItemIndex(), EDYear->text(),
                           EDCompany->text(), EDNumber->text());
    MarkPending(OpState.SuffixWritePending);
    TXCommand(request);
}

void TFMmain::BTBoardWriteClick() {
    if (!IsLinkOpen()) {
        showMessage_x(QStringLiteral("통신연결이 안되었습니다!"));
        return;
    }
    if (!showMessage_Y(QStringLiteral("Write Board Suffix?")))
        return;
    const QByteArray request =
        BuildBoardSuffixRequest(SlaveIdFromText(ED_Addr->text()), EDBoardYear->text(),
                                EdBoardMonth->text(), EDBoardNumber->text());
    MarkPending(OpState.BoardSuffixWritePending);
    TXCommand(request);
}

// Both checks are bound to boxes of the other pages as well; whichever box was left, they
// examine their own suffix box.
void TFMmain::EDCompanyExit() {
    CheckOneCharacter(EDCompany);
}

void TFMmain::EDYearExit() {
    CheckOneCharacter(EDYear);
}
