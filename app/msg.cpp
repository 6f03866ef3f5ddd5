#include "app/msg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include "app/Controls.h"
#include "app/Pictures.h"

namespace {

constexpr int kResultYes = 1;
constexpr int kResultNo = 2;

QLabel* MakeBand(QWidget* parent, const QString& name, int top, const QFont& font) {
    auto* band = new QLabel(parent);
    band->setObjectName(name);
    band->setGeometry(0, top, 530, 41);
    band->setFont(font);
    band->setAlignment(Qt::AlignCenter);
    band->setWordWrap(false);
    // A message can carry a file name the operator chose; it is shown as it is, never as markup
    // (an "<img src=...>" in it would make the label read that file).
    band->setTextFormat(Qt::PlainText);
    // A long line is cut at the band's edges, never wrapped and never widening the dialog.
    band->setMinimumWidth(0);
    band->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return band;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, int left, const QString& caption,
                        const QImage& glyph) {
    auto* button = new QPushButton(QIcon(QPixmap::fromImage(glyph)), caption, parent);
    button->setObjectName(name);
    button->setGeometry(left, 152, 117, 44);
    // Neither button is the default: Enter and the space bar press whichever has the focus.
    button->setDefault(false);
    button->setAutoDefault(true);
    return button;
}

}  // namespace

TFMmsg::TFMmsg(QWidget* owner) : QDialog(owner) {
    InstallFontSubstitutes();
    setObjectName(QStringLiteral("FMmsg"));
    setWindowTitle(QStringLiteral("메세지"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(530, 217);
    setFont(UiFont(19, true));

    LBmsg1 = MakeBand(this, QStringLiteral("LBmsg1"), 0, UiFont(16, true));
    LBmsg4 = MakeBand(this, QStringLiteral("LBmsg4"), 41, font());
    LBmsg5 = MakeBand(this, QStringLiteral("LBmsg5"), 82, font());
    BTok =
        MakeButton(this, QStringLiteral("BTok"), 144, QStringLiteral("예"), MakeDialogGlyph(true));
    BTcancel = MakeButton(this, QStringLiteral("BTcancel"), 288, QStringLiteral("아니오"),
                          MakeDialogGlyph(false));
    connect(BTok, &QPushButton::clicked, this, [this] { done(kResultYes); });
    connect(BTcancel, &QPushButton::clicked, this, [this] { done(kResultNo); });
    BTok->setFocus();
}

void TFMmsg::SetMessage(const QString& sMsgStr) {
    const qsizetype split = sMsgStr.indexOf(u'\r');
    if (split < 0) {
        LBmsg4->setText(sMsgStr);
        LBmsg5->clear();
    } else {
        LBmsg4->setText(sMsgStr.left(split));
        LBmsg5->setText(sMsgStr.mid(split + 1));
    }
}

void TFMmsg::keyPressEvent(QKeyEvent* event) {
    // Escape does not answer the question: only the buttons and the close box do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFMmsg::closeEvent(QCloseEvent* event) {
    // The close box answers "no".
    if (isVisible())
        done(kResultNo);
    event->accept();
}

void TFMmsg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
    if (FCentreOk) {
        const int outerWidth = frameGeometry().width();
        BTok->move(outerWidth / 2 - BTok->width() / 2, BTok->y());
    }
    BTok->setFocus();
}

void ShowMessageX(QWidget* owner, const QString& sMsgStr) {
    TFMmsg dialog(owner);
    dialog.SetMessage(sMsgStr);
    dialog.BTcancel->hide();
    dialog.BTok->setText(QStringLiteral("확인"));
    dialog.FCentreOk = true;
    dialog.exec();
}

bool ShowMessageY(QWidget* owner, const QString& sMsgStr) {
    TFMmsg dialog(owner);
    dialog.SetMessage(sMsgStr);
    dialog.BTcancel->show();
    return dialog.exec() == kResultYes;
}
