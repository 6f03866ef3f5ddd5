#include "support/DialogAnswerer.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
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

void DialogAnswerer::TypeFileName(QWidget* w, const QString& path) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr) << "not a file dialog";
    auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(box, nullptr);
    // QFileDialog::selectFile leaves the name box alone once it has the keyboard focus (it will
    // not overwrite what an operator is typing), and the box gets the focus some time after the
    // dialog shows: selecting the file from code kept the previous name whenever the focus came
    // first. An operator clicks into the box and pastes the name; when the list still shows
    // another file selected beside it (its listing arrived meanwhile), the operator clears the
    // list's selection and pastes again.
    auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    const auto paste = [&] {
        if (list != nullptr)
            list->clearSelection();
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        box->insert(path);
    };
    paste();
    ASSERT_TRUE(WaitUntil([&] {
        if (dialog->selectedFiles() == QStringList{path})
            return true;
        paste();
        return false;
    })) << "the dialog took "
        << dialog->selectedFiles().join(u',').toStdString() << " for " << path.toStdString();
    static_cast<QDialog*>(dialog)->accept();
}

void DialogAnswerer::AnswerFileDialog(const QString& path) {
    AnswerWith([path](QWidget* w) { TypeFileName(w, path); });
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
