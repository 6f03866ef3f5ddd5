#include "app/Main.h"
#include "app/NumConv.h"
#include "operations/HourFrames.h"
#include "operations/OperationState.h"
#include "operations/PendingMarks.h"

void TFMmain::CB_ModelChange() {
    // Whichever model box changed, the hour page follows its own box; with no row selected the
    // model stays as it was.
    const int row = CB_Model->ItemIndex();
    if (row >= 0 && row < kHourModelCount)
        OpState.HourModel = row;

    const THourLayout layout = HourLayout(OpState.HourModel);
    LBHour1->setText(layout.Hour1Caption);
    LBHour2->setText(layout.Hour2Caption);
    LBSemi2->setText(layout.Semi2Caption);
    if (layout.Hour3Caption)
        LBHour3->setText(*layout.Hour3Caption);
    if (layout.Semi3Caption)
        LBSemi3->setText(*layout.Semi3Caption);
    for (QLabel* label : {LBHour1, LBHour2, LBSemi2, LBHour3, LBSemi3})
        label->adjustSize();
    LBHour3->setVisible(layout.ShowHour3);
    EDHour3->setVisible(layout.ShowHour3);
    LBSemi3->setVisible(layout.ShowMin3);
    EDMin3->setVisible(layout.ShowMin3);
}

void TFMmain::BTHourClick() {
    if (!IsLinkOpen()) {
        showMessage_x(QStringLiteral("통신연결이 안되었습니다!"));
        return;
    }
    // The third value box is tested for every model, also while it is hidden.
    for (const TEdit* box : {EDHour1, EDHour2, EDHour3}) {
        if (box->text().isEmpty()) {
            showMessage_x(QStringLiteral("시간이 잘못되었습니다!!"));
            return;
        }
    }
    if (!showMessage_Y(QStringLiteral("Write Hour?")))
        return;
    // Built before the mark is set: a box that is not a number ends the click with its conversion
    // error, nothing sent and nothing waiting for a reply.
    const THourBoxes boxes{EDHour1->text(), EDMin1->text(),  EDHour2->text(),
                           EDMin2->text(),  EDHour3->text(), EDMin3->text()};
    const QByteArray request =
        BuildHourRequest(SlaveIdFromText(ED_Addr->text()), OpState.HourModel, boxes);
    MarkPending(OpState.HourWritePending);
    TXCommand(request);
}
