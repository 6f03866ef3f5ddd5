#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>

// The program's own message dialog: a blank band, two centred message lines and the buttons
// "예" and "아니오". A new one is made for every message and destroyed after it, so dialogs
// opened on top of each other (from a timer while a question waits) never share state.
class TFMmsg : public QDialog {
    Q_OBJECT
public:
    explicit TFMmsg(QWidget* owner);

    // The first carriage return splits the message into the two lines; later ones stay in the
    // second line.
    void SetMessage(const QString& sMsgStr);

    QLabel* LBmsg1;
    QLabel* LBmsg4;
    QLabel* LBmsg5;
    QPushButton* BTok;
    QPushButton* BTcancel;

    // The information dialog centres its one button on the dialog's outer width.
    bool FCentreOk = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// Information dialog with the one button "확인".
void ShowMessageX(QWidget* owner, const QString& sMsgStr);

// Yes/no question; true exactly when the operator pressed "예".
bool ShowMessageY(QWidget* owner, const QString& sMsgStr);
