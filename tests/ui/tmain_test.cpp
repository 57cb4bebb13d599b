// The main window on the offscreen platform, started on the simulated board,
// with the prompt seam recording instead of showing dialogs.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <limits>
#include <memory>

#include "app/backend.h"
#include "sim/sim_board.h"
#include "support/test_support.h"
#include "ui/prompts.h"
#include "ui/tmain.h"

namespace tess::test {

class RecordingPrompts : public Prompts {
  public:
    RecordingPrompts() : Prompts(false) {}
    void message_box(QWidget*, const std::string& text) override { boxes.push_back(text); }
    std::vector<std::string> boxes;
};

// One window in a working directory of its own.
struct Session {
    TempDir dir{true};
    RecordingPrompts prompts;
    std::unique_ptr<Backend> backend;
    std::unique_ptr<TMain> window;

    explicit Session(const std::string& config = {}) {
        for (const char* name : {"boards.ini", "controls.ini"})
            std::filesystem::copy_file(source_dir() / "data" / name, dir.path() / name);
        if (!config.empty()) write_file(dir.path() / "config.ini", crlf(config));
        auto board = sim::SimBoard::from_toml(sim::SimBoard::default_profile(), nullptr);
        board->set_virtual_clock(true);
        backend = Backend::simulated(std::move(board));
        AppOptions options;
        options.instance_dir = dir.path() / "registry";
        window = std::make_unique<TMain>(*backend, prompts, options);
    }
    ~Session() { window.reset(); }

    std::string config() const { return read_file(dir.path() / "config.ini"); }
    std::string log() const { return read_file(dir.path() / "tessaron.log"); }
};

class TMainTest : public QObject {
    Q_OBJECT

  private slots:
    void comesUpWithItsPages() {
        Session s;
        TMain& w = *s.window;
        QCOMPARE(w.outcome(), App::Outcome::Running);
        QCOMPARE(w.windowTitle(), QString("tessaron 0.8.8-dev8 (Simulated nForce2 ATXP1)"));
        QCOMPARE(w.objectName(), QString("TMain"));

        auto* pages = w.findChild<QTabWidget*>();
        QVERIFY(pages);
        const QStringList titles{"Main",
                                 "Presets",
                                 "AutoFSB",
                                 "Sensor settings",
                                 "SMART",
                                 "Chart",
                                 "Chart and log settings",
                                 "Settings",
                                 "About"};
        QCOMPARE(pages->count(), titles.size());
        for (int i = 0; i < pages->count(); ++i) {
            QCOMPARE(pages->tabText(i), titles[i]);
            QVERIFY(pages->isTabVisible(i));
        }
        QVERIFY(w.statusBar());
        QCOMPARE(w.statusBar()->objectName(), QString("StatusBar1"));
        QCOMPARE(w.statusBar()->currentMessage(), QString("Port access successfully initialized."));
        QVERIFY(s.prompts.boxes.empty());

        // Widgets the pages and the handlers use, by their names.
        for (const char* name :
             {"ComboBoxBoard", "ButtonSetBoard", "ComboBoxDriver", "CheckBoxMinimized",
              "CheckBoxReset", "ComboBoxExitPreset", "CheckBoxSuspend", "ComboBoxSuspendPreset",
              "ButtonSaveSettings", "ListBoxDelay", "CSpinEditDelay", "LabelDelay", "ButtonApply",
              "ButtonCurrent", "CheckBoxAutoFSB"})
            QVERIFY2(w.findChild<QWidget*>(name), name);

        auto* apply = w.findChild<QPushButton*>("ButtonApply");
        QCOMPARE(apply->text(), QString("&Apply"));
        QVERIFY(apply->font().bold());
        QCOMPARE(w.findChild<QPushButton*>("ButtonCurrent")->text(), QString("&Show current"));
        auto* spin = w.findChild<QSpinBox*>("CSpinEditDelay");
        QCOMPARE(spin->minimum(), 20);
        QCOMPARE(spin->maximum(), 250);
        QCOMPARE(spin->singleStep(), 10);

        auto* boards = w.findChild<QComboBox*>("ComboBoxBoard");
        QCOMPARE(boards->count(), 2);
        QCOMPARE(boards->itemText(0), QString("Simulated nForce2 ATXP1"));
        QCOMPARE(boards->itemText(1), QString("Simulated nForce2 SMI"));
        QCOMPARE(boards->currentIndex(), 0);
        auto* drivers = w.findChild<QComboBox*>("ComboBoxDriver");
        QCOMPARE(drivers->count(), 1);
        QCOMPARE(drivers->currentText(), QString("ATXP1"));
    }

    void withoutBoardOnlySettingsAndSetBoard() {
        Session s("[Main]\nBoard=unknown\nfsbdelay=30\n");
        TMain& w = *s.window;
        QCOMPARE(w.outcome(), App::Outcome::SettingsOnly);
        QCOMPARE(w.windowTitle(), QString("tessaron"));
        auto* pages = w.findChild<QTabWidget*>();
        for (int i = 0; i < pages->count(); ++i)
            QCOMPARE(pages->isTabVisible(i), pages->tabText(i) == "Settings");
        QCOMPARE(pages->tabText(pages->currentIndex()), QString("Settings"));

        auto* boards = w.findChild<QComboBox*>("ComboBoxBoard");
        boards->setCurrentIndex(1);
        QTest::mouseClick(w.findChild<QPushButton*>("ButtonSetBoard"), Qt::LeftButton);
        QCOMPARE(w.windowTitle(), QString("tessaron 0.8.8-dev8 (Simulated nForce2 SMI)"));
        QVERIFY(s.config().find("Board=Simulated nForce2 SMI\r\nfsbdelay=30\r\n") !=
                std::string::npos);
        QVERIFY(s.log().find("TESSARON: Re-setting board") != std::string::npos);
        // The pages hidden at start-up stay hidden.
        QVERIFY(!pages->isTabVisible(0));
        QCOMPARE(w.findChild<QComboBox*>("ComboBoxDriver")->currentText(), QString("ATXP1"));
    }

    void messagesGoThroughThePromptSeam() {
        Session s("[Main]\ndriver=4\n");
        QCOMPARE(s.prompts.boxes,
                 std::vector<std::string>{"Please select a driver on the Settings page."});
        QCOMPARE(s.window->findChild<QComboBox*>("ComboBoxDriver")->currentIndex(), -1);
    }

    void applyShowsEachStepInTheStatusBar() {
        Session s;
        TMain& w = *s.window;
        QStringList shown;
        connect(w.statusBar(), &QStatusBar::messageChanged, this,
                [&shown](const QString& text) { shown << text; });
        var_set(w.app().log(), w.app().state().control_vars, "FSB", "newval", 197);
        QTest::mouseClick(w.findChild<QPushButton*>("ButtonApply"), Qt::LeftButton);
        QCOMPARE(shown, (QStringList{"Applying new settings, please wait...", "FSB 200 -> 197 MHz",
                                     "FSB 199 -> 197 MHz", "FSB 198 -> 197 MHz",
                                     "FSB 197 -> 197 MHz", "Applying new settings done."}));
        QCOMPARE(s.backend->sim_board()->fsb_mhz(), 197u);
    }

    void sensorTimerFollowsUpdate_data() {
        QTest::addColumn<QString>("update");
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("interval");
        QTest::newRow("default") << "5" << true << 5000;
        QTest::newRow("off") << "0" << false << 0;
        // Out of the timer's reach: the longest wait it takes, no overflow.
        QTest::newRow("beyond 24 days") << "2147484" << true << std::numeric_limits<int>::max();
        QTest::newRow("largest") << "2147483647" << true << std::numeric_limits<int>::max();
        // Nonsense never makes a timer that fires all the time.
        QTest::newRow("negative") << "-3" << false << 0;
    }
    void sensorTimerFollowsUpdate() {
        QFETCH(QString, update);
        QFETCH(bool, active);
        QFETCH(int, interval);
        Session s("[Sensor]\nupdate=" + update.toStdString() + "\n");
        auto* timer = s.window->findChild<QTimer*>("Timer1");
        QVERIFY(timer);
        QCOMPARE(timer->isActive(), active);
        QCOMPARE(timer->interval(), interval);
    }

    void closeRunsCloseFunc() {
        Session s;
        TMain& w = *s.window;
        w.findChild<QCheckBox*>("CheckBoxMinimized")->setChecked(true);
        QVERIFY(w.close());
        QVERIFY(w.app().closed());
        QVERIFY(s.config().find("minimized=1\r\n") != std::string::npos);
        QVERIFY(s.log().find("tessaron: Freeing lists...") != std::string::npos);
    }

    void saveSettingsButtonWrites() {
        Session s;
        TMain& w = *s.window;
        QVERIFY(!std::filesystem::exists(s.dir.path() / "config.ini"));
        w.findChild<QCheckBox*>("CheckBoxReset")->setChecked(true);
        QTest::mouseClick(w.findChild<QPushButton*>("ButtonSaveSettings"), Qt::LeftButton);
        QVERIFY(s.config().find("reset=1\r\nBoard=Simulated nForce2 ATXP1\r\n") !=
                std::string::npos);
    }
};

}  // namespace tess::test

QTEST_MAIN(tess::test::TMainTest)
#include "tmain_test.moc"
