// The "Main" page driven through its real widgets on the simulated board.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "ui/page_main_values.h"
#include "ui/track_bar.h"
#include "ui/up_down.h"
#include "window_fixture.h"

namespace tess::test {

namespace {

// The CPU's own VID of the simulated ATXP1 (register 0x01): 1850 - vid * 25 mV.
std::function<void(sim::SimBoard&)> cpu_vid_mv(int32_t mv) {
    return [mv](sim::SimBoard& board) {
        board.set_atxp1_reg(0x01, static_cast<uint8_t>((1850 - mv) / 25));
    };
}

// The boot FSB strap of the simulated chipset (00:00.5 register 0x48, Hz).
std::function<void(sim::SimBoard&)> boot_fsb_mhz(uint32_t mhz) {
    return [mhz](sim::SimBoard& board) { board.set_pci_config(0x548, mhz * 1'000'000u); };
}

QStringList items(const QComboBox* combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
    return list;
}

// Records the status bar's message at every paint it receives.
class PaintRecorder : public QObject {
  public:
    explicit PaintRecorder(QStatusBar* bar) : bar_(bar) { bar->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == bar_ && event->type() == QEvent::Paint) {
            painted << bar_->currentMessage();
            painted_after_timer << timer_fired;
        }
        return false;
    }
    QStringList painted;
    QList<bool> painted_after_timer;
    bool timer_fired = false;

  private:
    QStatusBar* bar_;
};

}  // namespace

class PageMainTest : public QObject {
    Q_OBJECT

  private slots:
    void texts_data() {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("want");
        const auto row = [](const char* name, const std::string& got, const char* want) {
            QTest::newRow(name) << QString::fromStdString(got) << QString(want);
        };
        row("1600 mV", format_mv(1600), "1.600 V");
        row("1075 mV", format_mv(1075), "1.075 V");
        row("12 V", format_mv(12000), "12.000 V");
        row("-5 V", format_mv(-5000), "-5.000 V");
        row("-1.25 V", format_mv(-1250), "-1.250 V");
        row("-0.5 V keeps its sign", format_mv(-500), "-0.500 V");
        row("0 V", format_mv(0), "0.000 V");
        row("200 x 11.0", cpu_text(200, 110), "200 x 11.0 = 2200 MHz");
        row("166 x 11.0", cpu_text(166, 110), "166 x 11.0 = 1826 MHz");
        row("166 x 11.5", cpu_text(166, 115), "166 x 11.5 = 1909 MHz");
        row("133 x 12.5", cpu_text(133, 125), "133 x 12.5 = 1662 MHz");
        row("no multiplier yet", cpu_text(200, 0), "200 x 0.0 = 0 MHz");
        row("FSB", fsb_text(166), "166 MHz");
    }
    void texts() {
        QFETCH(QString, got);
        QFETCH(QString, want);
        QCOMPARE(got, want);
    }

    void vcoreOfTheAtxp1() {
        Session s(SessionOptions().with_setup(cpu_vid_mv(1600)));
        auto* bar = s.widget<TrackBar>("TrackBarVcore");
        QCOMPARE(s.widget<QGroupBox>("GroupBoxVCore")->title(), QString("VCore control"));
        QVERIFY(bar->isEnabled());
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 30);
        QCOMPARE(bar->value(), 10);
        QCOMPARE(bar->selectionStart(), 0);
        QCOMPARE(bar->selectionEnd(), 0);
        QCOMPARE(bar->tickInterval(), 1);
        QVERIFY(bar->invertedAppearance());  // position 0 at the top
        QCOMPARE(s.widget<QLabel>("LabelVCoreMax")->text(), QString("1.850 V"));
        QCOMPARE(s.widget<QLabel>("LabelVCoreMin")->text(), QString("1.100 V"));
        QCOMPARE(s.widget<QLineEdit>("EditVCore")->text(), QString("1.600 V"));
        QCOMPARE(s.widget<UpDown>("UpDownVcore")->position(), 10);
        QCOMPARE(s.var("VCore", "newval"), 1600);
        QCOMPARE(s.var("VCore", "current"), 1600);

        // The upper arrow raises the voltage, the lower one lowers it; only
        // "newval" changes.
        auto* updown = s.widget<UpDown>("UpDownVcore");
        QTest::mouseClick(updown->upButton(), Qt::LeftButton);
        QCOMPARE(bar->value(), 9);
        QCOMPARE(s.var("VCore", "newval"), 1625);
        QCOMPARE(s.widget<QLineEdit>("EditVCore")->text(), QString("1.625 V"));
        QTest::mouseClick(updown->downButton(), Qt::LeftButton);
        QTest::mouseClick(updown->downButton(), Qt::LeftButton);
        QCOMPARE(bar->value(), 11);
        QCOMPARE(s.var("VCore", "newval"), 1575);
        QCOMPARE(s.var("VCore", "current"), 1600);
        QCOMPARE(s.board().vcore_mv(), 1600);

        // At the bottom end the up-down stays with the bar.
        bar->setValue(30);
        QTest::mouseClick(updown->downButton(), Qt::LeftButton);
        QCOMPARE(bar->value(), 30);
        QCOMPARE(updown->position(), 30);
        QCOMPARE(s.var("VCore", "newval"), 1100);
    }

    void vcoreWithBoostRange() {
        // VCore boost lines of 0, 50 and 100 mV on the outputs the simulated
        // board wires to its core-voltage boost.
        Session s(SessionOptions()
                      .with_controls("[Simulated nForce2 ATXP1]\n"
                                     "Control0=ATXP1;VCore;0:0xa:0x30:0x0;50:0xa:0x30:0x10;"
                                     "100:0xa:0x30:0x20\n")
                      .with_setup(cpu_vid_mv(1650)));
        auto* bar = s.widget<TrackBar>("TrackBarVcore");
        QCOMPARE(bar->maximum(), 34);
        QCOMPARE(bar->selectionEnd(), 4);
        QCOMPARE(s.widget<QLabel>("LabelVCoreMax")->text(), QString("1.950 V"));
        QCOMPARE(bar->value(), 12);
        QCOMPARE(s.var("VCore", "newval"), 1650);

        // The top of the bar is the highest boosted voltage, and Apply
        // reaches it on the board.
        bar->setValue(0);
        QCOMPARE(s.var("VCore", "newval"), 1950);
        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);
        QCOMPARE(s.board().vcore_mv(), 1950);
        QCOMPARE(s.var("VCore", "current"), 1950);
        QCOMPARE(bar->value(), 0);
    }

    void vcoreReadingsOffTheBar() {
        Session s(SessionOptions().with_setup(cpu_vid_mv(1650)));
        auto* bar = s.widget<TrackBar>("TrackBarVcore");
        auto* edit = s.widget<QLineEdit>("EditVCore");
        QCOMPARE(bar->value(), 8);

        // Between two points of the grid: the next one up.
        s.window->show_vcore(1612);
        QCOMPARE(bar->value(), 9);
        QCOMPARE(s.var("VCore", "newval"), 1625);
        QCOMPARE(edit->text(), QString("1.625 V"));

        // Above the highest setting: the top, never the bottom of the bar.
        for (const int32_t mv : {1875, 2000, 2600, 100000}) {
            bar->setValue(20);
            s.window->show_vcore(mv);
            QCOMPARE(bar->value(), 0);
            QCOMPARE(s.var("VCore", "newval"), 1850);
            QCOMPARE(edit->text(), QString("1.850 V"));
        }
        // Below the lowest: the bottom.
        s.window->show_vcore(1000);
        QCOMPARE(bar->value(), 30);
        QCOMPARE(s.var("VCore", "newval"), 1100);
    }

    void withoutVoltageDriverVCoreIsDisabled() {
        Session s(SessionOptions().with_config("[Main]\ndriver=3\n"));
        QCOMPARE(s.widget<QGroupBox>("GroupBoxVCore")->title(), QString("VCore control disabled"));
        for (const char* name : {"TrackBarVcore", "UpDownVcore", "EditVCore"})
            QVERIFY2(!s.widget<QWidget>(name)->isEnabled(), name);
        QVERIFY(s.logged("tessaron: No primary VCore control!\n"));
        QVERIFY(s.logged("tessaron: Create voltage list done\n"));
        // The voltages of a driver not chosen are not offered either.
        QVERIFY(!items(s.widget<QComboBox>("ComboBoxVoltages")).contains("VDimm"));
    }

    void fsbAndCpuClock() {
        Session s(SessionOptions().with_setup(boot_fsb_mhz(166)));
        auto* bar = s.widget<TrackBar>("TrackBarFSB");
        auto* updown = s.widget<UpDown>("UpDownFSB");
        QCOMPARE(bar->maximum(), 250);
        QCOMPARE(bar->tickInterval(), 5);
        QCOMPARE(updown->maximum(), 200);
        QCOMPARE(s.widget<QLabel>("Label19")->text(), QString("300 MHz"));
        QCOMPARE(s.widget<QLabel>("Label20")->text(), QString("50 MHz"));
        QCOMPARE(s.app().state().multiplier, 110);
        QCOMPARE(bar->value(), 134);
        QCOMPARE(updown->position(), 134);
        QCOMPARE(s.widget<QLineEdit>("EditFSB")->text(), QString("166 MHz"));
        QCOMPARE(s.widget<QLineEdit>("EditCPU")->text(), QString("166 x 11.0 = 1826 MHz"));

        QTest::mouseClick(updown->upButton(), Qt::LeftButton);
        QCOMPARE(bar->value(), 133);
        QCOMPARE(s.var("FSB", "newval"), 167);
        QCOMPARE(s.widget<QLineEdit>("EditCPU")->text(), QString("167 x 11.0 = 1837 MHz"));

        // The bar reaches 50 MHz, the up-down only 100 MHz.
        bar->setValue(250);
        QCOMPARE(s.var("FSB", "newval"), 50);
        QCOMPARE(updown->position(), 200);
        QTest::mouseClick(updown->upButton(), Qt::LeftButton);
        QCOMPARE(bar->value(), 199);
        QCOMPARE(s.var("FSB", "newval"), 101);
        QCOMPARE(s.var("FSB", "current"), 166);
        QCOMPARE(s.board().fsb_mhz(), 166u);
    }

    void withoutChipsetNoFsbIsPending() {
        // A host bridge that is no nForce2: no chipset (and SMBus) driver,
        // so no control "FSB".
        Session s(SessionOptions().with_setup(
            [](sim::SimBoard& board) { board.set_pci_config(0x00, 0x00e010de); }));
        QVERIFY(!s.widget<QGroupBox>("GroupBoxFSB")->isEnabled());
        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);
        QCOMPARE(s.var("FSB", "newval"), 0);
        // (No voltage driver either: that is the only message.)
        QCOMPARE(s.prompts.boxes,
                 std::vector<std::string>{"Please select a driver on the Settings page."});
        QVERIFY(!s.logged("tessaron: Error changing"));
        QCOMPARE(s.board().fsb_mhz(), 200u);
    }

    void otherControlsList() {
        Session s;
        auto* combo = s.widget<QComboBox>("ComboBoxVoltages");
        QCOMPARE(items(combo), (QStringList{"VDimm", "VDimm+", "VAgp", "Vdd", "FSB",
                                            "AutoPrecharge", "StopGrant", "AGPSidebandAddressing",
                                            "AGPApertureSize", "PCIBusLatency", "AGPBusLatency",
                                            "AGPCtrLatency", "Tras", "Trcd", "Trp", "Shutdown"}));
        QCOMPARE(combo->maxVisibleItems(), 20);
        QCOMPARE(s.widget<QGroupBox>("GroupBoxVoltages")->title(), QString("Other controls"));
        // The first one is shown.
        auto* bar = s.widget<TrackBar>("TrackBarVoltages");
        QCOMPARE(combo->currentText(), QString("VDimm"));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 3);
        QCOMPARE(bar->value(), 3);  // 2600 mV, the first setting, at the bottom
        QCOMPARE(s.widget<QLabel>("LabelVoltagesMax")->text(), QString("2.900 V"));
        QCOMPARE(s.widget<QLabel>("LabelVoltagesMin")->text(), QString("2.600 V"));
        QCOMPARE(s.widget<QLineEdit>("EditVoltageCurrent")->text(), QString("2.600 V"));
        QCOMPARE(s.widget<QLineEdit>("EditVoltageStart")->text(), QString("2.600 V"));
        QCOMPARE(s.widget<QLineEdit>("EditVoltages")->text(), QString("2.600 V"));
        QCOMPARE(s.widget<QLabel>("LabelDescription")->text(),
                 QString("VDimm control using ATXP1"));
        QCOMPARE(s.widget<QLabel>("LabelDriver")->text(), QString("ATXP1"));
    }

    void otherControlsMappings() {
        Session s;
        auto* combo = s.widget<QComboBox>("ComboBoxVoltages");
        auto* bar = s.widget<TrackBar>("TrackBarVoltages");
        auto* edit = s.widget<QLineEdit>("EditVoltages");

        // Without a step: the settings' indexes, the second setting on top.
        combo->setCurrentText("StopGrant");
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 1);
        QCOMPARE(bar->tickInterval(), 1);
        QCOMPARE(s.var("StopGrant", "current"), 0);
        QCOMPARE(bar->value(), 1);
        QCOMPARE(s.widget<QLineEdit>("EditVoltageCurrent")->text(), QString("0"));
        bar->setValue(0);
        QCOMPARE(s.var("StopGrant", "newval"), 1);
        QCOMPARE(edit->text(), QString("1"));
        QCOMPARE(s.var("StopGrant", "current"), 0);

        // With a step: the values themselves, upside down, any position.
        combo->setCurrentText("PCIBusLatency");
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 248);
        QCOMPARE(bar->tickInterval(), 8);
        QCOMPARE(s.widget<QLabel>("LabelVoltagesMax")->text(), QString("248"));
        QCOMPARE(s.var("PCIBusLatency", "current"), 32);
        QCOMPARE(bar->value(), 216);
        bar->setValue(101);
        QCOMPARE(s.var("PCIBusLatency", "newval"), 147);
        QCOMPARE(edit->text(), QString("147"));
        QCOMPARE(s.widget<QLabel>("LabelDescription")->text(), QString("PCI bus latency"));
        QCOMPARE(s.widget<QLabel>("LabelDriver")->text(), QString("NFORCE2"));

        // Back to StopGrant: the pending value is shown, not the current one.
        combo->setCurrentText("StopGrant");
        QCOMPARE(bar->value(), 0);
        QCOMPARE(edit->text(), QString("1"));
        // Refreshing from code writes nothing.
        s.window->VoltageChange(nullptr);
        QCOMPARE(s.var("StopGrant", "newval"), 1);
        QCOMPARE(s.var("PCIBusLatency", "newval"), 147);
    }

    void applyWritesThroughTheEngine() {
        Session s(SessionOptions().with_setup(cpu_vid_mv(1650)));
        s.widget<TrackBar>("TrackBarVcore")->setValue(10);
        s.widget<TrackBar>("TrackBarFSB")->setValue(110);
        s.widget<QComboBox>("ComboBoxVoltages")->setCurrentText("VDimm");
        s.widget<TrackBar>("TrackBarVoltages")->setValue(1);  // 2800 mV
        // Nothing reached the board yet.
        QCOMPARE(s.board().vcore_mv(), 1650);
        QCOMPARE(s.board().fsb_mhz(), 200u);
        QCOMPARE(s.board().rail_mv("VDimm"), 2600);

        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);
        QCOMPARE(s.board().vcore_mv(), 1600);
        QCOMPARE(s.board().fsb_mhz(), 190u);
        QCOMPARE(s.board().rail_mv("VDimm"), 2800);
        for (const char* name : {"VCore", "FSB", "VDimm"})
            QCOMPARE(s.var(name, "current"), s.var(name, "newval"));
        QVERIFY(s.logged("tessaron: Changed FSB to 190\n"));
        QVERIFY(s.logged("tessaron: Changed control VCore to 1600\n"));
        QVERIFY(s.logged("tessaron: Changed control VDimm to 2800\n"));
        // The page shows what was written.
        QCOMPARE(s.widget<QLineEdit>("EditVoltageCurrent")->text(), QString("2.800 V"));
        QCOMPARE(s.widget<QLineEdit>("EditCPU")->text(), QString("190 x 11.0 = 2090 MHz"));
        QCOMPARE(s.widget<QStatusBar>("StatusBar1")->currentMessage(),
                 QString("Applying new settings done."));
    }

    void showCurrentThrowsPendingChangesAway() {
        Session s(SessionOptions().with_setup(cpu_vid_mv(1650)));
        auto* vcore = s.widget<TrackBar>("TrackBarVcore");
        auto* fsb = s.widget<TrackBar>("TrackBarFSB");
        auto* combo = s.widget<QComboBox>("ComboBoxVoltages");
        auto* other = s.widget<TrackBar>("TrackBarVoltages");
        vcore->setValue(14);
        fsb->setValue(90);
        combo->setCurrentText("Vdd");
        other->setValue(0);
        combo->setCurrentText("AGPApertureSize");
        other->setValue(other->minimum());
        QVERIFY(s.var("VCore", "newval") != s.var("VCore", "current"));

        QTest::mouseClick(s.widget<QPushButton>("ButtonCurrent"), Qt::LeftButton);
        QCOMPARE(vcore->value(), 8);
        QCOMPARE(fsb->value(), 100);
        QCOMPARE(s.widget<QLineEdit>("EditVCore")->text(), QString("1.650 V"));
        QCOMPARE(s.widget<QLineEdit>("EditFSB")->text(), QString("200 MHz"));
        QCOMPARE(other->value(),
                 other->maximum() + other->minimum() - s.var("AGPApertureSize", "current"));
        for (const char* name : {"VCore", "FSB", "Vdd", "AGPApertureSize"})
            QCOMPARE(s.var(name, "newval"), s.var(name, "current"));

        // Apply then finds nothing to write: no port is touched.
        s.count_accesses();
        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);
        QCOMPARE(s.accesses, 0);
        QVERIFY(!s.logged("tessaron: Changed"));
        QCOMPARE(s.board().vcore_mv(), 1650);
        QCOMPARE(s.board().rail_mv("Vdd"), 1600);
    }

    void walkShowsEveryStepWithoutRunningEvents() {
        Session s(SessionOptions().with_setup(cpu_vid_mv(1650)));
        s.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
        auto* status = s.widget<QStatusBar>("StatusBar1");
        PaintRecorder recorder(status);
        QTimer::singleShot(0, s.window.get(), [&recorder] { recorder.timer_fired = true; });

        s.widget<TrackBar>("TrackBarVcore")->setValue(10);  // 1600 mV
        s.widget<TrackBar>("TrackBarFSB")->setValue(103);   // 197 MHz
        QTest::mouseClick(s.widget<QPushButton>("ButtonApply"), Qt::LeftButton);

        // Every step was on the screen while the walk ran, and no queued
        // event (the timer) ran in between.
        for (const char* step :
             {"FSB 200 -> 197 MHz", "FSB 199 -> 197 MHz", "FSB 198 -> 197 MHz",
              "FSB 197 -> 197 MHz", "VCore 1625 -> 1600 mV", "VCore 1600 -> 1600 mV"})
            QVERIFY2(recorder.painted.contains(step), step);
        QVERIFY(!recorder.painted_after_timer.contains(true));
        QVERIFY(!recorder.timer_fired);
        QCOMPARE(s.board().fsb_mhz(), 197u);
        QCOMPARE(s.board().vcore_mv(), 1600);
        QTRY_VERIFY(recorder.timer_fired);
    }
};

}  // namespace tess::test

QTEST_MAIN(tess::test::PageMainTest)
#include "page_main_test.moc"
