#include "info/HelpFormUnit.h"

#include "core/designunits.h"
#include "core/windowframe.h"
#include "info/keyguidepicture.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QScreen>

THelpForm* HelpForm = nullptr;

namespace {

// The picture takes a while to draw (slanted, smoothed captions). The
// guide is shown with the main window at start-up, so the picture is drawn
// when the label is first painted, once both windows are on the screen,
// rather than while they are being made and shown. It is drawn for the
// screen's pixels, so it stays sharp on a scaled screen, and again when the
// window moves to a screen of another scale.
class KeyGuideLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        const double ratio = devicePixelRatioF();
        const double scale = ratio * width() / keyguide::kWidth;
        if (scale != drawnScale_) {
            drawnScale_ = scale;
            QPixmap picture = QPixmap::fromImage(keyguide::drawPicture(scale));
            picture.setDevicePixelRatio(ratio);
            setPixmap(picture);
        }
        QLabel::paintEvent(event);
    }

private:
    double drawnScale_ = 0;
};

} // namespace

THelpForm::THelpForm(QWidget* parent) : QDialog(parent) {
    setObjectName("HelpForm");
    setWindowTitle(QString());
    // A picture beside the drill with nothing to type into: showing it, or
    // clicking it, leaves the keyboard with the main window, so answer keys
    // keep reaching the drill.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setFont(design::sansFont(13));
    design::place(this, 311, 254, 540, 218);
    setSizeGripEnabled(false);

    // The margin beside and below the picture takes its background, so the
    // window reads as one picture.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, keyguide::background());
    setPalette(pal);
    setAutoFillBackground(true);

    Image1 = new KeyGuideLabel(this);
    Image1->setObjectName("Image1");
    Image1->setScaledContents(true);
    design::place(Image1, 1, 0, keyguide::kWidth, keyguide::kHeight);

    frame::setOuterSize(this, designedOuterSize());
    // Frames come with the window manager once the windows are on the
    // screen: the guide takes its place again then.
    frame::whenFramed(this, [this] { FormShow(); });

    const int markerTop = 245 - 86; // the designed window height minus 86
    for (int i = 0; i < 12; ++i) {
        auto* marker = new QLabel("X", this);
        marker->setObjectName(QString("marker%1").arg(i));
        QFont font("Ariel");
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(design::sansFont(27).pixelSize()); // 16 points at 120 ppi
        marker->setFont(font);
        QPalette markerPalette = marker->palette();
        markerPalette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        marker->setPalette(markerPalette);
        marker->setAutoFillBackground(false);
        marker->adjustSize();
        marker->move(design::px(static_cast<int>(i * 37.5 + 38)), design::px(markerTop));
        marker->hide();
        markers[i] = marker;
    }
    for (auto& deadline : markerDeadlines)
        deadline = -1;
}

QSize THelpForm::designedOuterSize() {
    return {design::px(keyguide::kWidth + 14), design::px(keyguide::kHeight + 35)};
}

bool THelpForm::guideVisible() const {
    return isVisible();
}

void THelpForm::showMarker(int i) {
    if (i < 0 || i >= 12)
        return;
    markers[i]->show();
    markers[i]->raise();
    repaint();
}

void THelpForm::hideMarker(int i) {
    if (i >= 0 && i < 12)
        markers[i]->hide();
}

bool THelpForm::markerShown(int i) const {
    return i >= 0 && i < 12 && !markers[i]->isHidden();
}

void THelpForm::setAnchorWindow(QWidget* anchor) {
    anchor_ = anchor;
    if (anchor)
        frame::whenFramed(anchor, [guide = QPointer<THelpForm>(this)] {
            if (guide && guide->isVisible())
                guide->FormShow();
        });
}

void THelpForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
    frame::showEmptyTitle(this);
}

void THelpForm::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // A desktop that ignores the guide's "no focus" hints, and makes it the
    // active window when it shows or is clicked, would take the answer keys
    // from the drill: the guide hands the keyboard straight back.
    if (event->type() == QEvent::ActivationChange && handsBackKeyboard())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (handsBackKeyboard())
                    anchor_->activateWindow();
            },
            Qt::QueuedConnection);
}

bool THelpForm::handsBackKeyboard() const {
    // Not to a minimized window, which activating would bring back up, nor
    // past a dialog the user has open.
    return isActiveWindow() && anchor_ && anchor_->isVisible() && !anchor_->isMinimized() &&
           QApplication::activeModalWidget() == nullptr;
}

void THelpForm::FormShow() {
    if (!anchor_)
        return;
    const QRect main = frame::outerGeometry(anchor_);
    int top = main.top() - frame::outerSize(this).height();
    // Never above the top of the screen, where the user could not reach the
    // guide to move or close it.
    if (const QScreen* screen = anchor_->screen())
        top = std::max(top, screen->availableGeometry().top());
    frame::moveOuterTo(this, QPoint(main.left(), top));
}
