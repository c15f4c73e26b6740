#include "app/drillstate.h"
#include "settings/Tonyxsettings.h"
#include "settings/updown.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

// Drives the settings window through its real arrows and boxes and reads
// both what the user sees and what the drill was told.
class TestSettingsForm : public QObject {
    Q_OBJECT

    std::unique_ptr<DrillState> drill;
    std::unique_ptr<TSettingsForm> form;

    template <typename T> T* child(const char* name) const {
        auto* found = form->findChild<T*>(name);
        if (!found)
            qFatal("no %s", name);
        return found;
    }
    QToolButton* arrow(const char* name) const {
        return child<UpDown>("UpDown1")->findChild<QToolButton*>(name);
    }
    QString edit1() const { return child<QLineEdit>("Edit1")->text(); }
    QCheckBox* first() const { return child<QCheckBox>("CheckBox1"); }
    QCheckBox* second() const { return child<QCheckBox>("CheckBox2"); }

private slots:
    void init() {
        drill = std::make_unique<DrillState>();
        form = std::make_unique<TSettingsForm>(*drill);
        form->show();
    }
    void cleanup() {
        form.reset();
        drill.reset();
    }

    void startStateMatchesTheDrill() {
        QCOMPARE(form->windowTitle(), QString("Settings"));
        QCOMPARE(child<QLabel>("StaticText1")->text(), QString("Sustain"));
        QVERIFY(child<QLabel>("StaticText1")->font().bold());
        QCOMPARE(child<QLabel>("StaticText2")->text(), QString("Allow"));
        QCOMPARE(child<QLabel>("StaticText3")->text(), QString("chords to ring"));
        QCOMPARE(child<QLabel>("StaticText4")->text(), QString("Melody Tones"));
        QVERIFY(child<QLineEdit>("Edit1")->isReadOnly());
        QCOMPARE(edit1(), QString("2"));
        QCOMPARE(drill->sustain, 1);
        QCOMPARE(first()->text(), QString("Dampen First Tone"));
        QCOMPARE(second()->text(), QString("Dampen Second Tone"));
        QVERIFY(!first()->isChecked());
        QVERIFY(!second()->isChecked());
        QVERIFY(!drill->dampenFirst);
        QVERIFY(!drill->dampenSecond);
    }

    // Each row: the arrows clicked in order from the start position 2, then
    // what the box shows and what the drill holds.
    void arrowsStopAtOneAndThree_data() {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("sustain");
        QTest::newRow("up") << "u"
                            << "3" << 2;
        QTest::newRow("up past the top") << "uuu"
                                         << "3" << 2;
        QTest::newRow("down") << "d"
                              << "1" << 0;
        QTest::newRow("down past the bottom") << "ddd"
                                              << "1" << 0;
        QTest::newRow("no wrap from the top") << "uud"
                                              << "2" << 1;
        QTest::newRow("no wrap from the bottom") << "dddu"
                                                 << "2" << 1;
    }
    void arrowsStopAtOneAndThree() {
        QFETCH(QString, clicks);
        QFETCH(QString, shown);
        QFETCH(int, sustain);
        for (QChar c : clicks)
            QTest::mouseClick(arrow(c == 'u' ? "UpArrow" : "DownArrow"), Qt::LeftButton);
        QCOMPARE(edit1(), shown);
        QCOMPARE(drill->sustain, sustain);
        QCOMPARE(form->UpDown1->position(), sustain + 1);
    }

    // The arrow keys do what the arrows do, for a user without a mouse.
    void arrowKeysStepLikeTheArrows_data() { arrowsStopAtOneAndThree_data(); }
    void arrowKeysStepLikeTheArrows() {
        QFETCH(QString, clicks);
        QFETCH(QString, shown);
        QFETCH(int, sustain);
        for (QChar c : clicks)
            QTest::keyClick(child<UpDown>("UpDown1"), c == 'u' ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(edit1(), shown);
        QCOMPARE(drill->sustain, sustain);
    }

    void dampenSecondChecksTheFirstButNotBack() {
        QTest::mouseClick(second(), Qt::LeftButton);
        QVERIFY(second()->isChecked());
        QVERIFY(first()->isChecked());
        QVERIFY(drill->dampenFirst);
        QVERIFY(drill->dampenSecond);

        QTest::mouseClick(second(), Qt::LeftButton);
        QVERIFY(!second()->isChecked());
        QVERIFY(first()->isChecked());
        QVERIFY(drill->dampenFirst);
        QVERIFY(!drill->dampenSecond);
    }

    void dampenFirstCanBeUncheckedUnderTheSecond() {
        QTest::mouseClick(second(), Qt::LeftButton);
        QTest::mouseClick(first(), Qt::LeftButton);
        QVERIFY(!first()->isChecked());
        QVERIFY(second()->isChecked());
        QVERIFY(!drill->dampenFirst);
        QVERIFY(drill->dampenSecond);
        QTest::mouseClick(first(), Qt::LeftButton);
        QVERIFY(drill->dampenFirst);
    }

    // The controls keep their own state; closing writes nothing more.
    void controlsKeepTheirStateBetweenOpenings() {
        form->hide();
        QTimer::singleShot(0, form.get(), [this] {
            QTest::mouseClick(arrow("DownArrow"), Qt::LeftButton);
            QTest::mouseClick(second(), Qt::LeftButton);
            child<QPushButton>("OKButton")->click();
        });
        QCOMPARE(form->exec(), 1);
        drill->sustain = 2;
        drill->dampenFirst = false;
        form->show();
        QCOMPARE(edit1(), QString("1"));
        QVERIFY(first()->isChecked());
        QVERIFY(second()->isChecked());
        QCOMPARE(drill->sustain, 2);
        QVERIFY(!drill->dampenFirst);
    }

    void formShowSizesTheWindowAndNothingIsClipped() {
        const QRect ok = form->OKButton->geometry();
        QVERIFY(form->height() > ok.bottom());
        QVERIFY(form->width() > ok.right());
        for (auto* widget : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(widget->geometry().right() < form->width(), qPrintable(widget->objectName()));
            QVERIFY2(widget->geometry().bottom() < form->height(),
                     qPrintable(widget->objectName()));
            if (qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget))
                QVERIFY2(widget->sizeHint().width() <= widget->width(),
                         qPrintable(widget->objectName()));
        }
    }
};

QTEST_MAIN(TestSettingsForm)
#include "test_settingsform.moc"
