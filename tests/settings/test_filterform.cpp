#include "app/drillstate.h"
#include "settings/Tonyxfilter2.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

// Drives the filter window through its real boxes, buttons and pages, found
// by name as a user would meet them.
class TestFilterForm : public QObject {
    Q_OBJECT

    std::unique_ptr<DrillState> drill;
    std::unique_ptr<TNewFilterForm> form;

    QCheckBox* box(int number) const {
        auto* check = form->findChild<QCheckBox*>(QString("CheckBox%1").arg(number));
        if (!check)
            qFatal("no CheckBox%d", number);
        return check;
    }
    QCheckBox* ic(int c) const { return box(1 + c); }
    QCheckBox* mod12(int k) const { return box(8 + k); }
    QCheckBox* pi(int semitones) const { return box(21 + semitones); }
    QPushButton* button(const char* name) const {
        auto* found = form->findChild<QPushButton*>(name);
        if (!found)
            qFatal("no %s", name);
        return found;
    }
    QTabWidget* pages() const { return form->findChild<QTabWidget*>("PageControl1"); }
    void showPage(int page) const { pages()->setCurrentIndex(page); }
    // Checked boxes of a page as a bit string, lowest entry first.
    QString states(int first, int count) const {
        QString bits;
        for (int i = 0; i < count; ++i)
            bits += box(first + i)->isChecked() ? '1' : '0';
        return bits;
    }
    QString page0() const { return states(1, 7); }
    QString page1() const { return states(8, 12); }
    QString page2() const { return states(22, 24); }
    void pressOK() const { button("OKButton")->click(); }
    QString allowedBits() const {
        QString bits;
        for (int k = 1; k <= 24; ++k)
            bits += drill->allowed[k] ? '1' : '0';
        return bits;
    }

private slots:
    void init() {
        drill = std::make_unique<DrillState>();
        form = std::make_unique<TNewFilterForm>(*drill);
        form->show();
    }
    void cleanup() {
        form.reset();
        drill.reset();
    }

    void startStateMatchesTheDrillsAllowedSizes() {
        QCOMPARE(form->windowTitle(), QString("Filters"));
        QCOMPARE(pages()->count(), 3);
        QCOMPARE(pages()->tabText(0), QString());
        QCOMPARE(pages()->tabText(1), QString("Intervals within an 8ve"));
        QCOMPARE(pages()->tabText(2), QString("two octaves"));
        QCOMPARE(pages()->currentIndex(), 1);
        QCOMPARE(page0(), QString("1111111"));
        QCOMPARE(page1(), QString("111111111111"));
        QCOMPARE(page2(), QString("111111111111000000000000"));
        QVERIFY(!box(20)->isChecked());
        QVERIFY(!box(21)->isChecked());
        pressOK();
        QCOMPARE(allowedBits(), QString("111111111111000000000000"));
        QVERIFY(!drill->filtersInUse());
    }

    void boxesAreReachedThroughTheirArrays() {
        QCOMPARE(form->ICBoxes[6], box(7));
        QCOMPARE(form->Mod12Boxes[0], box(8));
        QCOMPARE(form->Mod12Boxes[11], box(19));
        QCOMPARE(form->PIBoxes[0], box(22));
        QCOMPARE(form->PIBoxes[23], box(45));
        QCOMPARE(form->CheckBox20, box(20));
        QCOMPARE(form->CheckBox21, box(21));
    }

    void captions_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("caption");
        QTest::newRow("IC 0") << 1 << "IC [0]";
        QTest::newRow("IC 6") << 7 << "IC [6]";
        QTest::newRow("page 1 octave") << 8 << "8ve";
        QTest::newRow("page 1 tritone") << 14 << "+4/d5";
        QTest::newRow("page 1 M7") << 19 << "M7";
        QTest::newRow("lower group") << 20 << "<= 8ve";
        QTest::newRow("upper group") << 21 << " > 8ve";
        QTest::newRow("page 2 m2") << 22 << "m2";
        QTest::newRow("page 2 octave") << 33 << "8ve";
        QTest::newRow("page 2 8ve + m2") << 34 << "8ve + m2";
        QTest::newRow("page 2 8ve + d5") << 39 << "8ve + d5";
        QTest::newRow("page 2 two octaves") << 45 << "2 8ves";
    }
    void captions() {
        QFETCH(int, number);
        QFETCH(QString, caption);
        QCOMPARE(box(number)->text(), caption);
    }

    // Page 0 pushes every class into all of its sizes in both octaves.
    void uncheckingAClassUnchecksItsSizesInBothOctaves() {
        showPage(0);
        ic(1)->click();
        QCOMPARE(page0(), QString("1011111"));
        QCOMPARE(page1(), QString("101111111110")); // m2 and M7 off
        // m2, M7, 8ve + m2 and 8ve + M7 off; the other classes reach the
        // second octave too.
        QCOMPARE(page2(), QString("011111111101011111111101"));
    }

    void changingAClassFromCodeRunsTheRuleToo() {
        showPage(0);
        ic(6)->setChecked(false);
        QCOMPARE(page1(), QString("111111011111"));
        QCOMPARE(page2(), QString("111110111111111110111111"));
        ic(6)->setChecked(true);
        QCOMPARE(page2(), QString("111111111111111111111111"));
    }

    // A rule acts only on its own page: a box changed while another page is
    // active moves nothing else.
    void boxesOfAnInactivePageMoveNothing() {
        showPage(1);
        ic(2)->setChecked(false);
        pi(5)->setChecked(false);
        QCOMPARE(page0(), QString("1101111"));
        QCOMPARE(page1(), QString("111111111111"));
        QCOMPARE(page2(), QString("111101111111000000000000"));
    }

    void oneFirstOctaveSizeUncheckedClearsTheUpperPages_data() {
        QTest::addColumn<int>("semitones");
        for (int k = 1; k <= 12; ++k)
            QTest::addRow("%d semitones", k) << k;
    }
    void oneFirstOctaveSizeUncheckedClearsTheUpperPages() {
        QFETCH(int, semitones);
        showPage(2);
        pi(semitones)->click();
        QCOMPARE(page0(), QString("0000000"));
        QCOMPARE(page1(), QString("000000000000"));
        QString expected = "111111111111000000000000";
        expected[semitones - 1] = '0';
        QCOMPARE(page2(), expected);
        pressOK();
        QCOMPARE(allowedBits(), expected);
        QVERIFY(drill->filtersInUse());
    }

    void checkingOctavePlusMinorSecondLeavesOnlyMinorSecondAbove() {
        showPage(2);
        pi(13)->click();
        QCOMPARE(page1(), QString("010000000000"));
        QCOMPARE(page0(), QString("0000000"));
        QCOMPARE(page2(), QString("111111111111100000000000"));
    }

    // Page 1 pushes a size into the first octave only, all twelve at once.
    void aPageOneClickCopiesPageOneIntoTheFirstOctave() {
        showPage(2);
        pi(2)->click(); // unchecks all of page 1
        QCOMPARE(page1(), QString("000000000000"));
        showPage(1);
        mod12(1)->click();
        QCOMPARE(page2(), QString("100000000000000000000000"));
        QCOMPARE(page0(), QString("0000000"));
        // A class shows on page 0 once both of its sizes are checked.
        mod12(11)->click();
        QCOMPARE(page0(), QString("0100000"));
    }

    void theOctaveClassNeedsBothOctaves() {
        showPage(1);
        button("Button1")->click(); // NONE
        mod12(0)->click();
        QVERIFY(pi(12)->isChecked());
        QVERIFY(!ic(0)->isChecked());

        showPage(2);
        pi(24)->click();
        QVERIFY(ic(0)->isChecked());
        QVERIFY(mod12(0)->isChecked());
        pi(12)->click();
        QVERIFY(!ic(0)->isChecked());
        QVERIFY(!mod12(0)->isChecked());
    }

    void groupBoxesSetTheirOctaveBothWays_data() {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("octave");
        QTest::newRow("<= 8ve") << 20 << "111111111111000000000000";
        QTest::newRow(" > 8ve") << 21 << "000000000000111111111111";
    }
    void groupBoxesSetTheirOctaveBothWays() {
        QFETCH(int, group);
        QFETCH(QString, octave);
        showPage(2);
        button("NoneButton3")->click();
        box(group)->click();
        QVERIFY(box(group)->isChecked());
        QCOMPARE(page2(), octave);
        // Only both octaves together make a size show on the upper pages.
        QCOMPARE(page1(), QString("000000000000"));
        box(group)->click();
        QVERIFY(!box(group)->isChecked());
        QCOMPARE(page2(), QString("000000000000000000000000"));

        // With every size checked, checking the group box changes nothing
        // and unchecking it clears its own octave only.
        button("AllButton3")->click();
        box(group)->click();
        QCOMPARE(page2(), QString("111111111111111111111111"));
        box(group)->click();
        QString rest = "111111111111111111111111";
        for (int k = 0; k < 24; ++k)
            if (octave[k] == '1')
                rest[k] = '0';
        QCOMPARE(page2(), rest);
        QCOMPARE(page0(), QString("0000000"));
    }

    void groupBoxesAreNeverSetByTheRules() {
        showPage(2);
        box(20)->click();
        button("NoneButton3")->click();
        QVERIFY(box(20)->isChecked());
        QVERIFY(!box(21)->isChecked());
    }

    void noneThenOKForbidsEverySize_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("noneButton");
        QTest::newRow("page 0") << 0 << "Button3";
        QTest::newRow("page 1") << 1 << "Button1";
        QTest::newRow("page 2") << 2 << "NoneButton3";
    }
    void noneThenOKForbidsEverySize() {
        QFETCH(int, page);
        QFETCH(QString, noneButton);
        drill->allowed[0] = true;
        showPage(2);
        pi(20)->click(); // something in the second octave to clear
        showPage(page);
        button(noneButton.toLatin1().constData())->click();
        QCOMPARE(page0(), QString("0000000"));
        QCOMPARE(page1(), QString("000000000000"));
        QCOMPARE(page2(), QString("000000000000000000000000"));
        pressOK();
        QCOMPARE(allowedBits(), QString("000000000000000000000000"));
        QVERIFY(drill->allowed[0]); // not the filter's
        QVERIFY(drill->filtersInUse());
    }

    void allOnPageOneChecksTheFirstOctaveOnly() {
        showPage(2);
        pi(1)->click();
        pi(11)->click();
        pi(16)->click();
        showPage(1);
        button("Button2")->click();
        QCOMPARE(page0(), QString("1111111"));
        QCOMPARE(page1(), QString("111111111111"));
        QCOMPARE(page2(), QString("111111111111000100000000"));
    }

    void allOnPageTwoChecksAllSizes() {
        showPage(2);
        button("NoneButton3")->click();
        button("AllButton3")->click();
        QCOMPARE(page0(), QString("1111111"));
        QCOMPARE(page1(), QString("111111111111"));
        QCOMPARE(page2(), QString("111111111111111111111111"));
        pressOK();
        QCOMPARE(allowedBits(), QString("111111111111111111111111"));
    }

    // Every class checked means every size of both octaves, even when the
    // classes were all checked already (as they are at start).
    void allOnPageZeroChecksEveryBox_data() {
        QTest::addColumn<bool>("noneFirst");
        QTest::newRow("from the start state") << false;
        QTest::newRow("from none") << true;
    }
    void allOnPageZeroChecksEveryBox() {
        QFETCH(bool, noneFirst);
        showPage(0);
        if (noneFirst)
            button("Button3")->click();
        button("Button4")->click();
        QCOMPARE(page0(), QString("1111111"));
        QCOMPARE(page1(), QString("111111111111"));
        QCOMPARE(page2(), QString("111111111111111111111111"));
    }

    void pageOneFirstThenTheLastPageShown() {
        form->hide();
        int shown = -1;
        QTimer::singleShot(0, form.get(), [&] {
            shown = pages()->currentIndex();
            showPage(2);
            pressOK();
        });
        QCOMPARE(form->exec(), 1);
        QCOMPARE(shown, 1);
        QTimer::singleShot(0, form.get(), [&] {
            shown = pages()->currentIndex();
            showPage(0);
            form->close(); // the close box
        });
        form->exec();
        QCOMPARE(shown, 2);
        form->show();
        QCOMPARE(pages()->currentIndex(), 0);
        // The rules follow the page shown, not the one the window opened on.
        ic(3)->click();
        QVERIFY(!pi(3)->isChecked());
    }

    // The drill sees the filter only when the window closes, by any road.
    void theDrillStateChangesOnlyOnClose_data() {
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("OK") << false;
        QTest::newRow("close box") << true;
    }
    void theDrillStateChangesOnlyOnClose() {
        QFETCH(bool, byCloseBox);
        showPage(2);
        pi(7)->click();
        pi(19)->click();
        QVERIFY(drill->allowed[7]);
        QVERIFY(!drill->allowed[19]);
        if (byCloseBox)
            form->close();
        else
            pressOK();
        QVERIFY(!form->isVisible());
        QVERIFY(!drill->allowed[7]);
        QVERIFY(drill->allowed[19]);
    }

    // Only sizes up to the octave decide whether a drill was filtered.
    void highScoreEligibilityFollowsTheFirstOctave_data() {
        QTest::addColumn<int>("semitones");
        for (int k = 1; k <= 24; ++k)
            QTest::addRow("%d semitones", k) << k;
    }
    void highScoreEligibilityFollowsTheFirstOctave() {
        QFETCH(int, semitones);
        showPage(2);
        button("AllButton3")->click();
        pi(semitones)->click();
        pressOK();
        QCOMPARE(drill->filtersInUse(), semitones <= 12);
    }

    void formShowSizesTheWindowAndNothingIsClipped() {
        const QRect ok = form->OKButton->geometry();
        QVERIFY(form->height() > ok.bottom());
        QVERIFY(form->width() > form->PageControl1->geometry().right());
        for (int page = 0; page < 3; ++page) {
            showPage(page);
            QWidget* sheet = pages()->widget(page);
            QVERIFY(sheet->childrenRect().bottom() < sheet->height());
            for (auto* check : sheet->findChildren<QCheckBox*>())
                QVERIFY2(check->sizeHint().width() <= check->width(),
                         qPrintable(check->objectName()));
            for (auto* control : sheet->findChildren<QAbstractButton*>()) {
                const int text = control->fontMetrics().horizontalAdvance(control->text());
                QVERIFY2(text < control->width(), qPrintable(control->objectName()));
                QVERIFY2(control->geometry().right() < sheet->width(),
                         qPrintable(control->objectName()));
            }
        }
    }
};

QTEST_MAIN(TestFilterForm)
#include "test_filterform.moc"
