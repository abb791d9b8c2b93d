#include <QApplication>

#include "app/shell.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    return app::runProgram(application);
}
