#include "app/Main.h"
#include "app/Application.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TFMmain window;
    window.show();
    return app.exec();
}
