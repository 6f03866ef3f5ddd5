#include <QWidget>

#include "app/Application.h"
#include "app/ErrorBox.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(ApplicationTitle());
    window.show();
    return app.exec();
}
