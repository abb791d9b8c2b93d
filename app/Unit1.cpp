#include "app/Unit1.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <exception>

#include "app/shell.h"
#include "binding/error.h"
#include "ui_Unit1.h"

// Resource initialisation must be named outside any namespace.
static void initialiseResources() { Q_INIT_RESOURCE(Unit1); }

namespace {

constexpr int kOuterWidth = 544;
constexpr int kOuterHeight = 375;

std::string componentDescription() {
    // The description is compiled into this library, which a static link would otherwise
    // leave out of the program.
    initialiseResources();
    QFile file(":/Unit1.components");
    if (!file.open(QIODevice::ReadOnly)) throw binding::Error("The window description is missing");
    return file.readAll().toStdString();
}

}  // namespace

TForm1::TForm1(std::shared_ptr<const binding::ClientApi> api, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TForm1>()) {
    ui_->setupUi(this);
    components_ = binding::Components::create(componentDescription(), std::move(api));
    rebuild_ = std::make_unique<rebuild::StockRebuild>(*components_);
    surroundings_ = rebuild::Surroundings::fromSystem();
    surroundings_.showMessage = [](const std::string& text) { app::showClosingMessage(text); };
    connect(ui_->Button1, &QPushButton::clicked, this, [this] { dispatchClick(); });
}

TForm1::~TForm1() = default;

QPushButton* TForm1::button() const { return ui_->Button1; }

void TForm1::Button1Click() { rebuild_->run(surroundings_); }

void TForm1::dispatchClick() {
    try {
        Button1Click();
    } catch (const std::exception& error) {
        app::showErrorBox(error.what());
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_) return;
    centred_ = true;
    // The window's size is its outer size, frame included, as the user sees it.
    const QSize frame = frameGeometry().size() - size();
    resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize area = screen->size();
        move(std::max(0, (area.width() - kOuterWidth) / 2),
             std::max(0, (area.height() - kOuterHeight) / 2));
    }
}
