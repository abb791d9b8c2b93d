// The real main window driven as the user drives it, on the offscreen platform: its
// layout, a press that rebuilds a real database, the boxes it shows and how they close,
// the shutdown, and the program started whole through gui_driver.
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/shell.h"
#include "binding/client_api.h"
#include "support/scratch.h"
#include "tools/sample_database.h"

namespace {

// The boxes of this test program are captioned with its own executable's name.
const QString kTitle = "gui_test";
const QString kLibraryMissing =
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this "
    "functionality";

// What a modal box showed when it came up, and whether the key pressed on it closed it.
struct Box {
    bool seen = false;
    bool isMessageBox = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool showsPixmap = false;  // a label holding an image, an icon of any kind
    bool modal = false;
    QString title;
    QString text;
    QStringList buttons;
    bool buttonIsDefault = false;
    QRect frame;
    bool wordWrap = false;
    int labelMaximumWidth = 0;
    QSize labelSize;
    bool closedByKey = false;
};

// Waits, from inside the message loop of the box the next action opens, for that box;
// records it and presses `key` on it. A box the key leaves open is closed anyway, so a
// test fails instead of hanging.
class BoxAnswerer : public QObject {
  public:
    explicit BoxAnswerer(Qt::Key key) : key_(key) {
        QTimer::singleShot(0, this, &BoxAnswerer::look);
        clock_.start();
    }

    Box box;

  private:
    void look() {
        QWidget* widget = QApplication::activeModalWidget();
        if (widget == nullptr || !widget->isVisible()) {
            if (clock_.elapsed() < 60000) QTimer::singleShot(10, this, &BoxAnswerer::look);
            return;
        }
        record(widget);
        QPointer<QWidget> open = widget;
        QWidget* target = widget->focusWidget() ? widget->focusWidget() : widget;
        QTest::keyClick(target, key_);
        box.closedByKey = open.isNull() || !open->isVisible();
        if (!box.closedByKey) {
            if (auto* dialog = qobject_cast<QDialog*>(open.data())) dialog->reject();
        }
    }

    void record(QWidget* widget) {
        box.seen = true;
        box.modal = widget->isModal();
        box.title = widget->windowTitle();
        box.frame = widget->frameGeometry();
        if (auto* message = qobject_cast<QMessageBox*>(widget)) {
            box.isMessageBox = true;
            box.icon = message->icon();
            box.text = message->text();
        }
        for (QLabel* label : widget->findChildren<QLabel*>()) {
            if (!label->isVisible()) continue;
            if (!label->pixmap().isNull()) box.showsPixmap = true;
            if (!box.isMessageBox && !label->text().isEmpty()) {
                box.text = label->text();
                box.wordWrap = label->wordWrap();
                box.labelMaximumWidth = label->maximumWidth();
                box.labelSize = label->size();
            }
        }
        for (QAbstractButton* button : widget->findChildren<QAbstractButton*>()) {
            if (!button->isVisible()) continue;
            box.buttons << button->text();
            if (auto* push = qobject_cast<QPushButton*>(button))
                box.buttonIsDefault = push->isDefault();
        }
    }

    Qt::Key key_;
    QElapsedTimer clock_;
};

QSize screenSize() { return QGuiApplication::primaryScreen()->size(); }

// The counterpart of the client library whose every entry is counted before it is
// passed on to the real one.
std::vector<std::string>& clientCalls() {
    static std::vector<std::string> calls;
    return calls;
}

const binding::ClientApi& realClient() {
    static const auto api = binding::loadClientLibrary(binding::defaultClientLibraryName());
    return *api;
}

#define COUNT_CALLS(entry)                       \
    api->entry = [](auto... arguments) {         \
        clientCalls().push_back(#entry);         \
        return realClient().entry(arguments...); \
    }

std::shared_ptr<const binding::ClientApi> countingClient() {
    auto api = std::make_shared<binding::ClientApi>();
    COUNT_CALLS(attach_database);
    COUNT_CALLS(detach_database);
    COUNT_CALLS(database_info);
    COUNT_CALLS(start_multiple);
    COUNT_CALLS(commit_retaining);
    COUNT_CALLS(commit_transaction);
    COUNT_CALLS(rollback_transaction);
    COUNT_CALLS(dsql_allocate_statement);
    COUNT_CALLS(dsql_prepare);
    COUNT_CALLS(dsql_describe);
    COUNT_CALLS(dsql_describe_bind);
    COUNT_CALLS(dsql_execute);
    COUNT_CALLS(dsql_execute2);
    COUNT_CALLS(dsql_fetch);
    COUNT_CALLS(dsql_free_statement);
    COUNT_CALLS(interpret);
    clientCalls().clear();
    return api;
}

#undef COUNT_CALLS

int countOf(const std::string& entry) {
    return static_cast<int>(std::count(clientCalls().begin(), clientCalls().end(), entry));
}

QString joined(const std::vector<std::string>& lines) {
    QStringList list;
    for (const auto& line : lines) list << QString::fromStdString(line);
    return list.join("\n");
}

}  // namespace

class GuiTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void applicationTitle_data();
    void applicationTitle();
    void errorBoxText_data();
    void errorBoxText();

    void firstShowCentresWindow();
    void pressRebuildsAndShowsAcabou_data();
    void pressRebuildsAndShowsAcabou();
    void closingMessageWrapsLongText();
    void errorBoxThenSecondPressSucceeds();
    void closingWithoutPressMakesNoDatabaseCall();
    void closingAfterPressCommitsAndDetaches();

    void driverPressAnswersBoxes_data();
    void driverPressAnswersBoxes();
    void missingClientLibraryStopsWithApplicationError();

  private:
    // A scratch folder made the current one, as the program expects its database there.
    void enterScratchFolder();
    // A small sample database with stale sums in the scratch folder.
    void createSampleDatabase();
    std::string database() const { return folder_->database(); }
    // Runs `program` with `arguments` in the scratch folder; returns its exit code.
    int runProcess(const QString& program, const QStringList& arguments, QString& out,
                   QString& err);

    std::optional<support::ScratchFolder> folder_;
    QString previousDirectory_;
};

void GuiTest::init() { previousDirectory_ = QDir::currentPath(); }

void GuiTest::cleanup() {
    QDir::setCurrent(previousDirectory_);
    folder_.reset();
}

void GuiTest::enterScratchFolder() {
    folder_.emplace();
    QVERIFY(QDir::setCurrent(QString::fromStdString(folder_->path().string())));
}

void GuiTest::createSampleDatabase() {
    fbtools::SampleOptions options;
    options.products = 12;
    options.sizes = 2;
    options.colours = 3;
    options.movements = 3;
    options.forcedWrites = false;
    fbtools::createSampleDatabase(database(), options);
    support::shareWithServer(database());
}

int GuiTest::runProcess(const QString& program, const QStringList& arguments, QString& out,
                        QString& err) {
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(folder_->path().string()));
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        err = "did not finish: " + process.readAllStandardError();
        return -1;
    }
    out = QString::fromUtf8(process.readAllStandardOutput());
    err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void GuiTest::applicationTitle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("cut at the first dot") << "/x/Atualiza.Produto.exe"
                                          << "Atualiza";
    QTest::newRow("all capitals") << "/x/ATUALIZA-PRODUTO"
                                  << "Atualiza-produto";
    QTest::newRow("first letter kept small") << "/opt/atualiza-produto"
                                             << "atualiza-produto";
    QTest::newRow("dots in the folder") << "/opt/v1.2/PROG.bin"
                                        << "Prog";
    QTest::newRow("no folder") << "MiXeD"
                               << "Mixed";
    QTest::newRow("name starts with a dot") << "/x/.Hidden"
                                            << "";
}

void GuiTest::applicationTitle() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(QString::fromStdString(app::applicationTitle(path.toStdString())), title);
}

void GuiTest::errorBoxText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Database not found"
                            << "Database not found.";
    QTest::newRow("digit") << "Error 335544344"
                           << "Error 335544344.";
    QTest::newRow("slash sorts after the dot") << "file /tmp/"
                                               << "file /tmp/.";
    QTest::newRow("accented letter") << "Não há conexão"
                                     << "Não há conexão.";
    QTest::newRow("dot") << "Lock conflict."
                         << "Lock conflict.";
    QTest::newRow("closing parenthesis") << "Failed (code 5)"
                                         << "Failed (code 5)";
    QTest::newRow("comma sorts before the dot") << "Failed,"
                                                << "Failed,";
    QTest::newRow("minus sorts before the dot") << "Failed -"
                                                << "Failed -";
    QTest::newRow("empty") << ""
                           << "";
}

void GuiTest::errorBoxText() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(app::errorBoxText(message.toStdString())), shown);
}

// Also run on screens smaller than the window and of odd sizes (see CMakeLists.txt).
void GuiTest::firstShowCentresWindow() {
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(form.windowTitle(),
             QString("Atualização da tabela produto de acordo com o cor_prod (Firebird)"));
    QCOMPARE(form.frameGeometry().size(), QSize(544, 375));
    QPushButton* button = form.findChild<QPushButton*>("Button1");
    QVERIFY(button != nullptr);
    QCOMPARE(form.findChildren<QPushButton*>().size(), 1);
    QCOMPARE(button->text(), QString("Ok"));
    QCOMPARE(button->geometry(), QRect(232, 160, 75, 25));

    const QSize screen = screenSize();
    const QPoint centred(std::max(0, (screen.width() - 544) / 2),
                         std::max(0, (screen.height() - 375) / 2));
    QCOMPARE(form.frameGeometry().topLeft(), centred);

    // Only the first show places the window: one moved by the user stays where it is.
    form.move(centred + QPoint(7, 5));
    form.hide();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.frameGeometry().topLeft(), centred + QPoint(7, 5));
    QCOMPARE(form.frameGeometry().size(), QSize(544, 375));
}

void GuiTest::pressRebuildsAndShowsAcabou_data() {
    QTest::addColumn<Qt::Key>("key");
    QTest::newRow("Return") << Qt::Key_Return;
    QTest::newRow("keypad Enter") << Qt::Key_Enter;
    QTest::newRow("Esc") << Qt::Key_Escape;
}

void GuiTest::pressRebuildsAndShowsAcabou() {
    QFETCH(Qt::Key, key);
    enterScratchFolder();
    createSampleDatabase();
    {
        auto session = fbtools::SqlSession::attach(database());
        QVERIFY2(!support::disagreementsWithTotals(session, 0).empty(),
                 "the sample's sums should be stale before the press");
    }

    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    BoxAnswerer answerer(key);
    QTest::mouseClick(form.button(), Qt::LeftButton);

    const Box& box = answerer.box;
    QVERIFY2(box.seen, "no box after the press");
    QVERIFY(!box.isMessageBox);
    QVERIFY(!box.showsPixmap);
    QVERIFY(box.modal);
    QCOMPARE(box.title, kTitle);
    QCOMPARE(box.text, QString("Acabou"));
    QCOMPARE(box.buttons, QStringList{"&Ok"});
    QVERIFY(box.buttonIsDefault);
    QVERIFY(box.wordWrap);
    QVERIFY(box.labelMaximumWidth <= screenSize().width() / 2);
    // Centred as a whole, frame included.
    const QPoint centred((screenSize().width() - box.frame.width()) / 2,
                         (screenSize().height() - box.frame.height()) / 2);
    QVERIFY2(box.frame.topLeft() == centred,
             qPrintable(QString("the box at %1,%2 %3x%4 is not centred on the screen")
                            .arg(box.frame.x())
                            .arg(box.frame.y())
                            .arg(box.frame.width())
                            .arg(box.frame.height())));
    QVERIFY2(box.closedByKey, "the key did not close the box");

    // Every product's work is committed by the time the box shows.
    auto session = fbtools::SqlSession::attach(database());
    QCOMPARE(joined(support::disagreementsWithTotals(session, 0)), QString());
    QVERIFY(form.isVisible());
    QVERIFY(form.button()->isEnabled());
}

void GuiTest::closingMessageWrapsLongText() {
    QString text;
    for (int i = 0; i < 60; ++i) text += "palavra" + QString::number(i) + " ";
    text = text.trimmed();
    BoxAnswerer answerer(Qt::Key_Return);
    app::showClosingMessage(text.toStdString());

    const Box& box = answerer.box;
    QVERIFY(box.seen);
    QCOMPARE(box.text, text);
    QVERIFY(box.labelSize.width() <= screenSize().width() / 2);
    QVERIFY2(box.labelSize.height() >= 2 * QFontMetrics(QApplication::font()).height(),
             "a long text should wrap onto several lines");
    QVERIFY(box.frame.width() < screenSize().width());
    QVERIFY(box.closedByKey);
}

void GuiTest::errorBoxThenSecondPressSucceeds() {
    enterScratchFolder();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    {
        BoxAnswerer answerer(Qt::Key_Return);
        QTest::mouseClick(form.button(), Qt::LeftButton);
        const Box& box = answerer.box;
        QVERIFY2(box.seen, "no box for the missing database");
        QVERIFY(box.isMessageBox);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, kTitle);
        QCOMPARE(box.buttons.size(), 1);
        QVERIFY2(box.text.contains("Quorvale.GDB"), qPrintable(box.text));
        // The engine's text ends in a word, so the box adds the full stop.
        QVERIFY2(box.text.endsWith('.') && !box.text.endsWith(".."), qPrintable(box.text));
        QVERIFY(box.text.chopped(1).back().unicode() > '.');
        QVERIFY(box.closedByKey);
    }
    QVERIFY(form.isVisible());
    QVERIFY(form.button()->isEnabled());

    createSampleDatabase();
    {
        BoxAnswerer answerer(Qt::Key_Return);
        QTest::mouseClick(form.button(), Qt::LeftButton);
        QCOMPARE(answerer.box.text, QString("Acabou"));
        QVERIFY(answerer.box.closedByKey);
    }
    auto session = fbtools::SqlSession::attach(database());
    QCOMPARE(joined(support::disagreementsWithTotals(session, 0)), QString());
}

void GuiTest::closingWithoutPressMakesNoDatabaseCall() {
    enterScratchFolder();
    createSampleDatabase();
    auto client = countingClient();
    {
        TForm1 form(client);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.close();
    }
    QCOMPARE(joined(clientCalls()), QString());
}

void GuiTest::closingAfterPressCommitsAndDetaches() {
    enterScratchFolder();
    createSampleDatabase();
    auto client = countingClient();
    auto form = std::make_unique<TForm1>(client);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    {
        BoxAnswerer answerer(Qt::Key_Return);
        QTest::mouseClick(form->button(), Qt::LeftButton);
        QCOMPARE(answerer.box.text, QString("Acabou"));
    }
    std::map<support::ProductKey, support::ProductState> expected;
    {
        auto session = fbtools::SqlSession::attach(database());
        expected = support::productStates(session);
    }

    // Work left pending in the window's transaction: a sum written, not yet committed.
    binding::Table& produto = form->components().table("Produto");
    produto.first();
    const support::ProductKey first{form->components().field("ProdutoCODIGO").asInteger(),
                                    form->components().field("ProdutoFILIAL").asInteger()};
    produto.edit();
    form->components().field("ProdutoSALDO").setFixedPoint(1234560);  // 123.4560
    produto.post();
    expected[first].saldo = "123.456";
    {
        auto session = fbtools::SqlSession::attach(database());
        QVERIFY2(support::productStates(session) != expected, "the edit was committed early");
    }

    const int detachesBefore = countOf("detach_database");
    form->close();
    form.reset();
    QCOMPARE(countOf("detach_database"), detachesBefore + 1);
    QCOMPARE(QString::fromStdString(clientCalls().back()), QString("detach_database"));

    {
        auto session = fbtools::SqlSession::attach(database());
        QCOMPARE(support::productStates(session), expected);
    }
    // Nothing of the window holds the file any more: the server may open it as well.
    if (support::serverAvailable()) {
        auto server = fbtools::SqlSession::attach("127.0.0.1:" + database());
        QCOMPARE(support::productStates(server), expected);
    }
}

void GuiTest::driverPressAnswersBoxes_data() {
    QTest::addColumn<bool>("withDatabase");
    QTest::newRow("finished") << true;
    QTest::newRow("database missing") << false;
}

void GuiTest::driverPressAnswersBoxes() {
    QFETCH(bool, withDatabase);
    enterScratchFolder();
    if (withDatabase) createSampleDatabase();
    // A copy under another name: the boxes take their caption from the executable's name.
    const QString program = QDir::current().filePath("GUI_DRIVER.Copy.bin");
    QVERIFY(QFile::copy(GUI_DRIVER, program));

    QString out, err;
    const int code = runProcess(program, {"--press"}, out, err);
    QCOMPARE(code, 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    if (withDatabase) {
        QCOMPARE(lines[0], QString("BOX Gui_driver|Acabou"));
        auto session = fbtools::SqlSession::attach(database());
        QCOMPARE(joined(support::disagreementsWithTotals(session, 0)), QString());
    } else {
        QVERIFY2(lines[0].startsWith("BOX Gui_driver|") && lines[0].endsWith('.') &&
                     lines[0].contains("Quorvale.GDB"),
                 qPrintable(lines[0]));
    }
}

void GuiTest::missingClientLibraryStopsWithApplicationError() {
    if (geteuid() != 0) QSKIP("hiding the client library needs root");
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (unshare.isEmpty()) QSKIP("unshare is not installed");

    // The file the dynamic loader would open for libfbclient.so.2, through the ld cache.
    QString cached;
    {
        QProcess ldconfig;
        QString tool = QStandardPaths::findExecutable("ldconfig", {"/sbin", "/usr/sbin"});
        if (tool.isEmpty()) tool = QStandardPaths::findExecutable("ldconfig");
        if (tool.isEmpty()) QSKIP("ldconfig is not installed");
        ldconfig.start(tool, {"-p"});
        QVERIFY(ldconfig.waitForFinished(30000));
        for (const QString& line :
             QString::fromLocal8Bit(ldconfig.readAllStandardOutput()).split('\n')) {
            if (line.trimmed().startsWith("libfbclient.so.2 ") && line.contains("=>")) {
                cached = line.section("=>", 1).trimmed();
                break;
            }
        }
    }
    if (cached.isEmpty()) QSKIP("libfbclient.so.2 is not in the ld cache");
    const QString real = QFileInfo(cached).canonicalFilePath();
    QVERIFY2(QFileInfo(real).isFile() && QFileInfo(real).size() > 0, qPrintable(real));

    enterScratchFolder();
    // Exit 77: no private mount namespace or no bind mount here. 78: still readable.
    const QString script =
        "mount --bind /dev/null \"$1\" 2>/dev/null || exit 77\n"
        "[ -s \"$2\" ] && exit 78\n"
        "exec \"$3\"\n";
    QString out, err;
    const int code = runProcess(
        unshare, {"--mount", "sh", "-c", script, "sh", real, cached, GUI_DRIVER}, out, err);
    if (code == 77 || (code == 1 && err.contains("unshare")))
        QSKIP(qPrintable("a private mount namespace is not permitted: " + err.trimmed()));
    QVERIFY2(code != 78, "the library is still readable after hiding it");
    QCOMPARE(code, 1);
    QCOMPARE(out, "BOX Application Error|" + kLibraryMissing + "\n");
    QVERIFY2(err.contains(kLibraryMissing), qPrintable(err));
}

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
