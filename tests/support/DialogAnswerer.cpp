#include "support/DialogAnswerer.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QWidget>

namespace {

QString StripAccelerator(QString text) {
    return text.remove(u'&');
}

QList<QAbstractButton*> VisibleButtons(QWidget* w) {
    QList<QAbstractButton*> result;
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (b->isVisible())
            result.append(b);
    }
    // Left to right, as the operator reads them.
    std::sort(result.begin(), result.end(), [w](QAbstractButton* a, QAbstractButton* b) {
        return a->mapTo(w, QPoint()).x() < b->mapTo(w, QPoint()).x();
    });
    return result;
}

}  // namespace

void DialogAnswerer::Press(QWidget* w, const QString& caption) {
    if (caption == DialogAnswerer::CloseBox) {
        w->close();
        return;
    }
    for (QAbstractButton* b : VisibleButtons(w)) {
        if (StripAccelerator(b->text()) == caption) {
            b->click();
            return;
        }
    }
    ADD_FAILURE() << "the dialog has no button " << caption.toStdString() << "; closing it";
    w->close();
}

DialogAnswerer::DialogAnswerer(QObject* parent) : QObject(parent) {
    FTimer.setInterval(5);
    connect(&FTimer, &QTimer::timeout, this, &DialogAnswerer::Poll);
    FTimer.start();
}

DialogAnswerer::~DialogAnswerer() = default;

void DialogAnswerer::Answer(const QString& buttonCaption) {
    FAnswers.push_back([buttonCaption](QWidget* w) { Press(w, buttonCaption); });
}

void DialogAnswerer::AnswerWith(std::function<void(QWidget*)> action) {
    FAnswers.push_back(std::move(action));
}

QStringList DialogAnswerer::Texts() const {
    QStringList texts;
    for (const Shown& s : FSeen)
        texts.append(s.text);
    return texts;
}

bool DialogAnswerer::WaitForDialogs(int count, std::chrono::milliseconds deadline) {
    return WaitUntil([&] { return FSeen.size() >= count; }, deadline);
}

void DialogAnswerer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return;
    FHandled.removeAll(QPointer<QWidget>());
    if (FHandled.contains(modal))
        return;
    FHandled.append(modal);
    Handle(modal);
}

void DialogAnswerer::Handle(QWidget* modal) {
    Shown shown;
    shown.caption = modal->windowTitle();
    for (QAbstractButton* b : VisibleButtons(modal))
        shown.buttons.append(StripAccelerator(b->text()));
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        shown.text = box->text();
        shown.kind = box->icon() == QMessageBox::Critical ? QStringLiteral("error")
                                                          : QStringLiteral("plain");
    } else if (auto* line1 = modal->findChild<QLabel*>(QStringLiteral("LBmsg4"))) {
        const auto* line2 = modal->findChild<QLabel*>(QStringLiteral("LBmsg5"));
        shown.text = line1->text();
        if (line2 != nullptr && !line2->text().isEmpty())
            shown.text += u'\r' + line2->text();
        shown.kind =
            shown.buttons.size() == 1 ? QStringLiteral("information") : QStringLiteral("question");
    } else {
        shown.kind = QString::fromLatin1(modal->metaObject()->className());
    }
    FSeen.append(shown);

    if (!FAnswers.empty()) {
        auto answer = std::move(FAnswers.front());
        FAnswers.pop_front();
        answer(modal);
        return;
    }
    const QList<QAbstractButton*> buttons = VisibleButtons(modal);
    if (!buttons.isEmpty()) {
        buttons.front()->click();
    } else {
        modal->close();
    }
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds deadline) {
    QDeadlineTimer timer(deadline);
    QTimer wake;  // keeps the wait below from blocking past the deadline
    wake.start(5);
    while (!pred()) {
        if (timer.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}
