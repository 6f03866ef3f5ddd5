#pragma once

#include <QApplication>

// The program's application object. Handlers guard themselves (ErrorBox.h); this is the last line
// behind them, so that an error escaping any event delivery is shown instead of ending the program.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
