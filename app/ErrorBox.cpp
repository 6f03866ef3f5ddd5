#include "app/ErrorBox.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <new>

#include "app/Errors.h"

QString ApplicationTitleFromPath(const QString& executablePath) {
    const QString base = QFileInfo(executablePath).completeBaseName();
    if (base.isEmpty())
        return base;
    return base.left(1) + base.mid(1).toLower();
}

QString ApplicationTitle() {
    return ApplicationTitleFromPath(QCoreApplication::applicationFilePath());
}

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

namespace {

void ShowBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    // The text can carry the operator's own (a slave ID that is not a number): it is shown as
    // typed. Taken for markup, "<img src=...>" would make the label read the named file, which
    // for a device such as /dev/zero never ends.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace

void ShowErrorBox(const QString& message) {
    ShowBox(QMessageBox::Critical, ErrorBoxText(message));
}

void ShowPlainMessage(const QString& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

void ShowCurrentException(std::exception_ptr error) noexcept {
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const EQuorrin& e) {
        message = e.Message();
    } catch (const std::bad_alloc&) {
        message = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    try {
        ShowErrorBox(message);
    } catch (...) {
        // Showing the box itself failed (out of memory, most likely): nothing more can be told.
    }
}
