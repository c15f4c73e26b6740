#include "app/soundcontrols.h"

#include "app/application.h"
#include "app/zorpunit1.h"
#include "core/designunits.h"
#include "info/HelpFormUnit.h"
#include "info/keyguidepicture.h"

#include <QAccessible>
#include <QActionGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kTestVelocity = 90;
constexpr int kInfoNoticeMs = 10000;

// The marks of the device list, drawn large and shown small: a green
// loudspeaker sounding, or a red disc crossed in white for a failure.
QIcon failedIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        p.drawEllipse(QRectF(1, 1, 30, 30));
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(10, 10, 22, 22);
        p.drawLine(22, 10, 10, 22);
    }
    return QIcon(pixmap);
}

QIcon soundingIcon() {
    // On a selected line the loudspeaker turns white, so it shows on the
    // highlight.
    QIcon icon;
    for (const auto& [mode, body] : {std::pair{QIcon::Normal, QColor(0, 120, 40)},
                                     std::pair{QIcon::Selected, QColor(Qt::white)}}) {
        QPixmap speakerPixmap(32, 32);
        speakerPixmap.fill(Qt::transparent);
        QPainter sp(&speakerPixmap);
        sp.setRenderHint(QPainter::Antialiasing);
        QPainterPath speaker;
        speaker.moveTo(2, 11);
        speaker.lineTo(9, 11);
        speaker.lineTo(18, 3);
        speaker.lineTo(18, 29);
        speaker.lineTo(9, 21);
        speaker.lineTo(2, 21);
        speaker.closeSubpath();
        sp.fillPath(speaker, body);
        sp.setPen(QPen(body, 3.5, Qt::SolidLine, Qt::RoundCap));
        sp.drawArc(QRectF(14, 10, 8, 12), -60 * 16, 120 * 16);
        sp.drawArc(QRectF(13, 4, 16, 24), -60 * 16, 120 * 16);
        sp.end();
        icon.addPixmap(speakerPixmap, mode);
    }
    return icon;
}

void guard(const std::function<void()>& handler) {
    runHandler(handler);
}

// The revealed answer on the Key Guide: a thick green ring round the
// keycap, which the red cross of a wrong answer never looks like.
class RevealRing final : public QWidget {
public:
    explicit RevealRing(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        QPalette ring = palette();
        ring.setColor(QPalette::WindowText, QColor(0, 160, 60));
        setPalette(ring);
        setAccessibleName("Right answer");
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal pen = design::px(4);
        p.setPen(QPen(palette().color(QPalette::WindowText), pen));
        p.drawRoundedRect(QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2),
                          design::px(7), design::px(7));
    }
};

} // namespace

SoundControls::SoundControls(TForm1& form) : QObject(&form), form_(form) {
    setObjectName("SoundControls");
    SoundPreferences prefs;
    if (auto store = SoundPreferences::openStore())
        prefs.load(*store);
    instrument_.restore(prefs.instrument);
    reveal_.enabled = prefs.revealAnswer;

    std::vector<std::string> names;
    for (int i = 0; i < form.SetupListBox->count(); ++i)
        names.push_back(form.SetupListBox->item(i)->text().toStdString());
    check_.setDeviceNames(std::move(names));
    // Small enough that the marks leave the names room in the narrow list.
    form.SetupListBox->setIconSize(QSize(design::px(13), design::px(13)));

    createMenu();
    createNotice();
    RevealedAnswer = new QLabel(form.centralWidget());
    RevealedAnswer->setObjectName("RevealedAnswer");
    RevealedAnswer->setFont(design::sansFont(16));
    design::place(RevealedAnswer, 31, 186, 453, 24);
    RevealedAnswer->setAlignment(Qt::AlignCenter);
    RevealedAnswer->hide();

    connect(form.Timer1, &QTimer::timeout, this, [this] { guard([this] { clockTick(); }); });
    form.setDrillEvents(this);
    // The port opened device 0 while the window was made.
    deviceOpened(form.MidiLibOut->deviceIndex(), form.MidiLibOut->isOpen());
}

void SoundControls::createMenu() {
    QMenu* settings = form_.Settings1;
    settings->addSeparator();
    TestTone1 =
        settings->addAction("Test Tone", this, [this] { guard([this] { playTestTone(); }); });
    TestTone1->setObjectName("TestTone1");

    Instrument1 = settings->addMenu(QString());
    Instrument1->setObjectName("Instrument1");
    programs_ = new QActionGroup(this);
    programs_->setExclusive(true);
    for (int family = 0; family < gm::kPrograms / gm::kFamilySize; ++family) {
        QMenu* group = Instrument1->addMenu(
            QString::fromUtf8(gm::familyName(family).data(), gm::familyName(family).size()));
        group->setObjectName(QString("InstrumentFamily%1").arg(family));
        for (int k = 0; k < gm::kFamilySize; ++k) {
            const int program = family * gm::kFamilySize + k;
            const std::string_view name = gm::programName(program);
            QAction* item = group->addAction(QString::fromUtf8(name.data(), name.size()));
            item->setObjectName(QString("Program%1").arg(program));
            item->setCheckable(true);
            item->setChecked(program == instrument_.program());
            programs_->addAction(item);
            connect(item, &QAction::triggered, this,
                    [this, program] { guard([this, program] { chooseInstrument(program); }); });
        }
    }

    showInstrument();

    settings->addSeparator();
    RevealAnswer1 = settings->addAction("Reveal the Answer");
    RevealAnswer1->setObjectName("RevealAnswer1");
    RevealAnswer1->setCheckable(true);
    RevealAnswer1->setChecked(reveal_.enabled);
    connect(RevealAnswer1, &QAction::toggled, this,
            [this](bool on) { guard([this, on] { setRevealAnswer(on); }); });
    NameAnswer1 = settings->addAction("Play and Name the Answer", this,
                                      [this] { guard([this] { nameAnswer(); }); });
    NameAnswer1->setObjectName("NameAnswer1");
    NameAnswer1->setShortcut(QKeySequence(Qt::Key_F2));
    NameAnswer1->setEnabled(reveal_.enabled);
}

void SoundControls::createNotice() {
    SoundNotice = new QFrame(form_.centralWidget());
    SoundNotice->setObjectName("SoundNotice");
    SoundNotice->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(SoundNotice);
    row->setContentsMargins(design::px(6), design::px(4), design::px(4), design::px(4));
    noticeIcon_ = new QLabel(SoundNotice);
    noticeIcon_->setAlignment(Qt::AlignTop);
    row->addWidget(noticeIcon_);
    SoundNoticeText = new QLabel(SoundNotice);
    SoundNoticeText->setObjectName("SoundNoticeText");
    SoundNoticeText->setWordWrap(true);
    SoundNoticeText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SoundNoticeText->setFocusPolicy(Qt::NoFocus);
    row->addWidget(SoundNoticeText, 1);
    SoundNoticeClose = new QToolButton(SoundNotice);
    SoundNoticeClose->setObjectName("SoundNoticeClose");
    SoundNoticeClose->setText(QString::fromUtf8("\u2715"));
    SoundNoticeClose->setAutoRaise(true);
    SoundNoticeClose->setFocusPolicy(Qt::NoFocus);
    SoundNoticeClose->setToolTip("Dismiss");
    SoundNoticeClose->setAccessibleName("Dismiss the notice");
    row->addWidget(SoundNoticeClose, 0, Qt::AlignTop);
    connect(SoundNoticeClose, &QToolButton::clicked, this, [this] { hideNotice(); });
    SoundNotice->hide();
    noticeTimer_ = new QTimer(this);
    noticeTimer_->setSingleShot(true);
    noticeTimer_->setInterval(kInfoNoticeMs);
    connect(noticeTimer_, &QTimer::timeout, this, [this] { hideNotice(); });
}

// ---- Devices ------------------------------------------------------------

void SoundControls::deviceOpened(int device, bool opened) {
    const std::optional<::SoundNotice> notice = check_.deviceOpened(device, opened);
    if (opened) {
        // A notice about the device left behind no longer applies.
        hideNotice();
        if (!instrument_.deviceOpened(form_.MidiLibOut.get()))
            (void)check_.notesRefused();
    }
    refreshMarks();
    if (notice)
        showNotice(QString::fromStdString(notice->text()), true);
}

void SoundControls::noteRefused() {
    const std::optional<::SoundNotice> notice = check_.notesRefused();
    refreshMarks();
    if (notice)
        showNotice(QString::fromStdString(notice->text()), true);
}

void SoundControls::refreshMarks() {
    QListWidget* list = form_.SetupListBox;
    for (int device = 0; device < list->count(); ++device) {
        QListWidgetItem* line = list->item(device);
        const DeviceMark mark = check_.mark(device);
        line->setIcon(mark == DeviceMark::None       ? QIcon()
                      : mark == DeviceMark::Sounding ? soundingIcon()
                                                     : failedIcon());
        const QString name = QString::fromStdString(check_.accessibleName(device));
        line->setData(Qt::AccessibleTextRole, name);
        line->setToolTip(mark == DeviceMark::None ? QString() : name);
    }
}

void SoundControls::showNotice(const QString& text, bool warning) {
    const QStyle::StandardPixmap kind =
        warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    const int iconSize = design::px(20);
    noticeIcon_->setPixmap(form_.style()->standardIcon(kind).pixmap(iconSize, iconSize));
    SoundNoticeText->setText(text);
    SoundNotice->setAccessibleName(warning ? "Sound problem" : "Sound");
    SoundNotice->setAccessibleDescription(text);
    SoundNotice->setStyleSheet(warning ? "#SoundNotice { background: #fff4ce; border: 1px solid "
                                         "#d9a400; }"
                                       : "#SoundNotice { background: #e5f1fb; border: 1px solid "
                                         "#5b9bd5; }");

    // Below the device list, across the window; the window grows to hold it.
    const QRect list = form_.SetupListBox->geometry();
    const int left = list.left();
    const int top = list.bottom() + 1 + design::px(8);
    const int width = form_.RadioGroup->geometry().right() + 1 - left;
    int height = SoundNotice->heightForWidth(width);
    if (height <= 0)
        height = SoundNotice->sizeHint().height();
    SoundNotice->setGeometry(left, top, width, height);
    SoundNotice->show();
    SoundNotice->raise();
    const int chrome = form_.height() - form_.centralWidget()->height();
    const int menu = form_.isVisible() ? chrome : form_.menuBar()->sizeHint().height();
    form_.setMinimumHeight(menu + top + height + design::px(8));

    // A result the user asked for goes after a while; a problem stays
    // until dismissed or mended.
    noticeTimer_->stop();
    if (!warning)
        noticeTimer_->start();

    QAccessibleEvent shown(SoundNotice, QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}

void SoundControls::hideNotice() {
    noticeTimer_->stop();
    if (SoundNotice->isHidden())
        return;
    SoundNotice->hide();
    form_.setMinimumHeight(0);
}

// ---- Test tone and instrument ---------------------------------------------

void SoundControls::playTestTone() {
    TMidiLibOut* port = form_.MidiLibOut.get();
    if (!port || !port->isOpen()) {
        showNotice(QString::fromStdString(check_.testToneResult(false, false)), true);
        return;
    }
    bool took = true;
    for (int note : SoundCheck::kTestChord) {
        MIDIEVENT on{MIDILIB_TIME_NOW, 0x90 | InstrumentChoice::kDrillChannel,
                     static_cast<uint8_t>(note), kTestVelocity, 0};
        took = port->Put(&on) && took;
    }
    // The chord stops on its own; a port closed meanwhile silenced it already.
    QTimer::singleShot(SoundCheck::kTestToneMs, port, [port] {
        if (!port->isOpen())
            return;
        for (int note : SoundCheck::kTestChord) {
            MIDIEVENT off{MIDILIB_TIME_NOW, 0x90 | InstrumentChoice::kDrillChannel,
                          static_cast<uint8_t>(note), 0, 0};
            port->Put(&off);
        }
    });
    if (took)
        check_.notesTaken();
    else
        (void)check_.notesRefused();
    refreshMarks();
    showNotice(QString::fromStdString(check_.testToneResult(true, took)), !took);
}

void SoundControls::chooseInstrument(int program) {
    if (!instrument_.choose(program, form_.MidiLibOut.get()))
        noteRefused();
    if (QAction* item = Instrument1->findChild<QAction*>(QString("Program%1").arg(program)))
        item->setChecked(true);
    showInstrument();
    savePreferences();
}

void SoundControls::showInstrument() {
    const std::string_view name = gm::programName(instrument_.program());
    Instrument1->setTitle("Instrument: " + QString::fromUtf8(name.data(), qsizetype(name.size())));
}

// ---- Reveal the answer ----------------------------------------------------

void SoundControls::setRevealAnswer(bool on) {
    reveal_.enabled = on;
    if (RevealAnswer1->isChecked() != on)
        RevealAnswer1->setChecked(on);
    NameAnswer1->setEnabled(on);
    if (!on) {
        reveal_.clear(this);
        RevealedAnswer->hide();
    }
    savePreferences();
}

void SoundControls::nameAnswer() {
    if (!reveal_.enabled || !form_.running)
        return;
    form_.repeatQuestion();
    RevealedAnswer->setText("The answer: " +
                            QString::fromStdString(AnswerReveal::answerName(form_)));
    RevealedAnswer->show();
}

void SoundControls::clockTick() {
    reveal_.tick(form_.msClock(), this);
}

void SoundControls::questionDrawn() {
    reveal_.clear(this);
    RevealedAnswer->hide();
}

void SoundControls::wrongAnswerCounted() {
    reveal_.wrongAnswer(form_, this);
}

void SoundControls::drillReset() {
    RevealedAnswer->hide();
    reveal_.clear(this);
    if (!instrument_.drillReset(form_.MidiLibOut.get()))
        noteRefused();
}

QWidget* SoundControls::keyGuideWindow() const {
    return dynamic_cast<THelpForm*>(form_.keyGuide());
}

bool SoundControls::guideVisible() const {
    const QWidget* guide = keyGuideWindow();
    return guide && guide->isVisible();
}

QWidget* SoundControls::revealMarker(int i) const {
    return i >= 0 && i < 12 ? revealMarkers_[i] : nullptr;
}

void SoundControls::showReveal(int i) {
    auto* guide = dynamic_cast<THelpForm*>(form_.keyGuide());
    if (!guide || i < 0 || i >= 12)
        return;
    QPointer<QWidget>& marker = revealMarkers_[i];
    if (!marker) {
        marker = new RevealRing(guide);
        marker->setObjectName(QString("revealMarker%1").arg(i));
        // The picture is drawn at design scale from Image1's corner.
        const QRectF cap = keyguide::keycapRect(i);
        const int margin = 5;
        const QPoint origin = guide->Image1->pos();
        marker->setGeometry(origin.x() + design::px(int(cap.left()) - margin),
                            origin.y() + design::px(int(cap.top()) - margin),
                            design::px(int(cap.width()) + 2 * margin),
                            design::px(int(cap.height()) + 2 * margin));
    }
    marker->show();
    marker->raise();
    guide->repaint();
}

void SoundControls::hideReveal(int i) {
    if (QWidget* marker = revealMarker(i))
        marker->hide();
}

void SoundControls::savePreferences() const {
    auto store = SoundPreferences::openStore();
    if (!store)
        return;
    SoundPreferences prefs;
    prefs.instrument = instrument_.saved();
    prefs.revealAnswer = reveal_.enabled;
    prefs.save(*store);
}
