// The Key Guide on a scaled screen: its picture is drawn for the screen's
// pixels, not enlarged from the small picture. Run at the scale factor
// given in QT_SCALE_FACTOR (the tests run it at 1.5 and 2).

#include "info/HelpFormUnit.h"
#include "info/keyguidepicture.h"

#include <QLabel>
#include <QTest>

class TestKeyGuideScaled : public QObject {
    Q_OBJECT

private slots:
    void thePictureIsDrawnAtTheScreensPixelRatio() {
        const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
        QVERIFY2(factor > 1, "run with QT_SCALE_FACTOR above 1");

        THelpForm guide;
        guide.show();
        QVERIFY(QTest::qWaitForWindowExposed(&guide));
        QCOMPARE(guide.devicePixelRatioF(), factor);

        // What the label shows, pixel for pixel on the screen.
        const QImage shown = guide.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage drawn = keyguide::drawPicture(factor).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), drawn.size());
        QCOMPARE(drawn.size(),
                 QSize(qRound(keyguide::kWidth * factor), qRound(keyguide::kHeight * factor)));
        QVERIFY2(shown == drawn, "the label shows the picture drawn at the screen's scale");
    }

    void theScaledPictureIsTheSamePicture() {
        // Shrunk back to its design size, the large picture matches the
        // small one (the same keys and captions in the same places): most
        // pixels within a few levels.
        const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
        const QImage small = keyguide::drawPicture().convertToFormat(QImage::Format_RGB32);
        const QImage large =
            keyguide::drawPicture(factor)
                .convertToFormat(QImage::Format_RGB32)
                .scaled(small.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int close = 0;
        for (int y = 0; y < small.height(); ++y)
            for (int x = 0; x < small.width(); ++x) {
                const QColor a = small.pixelColor(x, y);
                const QColor b = large.pixelColor(x, y);
                close += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                             std::abs(a.blue() - b.blue()) <
                         120;
            }
        QVERIFY2(close > small.width() * small.height() * 95 / 100,
                 qPrintable(QString::number(close)));
    }
};

QTEST_MAIN(TestKeyGuideScaled)
#include "test_keyguide_scaled.moc"
