// The readme window, the About box and the Key Guide.

#include "core/designunits.h"
#include "core/exception.h"
#include "info/HelpFormUnit.h"
#include "info/about.h"
#include "info/keyguidepicture.h"
#include "info/readme.h"
#include "tests/core/filefixtures.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using filefixtures::Odd;

class TestInfo : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QString startFolder;

    void writeReadme(const QByteArray& bytes) {
        QFile f(folder.filePath("readme.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(startFolder); }
    void init() { std::filesystem::remove_all(folder.filePath("readme.txt").toStdString()); }

    // ---- Readme window ---------------------------------------------------

    void readmeShowsTheFileLineByLine_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("CR LF lines") << QByteArray("Tonyx\r\n\r\nKeys\r\n") << "Tonyx\n\nKeys";
        QTest::newRow("LF lines") << QByteArray("one\ntwo\n") << "one\ntwo";
        QTest::newRow("no final break") << QByteArray("one\r\ntwo") << "one\ntwo";
        QTest::newRow("lone CR") << QByteArray("one\rtwo") << "one\ntwo";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("UTF-8") << QByteArray("Tonyx \xe2\x80\x94 ear\n") << "Tonyx \u2014 ear";
    }

    void readmeShowsTheFileLineByLine() {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        writeReadme(file);
        TReadmeBox box;
        QCOMPARE(box.Memo1->toPlainText(), shown);
        QCOMPARE(box.windowTitle(), QString("readme.txt"));
        QVERIFY(!box.Memo1->isReadOnly());
    }

    void readmeLinesUpItsTablesInAFixedPitchFont() {
        writeReadme("key  interval\r\n1    minor 2nd\r\n=    octave\r\n");
        TReadmeBox box;
        const QFontInfo shown(box.Memo1->font());
        QVERIFY2(shown.fixedPitch(), qPrintable(shown.family()));
        // Every character takes the same width, so columns made of spaces line up.
        const QFontMetrics metrics(box.Memo1->font());
        QCOMPARE(metrics.horizontalAdvance("iiii 1"), metrics.horizontalAdvance("MMMM ="));
    }

    // Anything but a plain file of sane size fails at once, never waiting on
    // a pipe or reading a device without end.
    void readmeWithoutTheFileThrowsTheOpenError_data() {
        QTest::addColumn<int>("odd");
        QTest::newRow("missing") << -1;
        for (const Odd odd : {Odd::Fifo, Odd::DevZeroLink, Odd::Folder, Odd::Oversize})
            QTest::newRow(filefixtures::nameOf(odd)) << static_cast<int>(odd);
    }

    void readmeWithoutTheFileThrowsTheOpenError() {
        QFETCH(int, odd);
        const std::string path = folder.filePath("readme.txt").toStdString();
        std::filesystem::remove_all(path);
        if (odd >= 0)
            filefixtures::make(static_cast<Odd>(odd), path);
        try {
            TReadmeBox box;
            QFAIL("the window was made without readme.txt");
        } catch (const Exception& e) {
            QCOMPARE(QString::fromStdString(e.message()), QString("Cannot open file readme.txt"));
        }
    }

    void readmeSizesItselfWhenShownAndCloseEndsWithOk() {
        writeReadme("text\n");
        TReadmeBox box;
        QTimer::singleShot(0, &box, [&box] {
            // The outer size, frame included.
            const QSize outer = box.frameGeometry().size();
            QCOMPARE(outer, QSize(box.Button1->x() + design::px(76),
                                  box.Memo1->height() + design::px(86)));
            QCOMPARE(outer, QSize(design::px(621), design::px(490)));
            box.Button1->click();
        });
        QCOMPARE(box.exec(), 1);
        // Shown again it still holds what was read at creation, not the file.
        writeReadme("changed\n");
        QTimer::singleShot(0, &box, [&box] { box.Button1->click(); });
        QCOMPARE(box.exec(), 1);
        QCOMPARE(box.Memo1->toPlainText(), QString("text"));
    }

    // ---- About box ------------------------------------------------------

    void aboutBoxHasNoButtonsAndItsTextFits() {
        TYellow about;
        // Titled after this program, as its menu item "About Tonyx" is.
        QCOMPARE(about.windowTitle(), QString("About Tonyx"));
        QVERIFY(about.findChildren<QAbstractButton*>().isEmpty());
        QCOMPARE(about.Label1->text(), QString("Tonyx  (version 1.0)"));
        QCOMPARE(about.size(), QSize(design::px(378), design::px(161)));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        const QRect client = about.rect();
        QRect previous;
        for (QLabel* label : {about.Label1, about.Label2, about.Label3, about.Label4}) {
            QVERIFY2(!label->text().isEmpty(), qPrintable(label->objectName()));
            QVERIFY2(client.contains(label->geometry()), qPrintable(label->objectName()));
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
            QVERIFY2(!label->geometry().intersects(previous), qPrintable(label->objectName()));
            previous = label->geometry();
        }
    }

    void aboutBoxClosesWithEscape() {
        TYellow about;
        QTimer::singleShot(0, &about, [&about] { QTest::keyClick(&about, Qt::Key_Escape); });
        about.exec();
        QVERIFY(!about.isVisible());
    }

    // ---- Key Guide --------------------------------------------------------

    void pictureIsAnEightBitImageOfTwelveKeys() {
        const QImage picture = keyguide::drawPicture();
        QCOMPARE(picture.size(), QSize(525, 210));
        QCOMPARE(picture.depth(), 8);
        const QColor background = picture.pixelColor(0, 0);
        for (int i = 0; i < keyguide::kKeys; ++i) {
            const QRectF cap = keyguide::keycapRect(i);
            QCOMPARE(cap.left() - keyguide::keycapRect(0).left(), i * 37.5);
            QVERIFY(QRectF(picture.rect()).contains(cap));
            // The keycap is drawn where it is said to be.
            const QPoint edge(int(cap.center().x()), int(cap.bottom()) - 3);
            QVERIFY2(picture.pixelColor(edge) != background, keyguide::keyLegend(i));
        }
    }

    void captionsStayInsideThePictureAndApart() {
        const QRectF picture(0, 0, keyguide::kWidth, keyguide::kHeight);
        for (int i = 0; i < keyguide::kKeys; ++i) {
            const QPolygonF outline = keyguide::captionOutline(i);
            QVERIFY2(picture.contains(outline.boundingRect()), keyguide::keyCaption(i));
            // Above the keys, never over them.
            QVERIFY2(outline.boundingRect().bottom() < keyguide::keycapRect(i).top(),
                     keyguide::keyCaption(i));
            if (i > 0)
                QVERIFY2(!outline.intersects(keyguide::captionOutline(i - 1)),
                         keyguide::keyCaption(i));
        }
        QCOMPARE(QString(keyguide::keyCaption(5)), QString("aug. 4th / dim. 5th"));
        QCOMPARE(QString(keyguide::keyLegend(11)), QString("="));
    }

    void markersStandOnTheirKeys() {
        THelpForm guide;
        guide.show();
        QCOMPARE(guide.frameGeometry().size(), QSize(design::px(539), design::px(245)));
        QCOMPARE(guide.windowTitle(), QString());
        const int lefts[12] = {38, 75, 113, 150, 188, 225, 263, 300, 338, 375, 413, 450};
        for (int i = 0; i < 12; ++i) {
            QLabel* marker = guide.markers[i];
            QCOMPARE(marker->text(), QString("X"));
            QCOMPARE(marker->pos(), QPoint(design::px(lefts[i]), design::px(159)));
            QVERIFY(marker->isHidden());
            QCOMPARE(guide.markerDeadlines[i], -1);
            QCOMPARE(marker->palette().color(QPalette::WindowText), QColor(255, 0, 0));
            // The X's middle, in picture pixels, lies on keycap i.
            const QPointF middle =
                QRectF(marker->geometry()).center() - QPointF(guide.Image1->pos());
            QVERIFY2(keyguide::keycapRect(i).contains(middle / design::kScale),
                     qPrintable(QString("marker %1").arg(i)));
        }
    }

    // The guide shows the picture however it is first painted (on the
    // screen, or grabbed while hidden), and its margins match the picture's
    // own background.
    void guideShowsThePictureOnAMatchingBackground() {
        const QImage picture = keyguide::drawPicture();
        QCOMPARE(picture.pixelColor(0, 0), keyguide::background());
        QCOMPARE(picture.pixelColor(picture.width() - 1, 0), keyguide::background());

        THelpForm shown;
        QCOMPARE(shown.palette().color(QPalette::Window), keyguide::background());
        QCOMPARE(shown.Image1->size(), QSize(design::px(525), design::px(210)));
        shown.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown));
        QTRY_COMPARE(shown.Image1->pixmap().toImage(), QPixmap::fromImage(picture).toImage());

        THelpForm painted;
        const QImage grabbed = painted.Image1->grab().toImage();
        QCOMPARE(painted.Image1->pixmap().toImage(), QPixmap::fromImage(picture).toImage());
        // A keycap's edge, in label pixels, is drawn, not left as background.
        const QRectF cap = keyguide::keycapRect(0);
        const QPoint edge(design::px(int(cap.center().x())), design::px(int(cap.bottom()) - 3));
        QVERIFY(grabbed.pixelColor(edge) != keyguide::background());
        QCOMPARE(grabbed.pixelColor(design::px(2), design::px(2)), keyguide::background());
    }

    void markersShowAndHideAsTheDrillAsks() {
        THelpForm guide;
        QVERIFY(!guide.guideVisible());
        guide.show();
        QVERIFY(guide.guideVisible());
        guide.showMarker(4);
        QVERIFY(guide.markerShown(4));
        QVERIFY(guide.markers[4]->isVisible());
        QVERIFY(!guide.markerShown(3));
        // Markers stay as they are while the guide is hidden.
        guide.hide();
        QVERIFY(!guide.guideVisible());
        QVERIFY(guide.markerShown(4));
        guide.hideMarker(4);
        QVERIFY(!guide.markerShown(4));
        // Out-of-range markers are no markers.
        guide.showMarker(12);
        guide.showMarker(-1);
        QVERIFY(!guide.markerShown(12));
    }

    void guideStandsAboveItsWindowButNotAboveTheScreen() {
        QWidget main;
        main.resize(400, 300);
        THelpForm guide;
        guide.setAnchorWindow(&main);
        main.move(120, 500);
        main.show();
        guide.show();
        QCOMPARE(guide.frameGeometry().left(), 120);
        QCOMPARE(guide.frameGeometry().bottom() + 1, main.frameGeometry().top());

        guide.hide();
        main.move(60, 20);
        QTRY_COMPARE(main.frameGeometry().topLeft(), QPoint(60, 20));
        guide.show();
        QCOMPARE(guide.frameGeometry().left(), 60);
        QCOMPARE(guide.frameGeometry().top(), main.screen()->availableGeometry().top());
    }
};

QTEST_MAIN(TestInfo)
#include "test_info.moc"
