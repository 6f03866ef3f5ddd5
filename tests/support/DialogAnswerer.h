#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

#include <ostream>

class QWidget;

// Readable test failures for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '{' << texts.join(QStringLiteral("\", \"")).toStdString() << '}';
}

// Answers the program's modal dialogs and message boxes while a test drives the real window.
// Whenever a modal widget becomes active it records its caption and text, then presses the next
// queued answer (a button caption such as "OK", "확인", "예", "아니오"), or runs a queued action.
// With nothing queued it presses the dialog's first visible button.
class DialogAnswerer : public QObject {
    Q_OBJECT
public:
    struct Shown {
        QString caption;
        QString text;  // message boxes: their text; the program's dialog: line 1, CR, line 2
        QString kind;  // "error", "plain", "information", "question", or the class name
        QStringList buttons;
    };

    // Pseudo-answer: close the dialog with its title-bar close box.
    static inline const QString CloseBox = QStringLiteral("<close>");

    explicit DialogAnswerer(QObject* parent = nullptr);
    ~DialogAnswerer() override;

    void Answer(const QString& buttonCaption);
    // Presses the visible button with this caption (or the close box) on a dialog.
    static void Press(QWidget* dialog, const QString& buttonCaption);
    void AnswerWith(std::function<void(QWidget*)> action);
    // Answers the next file dialog with this file, pasted into its name box as an operator does.
    void AnswerFileDialog(const QString& path);
    // Clicks into a file dialog's name box, replaces its text with the path as a paste does, waits
    // until the dialog takes that file and accepts it (without the dialog's own checks of the
    // name, so that a missing file still reaches the program).
    static void TypeFileName(QWidget* fileDialog, const QString& path);

    const QList<Shown>& Seen() const { return FSeen; }
    QStringList Texts() const;
    void Clear() { FSeen.clear(); }

    // Processes events until at least count dialogs have been seen, or the deadline passes.
    bool WaitForDialogs(int count, std::chrono::milliseconds deadline = std::chrono::seconds(5));

private:
    void Poll();
    void Handle(QWidget* modal);

    QTimer FTimer;
    // Dialogs already answered and still alive: a question that gets the focus back after a
    // dialog opened on top of it closes is not answered twice.
    QList<QPointer<QWidget>> FHandled;
    std::deque<std::function<void(QWidget*)>> FAnswers;
    QList<Shown> FSeen;
};

// Processes events until pred() holds or the deadline passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds deadline = std::chrono::seconds(5));
