#include "app/Application.h"

#include "app/ErrorBox.h"
#include "widgets/WidgetGuard.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetErrorHandler(ShowCurrentException);
    SetWidgetErrorHandler(ShowCurrentException);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException(std::current_exception());
        return true;
    }
}
