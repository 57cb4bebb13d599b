// The "Settings" page driven through its real widgets on the simulated board.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <sstream>

#include "hw/atxp1.h"
#include "hw/nforce2.h"
#include "ui/track_bar.h"
#include "window_fixture.h"

namespace tess::test {

namespace {

// The keys of one section of an INI text, in file order.
QStringList keys_of(const std::string& ini, const std::string& section) {
    QStringList keys;
    std::istringstream in(ini);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inside = line == "[" + section + "]";
            continue;
        }
        const auto equals = line.find('=');
        if (inside && equals != std::string::npos)
            keys << QString::fromStdString(line.substr(0, equals));
    }
    return keys;
}

// Chooses an entry of a drop-down list as a user does, with the keyboard.
void choose(QComboBox* combo, int index) {
    combo->setFocus();
    while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
}

}  // namespace

class PageSettingsTest : public QObject {
    Q_OBJECT

  private slots:
    void hints() {
        Session s;
        const std::pair<const char*, const char*> hints[] = {
            {"ComboBoxBoard", "Currently selected board"},
            {"ButtonSetBoard", "Apply changes"},
            {"ComboBoxDriver", "Driver to use for voltage control"},
            {"CheckBoxMinimized", "Start minimized in tray"},
            {"CheckBoxReset", "Applied preset before exit"},
            {"ComboBoxExitPreset", "Applied preset before exit"},
            {"CheckBoxSuspend", "Applied preset before standby/hibernation"},
            {"ComboBoxSuspendPreset", "Applied preset before standby/hibernation"},
            {"ButtonSaveSettings", "Saves all settings to the config-files"},
            {"CSpinEditDelay", "Delay between FSB changes (ms)"},
        };
        for (const auto& [name, hint] : hints)
            QCOMPARE(s.widget<QWidget>(name)->toolTip(), QString(hint));
        QCOMPARE(s.widget<QCheckBox>("CheckBoxMinimized")->text(), QString("Start minimized"));
        QCOMPARE(s.widget<QCheckBox>("CheckBoxReset")->text(),
                 QString("Apply preset before exit:"));
        QCOMPARE(s.widget<QCheckBox>("CheckBoxSuspend")->text(),
                 QString("Apply preset before suspend:"));
        QCOMPARE(s.widget<QPushButton>("ButtonSetBoard")->text(), QString("Set"));
        QCOMPARE(s.widget<QPushButton>("ButtonSaveSettings")->text(), QString("Save all settings"));
    }

    void delayList() {
        Session s(SessionOptions().with_config("[Main]\nfsbdelay=30\n"));
        auto* list = s.widget<QListWidget>("ListBoxDelay");
        auto* spin = s.widget<QSpinBox>("CSpinEditDelay");
        auto* label = s.widget<QLabel>("LabelDelay");
        // In the order the drivers registered them; the first one shown.
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QString("VCoreDelay"));
        QCOMPARE(list->item(1)->text(), QString("FSBDelay"));
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(label->text(), QString("Delay between VCore changes (ms)"));
        QCOMPARE(spin->value(), 100);
        QCOMPARE(spin->singleStep(), 10);
        QCOMPARE(spin->minimum(), 20);
        QCOMPARE(spin->maximum(), 250);
        QVERIFY(spin->findChild<QLineEdit*>()->isReadOnly());  // arrows only
        QVERIFY(!s.logged("tessaron: Changed VCoreDelay"));

        // The arrows write the delay at once.
        spin->stepUp();
        QCOMPARE(s.app().atxp1()->vcore_delay(), 110);
        QVERIFY(s.logged("tessaron: Changed VCoreDelay to 110\n"));

        // Another entry is only shown.
        list->setCurrentRow(1);
        QCOMPARE(label->text(), QString("Delay between FSB changes (ms)"));
        QCOMPARE(spin->value(), 30);
        QCOMPARE(s.app().nforce2()->fsb_delay(), 30);
        QVERIFY(!s.logged("tessaron: Changed FSBDelay"));
        spin->stepDown();
        QCOMPARE(spin->value(), 20);
        QCOMPARE(s.app().nforce2()->fsb_delay(), 20);
        QVERIFY(s.logged("tessaron: Changed FSBDelay to 20\n"));
        QCOMPARE(s.app().atxp1()->vcore_delay(), 110);

        // A walk uses the new delay from its next step on.
        s.widget<TrackBar>("TrackBarFSB")->setValue(102);
        const auto before = s.board().virtual_ms();
        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);
        QVERIFY(s.board().virtual_ms() - before >= 2 * 20);
        QVERIFY(s.board().virtual_ms() - before < 2 * 100);

        // Back to the first entry: its own value, nothing written.
        list->setCurrentRow(0);
        QCOMPARE(spin->value(), 110);
        QCOMPARE(s.count_logged("tessaron: Changed VCoreDelay"), 1u);

        // The saved settings hold the delays the drivers use.
        QTest::mouseClick(s.widget<QPushButton>("ButtonSaveSettings"), Qt::LeftButton);
        QVERIFY(s.config().find("fsbdelay=20\r\n") != std::string::npos);
        QVERIFY(s.config().find("vcoredelay=110\r\n") != std::string::npos);
    }

    void refusedDelayStaysAsItWas() {
        // The ATXP1 takes 50..250 ms; the field offers 20 and up.
        Session s(SessionOptions().with_config("[Main]\nvcoredelay=50\n"));
        auto* spin = s.widget<QSpinBox>("CSpinEditDelay");
        QCOMPARE(spin->value(), 50);
        spin->stepDown();
        QCOMPARE(spin->value(), 50);
        QCOMPARE(s.app().atxp1()->vcore_delay(), 50);
        QVERIFY(s.logged("tessaron: Error changing VCoreDelay to 40\n"));
        QVERIFY(!s.logged("tessaron: Changed VCoreDelay"));
    }

    void saveSettingsWritesMainInReverseOrder() {
        Session s;
        QVERIFY(!std::filesystem::exists(s.dir.path() / "config.ini"));
        s.widget<QCheckBox>("CheckBoxMinimized")->setChecked(true);
        QTest::mouseClick(s.widget<QPushButton>("ButtonSaveSettings"), Qt::LeftButton);
        QCOMPARE(keys_of(s.config(), "Main"),
                 (QStringList{"suspendpreset", "exitpreset", "vcoredelay", "fsbdelay", "autofsb",
                              "driver", "minimized", "suspend", "reset", "Board"}));
        QVERIFY(s.config().find("minimized=1\r\n") != std::string::npos);
        QVERIFY(s.config().find("Board=Simulated nForce2 ATXP1\r\n") != std::string::npos);
        QCOMPARE(keys_of(s.config(), "Sensor"), QStringList{"update"});
        QVERIFY(s.logged("tessaron: Saved Main vars\n"));
        QVERIFY(s.logged("tessaron: Saved sensor settings\n"));
    }

    void setWithTheCurrentBoardDoesNothing() {
        Session s;
        s.count_accesses();
        QTest::mouseClick(s.widget<QPushButton>("ButtonSetBoard"), Qt::LeftButton);
        QVERIFY(!std::filesystem::exists(s.dir.path() / "config.ini"));
        QVERIFY(!s.logged("TESSARON: Re-setting board"));
        QCOMPARE(s.accesses, 0);
    }

    void setAnotherBoard() {
        Session s(SessionOptions().with_config("[Main]\nfsbdelay=40\n"));
        auto* boards = s.widget<QComboBox>("ComboBoxBoard");
        auto* vcore = s.widget<TrackBar>("TrackBarVcore");
        QCOMPARE(vcore->maximum(), 30);
        choose(boards, 1);
        QTest::mouseClick(s.widget<QPushButton>("ButtonSetBoard"), Qt::LeftButton);

        QVERIFY(s.logged("TESSARON: Re-setting board\n"));
        QCOMPARE(s.window->windowTitle(), QString("tessaron 0.8.8-dev8 (Simulated nForce2 SMI)"));
        QVERIFY(s.config().find("Board=Simulated nForce2 SMI\r\n") != std::string::npos);
        QCOMPARE(s.config().find("Board=Simulated nForce2 ATXP1"), std::string::npos);
        QCOMPARE(boards->currentText(), QString(kSmiBoard));
        // The drivers started afresh with this board's controls.ini section:
        // its core voltage has boost lines up to 150 mV.
        QCOMPARE(s.widget<QLabel>("LabelVCoreMax")->text(), QString("2.000 V"));
        QCOMPARE(vcore->maximum(), 36);
        QCOMPARE(vcore->selectionEnd(), 6);
        QCOMPARE(s.widget<QListWidget>("ListBoxDelay")->count(), 2);
        QCOMPARE(s.app().nforce2()->fsb_delay(), 40);
        // Every page stays visible.
        auto* pages = s.widget<QTabWidget>("PageControl1");
        for (int i = 0; i < pages->count(); ++i) QVERIFY(pages->isTabVisible(i));
    }

    void driverChange() {
        Session s(SessionOptions().with_config("[Main]\ndriver=2\n"));
        QCOMPARE(s.prompts.boxes,
                 std::vector<std::string>{"Please select a driver on the Settings page."});
        auto* drivers = s.widget<QComboBox>("ComboBoxDriver");
        QCOMPARE(drivers->currentIndex(), -1);
        QCOMPARE(s.widget<QGroupBox>("GroupBoxVCore")->title(), QString("VCore control disabled"));

        choose(drivers, 0);
        QCOMPARE(drivers->currentText(), QString("ATXP1"));
        QVERIFY(s.config().find("driver=0\r\n") != std::string::npos);
        QCOMPARE(s.count_logged("tessaron: Saved Main vars\n"), 1u);
        // The main page shows the chosen driver's core voltage and voltages.
        QCOMPARE(s.widget<QGroupBox>("GroupBoxVCore")->title(), QString("VCore control"));
        QVERIFY(s.widget<TrackBar>("TrackBarVcore")->isEnabled());
        QCOMPARE(s.widget<QLineEdit>("EditVCore")->text(), QString("1.650 V"));
        QCOMPARE(s.var("VCore", "current"), 1650);
        QCOMPARE(s.widget<QComboBox>("ComboBoxVoltages")->itemText(0), QString("VDimm"));
        QCOMPARE(s.widget<QLineEdit>("EditVoltages")->text(), QString("2.600 V"));
        // Nothing is pending for the newly chosen driver's voltages.
        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);
        QCOMPARE(s.prompts.boxes.size(), 1u);
        QVERIFY(!s.logged("tessaron: Error changing"));

        // The same driver again saves nothing.
        QTest::keyClick(drivers, Qt::Key_Up);
        QCOMPARE(drivers->currentIndex(), 0);
        emit drivers->activated(0);
        QCOMPARE(s.count_logged("tessaron: Saved Main vars\n"), 1u);
    }

    void withoutBoardSavingKeepsTheFiles() {
        const std::string config =
            "[Main]\nBoard=gone\nfsbdelay=30\nreset=1\nexitpreset=Cool\n\n[Sensor]\nupdate=9\n";
        Session s(SessionOptions().with_config(config));
        write_file(s.dir.path() / "presets.ini", crlf("[Cool]\nFSB=180\n"));
        write_file(s.dir.path() / "log.ini", crlf("[Log]\nlog=1\nlinterval=30\n"));
        QCOMPARE(s.window->outcome(), App::Outcome::SettingsOnly);

        QTest::mouseClick(s.widget<QPushButton>("ButtonSaveSettings"), Qt::LeftButton);
        QVERIFY(s.window->close());
        QCOMPARE(s.config(), crlf(config));
        QCOMPARE(s.file("presets.ini"), crlf("[Cool]\nFSB=180\n"));
        QCOMPARE(s.file("log.ini"), crlf("[Log]\nlog=1\nlinterval=30\n"));
    }

    void setFromNoBoardStoresTheBoardFirst() {
        Session s(SessionOptions().with_config("[Main]\nBoard=gone\nfsbdelay=30\nminimized=0\n"));
        QCOMPARE(s.window->outcome(), App::Outcome::SettingsOnly);
        QCOMPARE(s.widget<QListWidget>("ListBoxDelay")->count(), 0);
        QTest::mouseClick(s.widget<QPushButton>("ButtonSetBoard"), Qt::LeftButton);
        // The start-up that followed read the settings kept in config.ini.
        QCOMPARE(s.window->windowTitle(), QString("tessaron 0.8.8-dev8 (Simulated nForce2 ATXP1)"));
        QVERIFY(s.config().find("Board=Simulated nForce2 ATXP1\r\nfsbdelay=30\r\n") !=
                std::string::npos);
        QCOMPARE(s.app().nforce2()->fsb_delay(), 30);
        QCOMPARE(s.widget<QListWidget>("ListBoxDelay")->count(), 2);
        QCOMPARE(s.widget<QLineEdit>("EditFSB")->text(), QString("200 MHz"));
        // Only the Settings page is offered until the next start.
        auto* pages = s.widget<QTabWidget>("PageControl1");
        for (int i = 0; i < pages->count(); ++i)
            QCOMPARE(pages->isTabVisible(i), pages->tabText(i) == "Settings");
    }
};

}  // namespace tess::test

QTEST_MAIN(tess::test::PageSettingsTest)
#include "page_settings_test.moc"
