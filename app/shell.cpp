#include "app/shell.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cctype>
#include <iostream>

#include "app/Unit1.h"
#include "platform/platform.h"

namespace app {

namespace {

// Puts the box's outer frame, title bar included, in the middle of the primary screen.
void centreOnScreen(QWidget& box) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    box.winId();  // the native window, so that the frame around the box is known
    const QSize outer = box.frameGeometry().size();
    const QRect area = screen->geometry();
    box.move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace

std::string applicationTitle(const std::string& executablePath) {
    const auto slash = executablePath.find_last_of("/\\");
    std::string name =
        slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    for (std::size_t i = 1; i < name.size(); ++i)
        name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    return name;
}

std::string applicationTitle() { return applicationTitle(platform::executablePath()); }

std::string errorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

void showClosingMessage(const std::string& text) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QString::fromStdString(applicationTitle()));
    dialog.setModal(true);
    auto* label = new QLabel(QString::fromStdString(text), &dialog);
    label->setObjectName("message");
    label->setWordWrap(true);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        label->setMaximumWidth(screen->size().width() / 2);
    auto* button = new QPushButton("&Ok", &dialog);
    button->setObjectName("ok");
    button->setDefault(true);
    // Esc rejects the dialog and Enter presses the default button: either closes it.
    QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addLayout(buttons);
    dialog.adjustSize();
    centreOnScreen(dialog);
    dialog.exec();
}

void showErrorBox(const std::string& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(applicationTitle()),
                    QString::fromStdString(errorBoxText(message)), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

int runProgram(QApplication& application, std::shared_ptr<const binding::ClientApi> api) {
    std::unique_ptr<TForm1> form;
    try {
        form = std::make_unique<TForm1>(std::move(api));
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        QMessageBox box(QMessageBox::Critical, "Application Error", error.what(), QMessageBox::Ok);
        box.exec();
        return 1;
    }
    form->show();
    const int code = application.exec();
    form.reset();  // components go with the window: tables, transaction, connection
    return code;
}

}  // namespace app
