// The main window: the caption, the "Ok" button that runs the stock rebuild, and the
// stock database components it owns for the whole run of the program.
#pragma once

#include <QWidget>
#include <memory>

#include "binding/components.h"
#include "rebuild/stock_rebuild.h"

namespace Ui {
class TForm1;
}
class QPushButton;

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    // Creates the window and its components, closed; loads the client library unless
    // `api` is given. Throws binding::Error when the library cannot be loaded.
    explicit TForm1(std::shared_ptr<const binding::ClientApi> api = nullptr,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    QPushButton* button() const;
    const binding::Components& components() const { return *components_; }
    // The clock, folder and message box the rebuild uses; tests may replace parts.
    rebuild::Surroundings& surroundings() { return surroundings_; }

    // The click handler: one whole stock rebuild pass.
    void Button1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Runs the click handler; an error that escapes it goes to the error box.
    void dispatchClick();

    std::unique_ptr<Ui::TForm1> ui_;
    std::unique_ptr<binding::Components> components_;
    std::unique_ptr<rebuild::StockRebuild> rebuild_;
    rebuild::Surroundings surroundings_;
    bool centred_ = false;
};
