// Runs the program exactly as it starts, with a watcher in place of the user: every modal
// box that comes up is reported as one line "BOX <title>|<text>" on stdout and closed.
//
//   gui_driver                   start, answer boxes, run until the window is closed
//   gui_driver --press           also press "Ok" once, then close the window after its box
//   gui_driver --press-and-wait  press "Ok" once and leave the window open (to be killed)
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <iostream>

#include "app/Unit1.h"
#include "app/shell.h"

namespace {

QString boxText(QWidget* box) {
    if (auto* message = qobject_cast<QMessageBox*>(box)) return message->text();
    if (auto* label = box->findChild<QLabel*>("message")) return label->text();
    if (auto* label = box->findChild<QLabel*>()) return label->text();
    return {};
}

// Reports and closes the box on top, once per box.
void answerModalBox() {
    static QPointer<QWidget> answered;
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr || box == answered || !box->isVisible()) return;
    answered = box;
    // One line per box; a box's text may span lines, the report does not.
    QString text = boxText(box);
    text.replace("\r\n", " ").replace('\n', ' ').replace('\r', ' ');
    std::cout << "BOX " << box->windowTitle().toStdString() << '|' << text.toStdString()
              << std::endl;
    if (auto* dialog = qobject_cast<QDialog*>(box))
        dialog->reject();
    else
        box->close();
}

TForm1* mainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TForm1*>(widget)) return form;
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    bool press = false;
    bool closeAfterPress = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--press") == 0) {
            press = true;
            closeAfterPress = true;
        } else if (std::strcmp(argv[i], "--press-and-wait") == 0) {
            press = true;
        } else {
            std::cerr << "usage: gui_driver [--press | --press-and-wait]" << std::endl;
            return 2;
        }
    }

    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, &application, answerModalBox);
    watcher.start(20);

    if (press) {
        // The window exists once the message loop runs; press as soon as it is shown.
        auto* starter = new QTimer(&application);
        QObject::connect(starter, &QTimer::timeout, &application, [=] {
            TForm1* form = mainWindow();
            if (form == nullptr || !form->isVisible()) return;
            starter->stop();
            form->button()->click();  // returns once the run's box has been answered
            if (closeAfterPress) form->close();
        });
        starter->start(10);
    }
    return app::runProgram(application);
}
