#include "app/zorpunit1.h"

#include "app/application.h"
#include "app/keymap.h"
#include "app/soundcontrols.h"
#include "core/buttonkeys.h"
#include "core/designunits.h"
#include "core/filenotices.h"
#include "core/windowframe.h"
#include "errors/endofdrill.h"
#include "errors/errorfile.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"
#include "info/HelpFormUnit.h"
#include "info/about.h"
#include "info/readme.h"
#include "score/scoreform.h"
#include "settings/Tonyxfilter2.h"
#include "settings/Tonyxsettings.h"
#include "stats/statswindows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <cstring>

TForm1* Form1 = nullptr;

// ---- RadioGroupBox ------------------------------------------------------

RadioGroupBox::RadioGroupBox(const char* name, const QString& caption, const QStringList& items,
                             QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    setObjectName(name);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(QString("%1Item%2").arg(objectName()).arg(i));
        group_->addButton(button, i);
    }
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroupBox::clicked);
}

int RadioGroupBox::itemIndex() const {
    return group_->checkedId();
}

void RadioGroupBox::setItemIndex(int index) {
    if (QAbstractButton* button = group_->button(index))
        button->setChecked(true);
}

QList<QAbstractButton*> RadioGroupBox::items() const {
    return group_->buttons();
}

void RadioGroupBox::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    layoutItems();
}

// The items share the space below the caption evenly, one per row.
void RadioGroupBox::layoutItems() {
    const QList<QAbstractButton*> buttons = group_->buttons();
    if (buttons.isEmpty())
        return;
    const int captionHeight = fontMetrics().height();
    const int left = design::px(8);
    const int top = captionHeight;
    const int rowHeight = (height() - top - design::px(4)) / static_cast<int>(buttons.size());
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setGeometry(left, top + i * rowHeight, width() - left - design::px(4),
                                rowHeight);
}

// ---- TForm1 -------------------------------------------------------------

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int designFont) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    if (designFont)
        label->setFont(design::sansFont(designFont));
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// A slot that shows what the handler throws, so that nothing unwinds
// through the toolkit's frames between the event and the handler.
auto guarded(TForm1* form, void (TForm1::*handler)()) {
    return [form, handler] { runHandler([form, handler] { (form->*handler)(); }); };
}

// The answer box takes at most this many characters.
constexpr int kAnswerTextLimit = 99;

// Handed unchanged to every open of the port; the library defines them.
constexpr uint32_t kMidiOpenFlags = 78624;

} // namespace

TForm1::TForm1(Clock& clock, const char* midiLibrary, bool openOutputLater)
    : QMainWindow(nullptr), DrillState(clock), midiLibraryName_(midiLibrary ? midiLibrary : "") {
    createControls();
    setUpOutputPort();
    CorrectLabel->setText("0");
    IncorrectLabel->setText("0");
    TimeLabel->hide();
    clearSessionTally();
    if (!openOutputLater)
        openOutput();
}

void TForm1::openOutput() {
    if (outputOpened_)
        return;
    outputOpened_ = true;
    // A device the library refuses leaves the port closed; the drill then
    // plays silently.
    MidiLibOut->Open(0, kMidiOpenFlags);
    fillDeviceList();
    soundControls = new SoundControls(*this);
}

TForm1::~TForm1() = default;

void TForm1::createControls() {
    setObjectName("Form1");
    setWindowTitle("Identify intervals");
    setFont(design::sansFont(14));
    resize(design::px(531), design::px(449));

    auto* client = new QWidget(this);
    client->setObjectName("client");
    setCentralWidget(client);

    Label1 = makeLabel(client, "Label1", "Correct:", 20);
    design::place(Label1, 52, 25, 70, 25);
    CorrectLabel = makeLabel(client, "CorrectLabel", QString(), 20);
    design::place(CorrectLabel, 130, 25, 112, 25);
    Label2 = makeLabel(client, "Label2", "Incorrect:", 20);
    design::place(Label2, 199, 25, 81, 25);
    IncorrectLabel = makeLabel(client, "IncorrectLabel", QString(), 20);
    design::place(IncorrectLabel, 288, 25, 123, 25);
    TimeLabel = makeLabel(client, "TimeLabel", QString(), 20);
    design::place(TimeLabel, 357, 25, 92, 25);

    Button1 = makeButton(client, "Button1", "BEGIN");
    design::place(Button1, 154, 97, 208, 41);
    Button1->setFont(design::sansFont(18));
    // Black while it can be pressed; greyed as usual while disabled.
    QPalette black = Button1->palette();
    black.setColor(QPalette::Active, QPalette::ButtonText, Qt::black);
    black.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::black);
    Button1->setPalette(black);
    Button4 = makeButton(client, "Button4", "&Repeat");
    design::place(Button4, 63, 150, 119, 31);
    Button2 = makeButton(client, "Button2", "Arpeggiate &Up");
    design::place(Button2, 199, 150, 120, 31);
    Button3 = makeButton(client, "Button3", "Arpeggiate &Down");
    design::place(Button3, 335, 150, 119, 31);
    for (QPushButton* b : {Button2, Button3, Button4})
        b->setEnabled(false);

    Label4 = makeLabel(client, "Label4", "Select Midi Device", 0);
    design::place(Label4, 50, 215, 112, 16);
    SetupListBox = new QListWidget(client);
    SetupListBox->setObjectName("SetupListBox");
    design::place(SetupListBox, 31, 235, 149, 80);

    RadioGroup1 = new RadioGroupBox(
        "RadioGroup1", "Identify", {"pitch interval", "mod 12 interval", "interval class"}, client);
    design::place(RadioGroup1, 198, 251, 177, 129);
    RadioGroup1->setItemIndex(1);
    RadioGroup1->hide();

    PitchIntMemo = new QPlainTextEdit(client);
    PitchIntMemo->setObjectName("PitchIntMemo");
    design::place(PitchIntMemo, 316, 238, 51, 25);
    PitchIntMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PitchIntMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PitchIntMemo->setTabChangesFocus(true);
    PitchIntMemo->hide();

    RadioGroup = new RadioGroupBox("RadioGroup", "Give Me:", {"chord", "figure"}, client);
    design::place(RadioGroup, 396, 217, 88, 78);
    RadioGroup->setItemIndex(0);

    Label3 = makeLabel(client, "Label3", "Label3", 0);
    design::place(Label3, 335, 251, 41, 16);
    Label3->hide();

    // Tab order: BEGIN, the arpeggios, Repeat, the device list, then the
    // identify group, the answer box and "Give Me:".
    QWidget* chain[] = {Button1, Button2, Button3, Button4, SetupListBox};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        setTabOrder(chain[i], chain[i + 1]);
    QWidget* previous = SetupListBox;
    for (QAbstractButton* item : RadioGroup1->items()) {
        setTabOrder(previous, item);
        previous = item;
    }
    setTabOrder(previous, PitchIntMemo);
    previous = PitchIntMemo;
    for (QAbstractButton* item : RadioGroup->items()) {
        setTabOrder(previous, item);
        previous = item;
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, guarded(this, &TForm1::ClockTick));
    Timer1->start();

    connect(Button1, &QPushButton::clicked, this, guarded(this, &TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(this, &TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, guarded(this, &TForm1::Button3Click));
    connect(Button4, &QPushButton::clicked, this, guarded(this, &TForm1::Button4Click));
    // The highlighted device is the one that sounds, whether the arrow keys
    // or the mouse chose it. A click that changed the highlight has already
    // opened its device; a click on the highlighted line opens it again.
    connect(SetupListBox, &QListWidget::itemSelectionChanged, this, [this] {
        deviceChosenSinceClick_ = true;
        runHandler([this] { SetupListBoxClick(); });
    });
    connect(SetupListBox, &QListWidget::itemClicked, this, [this] {
        if (!deviceChosenSinceClick_)
            runHandler([this] { SetupListBoxClick(); });
    });
    connect(RadioGroup, &RadioGroupBox::clicked, this, guarded(this, &TForm1::RadioGroupClick));
    connect(RadioGroup1, &RadioGroupBox::clicked, this, guarded(this, &TForm1::RadioGroup1Click));
    connect(PitchIntMemo, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = PitchIntMemo->toPlainText();
        if (text.size() > kAnswerTextLimit) {
            PitchIntMemo->setPlainText(text.left(kAnswerTextLimit));
            PitchIntMemo->moveCursor(QTextCursor::End);
        }
    });

    // Answer keys are seen on the window itself, its buttons and the device
    // list; the answer box reports its key releases.
    for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4),
                       static_cast<QWidget*>(SetupListBox), static_cast<QWidget*>(PitchIntMemo)})
        w->installEventFilter(this);
    SetupListBox->viewport()->installEventFilter(this);
    buttonkeys::pressFocusedButtonOnEnter(this);

    createMenu();
}

void TForm1::createMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");

    Settings1 = MainMenu1->addMenu("Settings");
    Settings1->setObjectName("Settings1");
    Sustain1 = Settings1->addAction("Sustain", this, guarded(this, &TForm1::Sustain1Click));
    Sustain1->setObjectName("Sustain1");
    Filters21 = Settings1->addAction("Filters", this, guarded(this, &TForm1::Filters21Click));
    Filters21->setObjectName("Filters21");

    View1 = MainMenu1->addMenu("View");
    View1->setObjectName("View1");
    KeyGuide1 = View1->addAction("Key Guide", this, guarded(this, &TForm1::KeyGuide1Click));
    KeyGuide1->setObjectName("KeyGuide1");
    Stats = new stats::StatsWindows(this, View1);

    Help1 = MainMenu1->addMenu("Help");
    Help1->setObjectName("Help1");
    ReadmeForm = Help1->addAction("readme.txt", this, guarded(this, &TForm1::ReadmeFormClick));
    ReadmeForm->setObjectName("ReadmeForm");
    AboutTonyx1 = Help1->addAction("About Tonyx", this, guarded(this, &TForm1::AboutTonyx1Click));
    AboutTonyx1->setObjectName("AboutTonyx1");
}

int TForm1::identifyMode() const {
    return RadioGroup1->itemIndex();
}

int TForm1::presentation() const {
    return RadioGroup->itemIndex();
}

// ---- Showing and closing ------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Coming back from the taskbar is not a new showing.
    if (!event->spontaneous())
        runHandler([this] { FormShow(); });
}

void TForm1::FormShow() {
    // The window's outer edges, frame included.
    frame::setOuterSize(
        this, QSize(RadioGroup->x() + design::px(120), SetupListBox->y() + design::px(160)));
    if (!placed_ && (HelpForm || keyGuideLater_)) {
        // The first time, stand where the Key Guide fits above the window.
        placed_ = true;
        if (const QScreen* s = screen()) {
            const QRect avail = s->availableGeometry();
            const QSize outer = frame::outerSize(this);
            // The guide may be made only once this window has painted.
            const int guideHeight = HelpForm ? frame::outerSize(HelpForm).height()
                                             : THelpForm::designedOuterSize().height();
            const int pairHeight = outer.height() + guideHeight;
            move(avail.left() + std::max(0, (avail.width() - outer.width()) / 2),
                 avail.top() + std::max(0, (avail.height() - pairHeight) / 2) + guideHeight);
        }
    }
    if (keyGuideLater_)
        keyGuideLater_ = false;
    else
        showKeyGuide();
}

void TForm1::showKeyGuide() {
    if (HelpForm && isVisible())
        HelpForm->show();
}

void TForm1::closeEvent(QCloseEvent* event) {
    runHandler([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TForm1::FormClose() {
    releaseOutputPort();
}

// ---- MIDI output --------------------------------------------------------

void TForm1::setUpOutputPort() {
    MidiLib = std::make_unique<TMidiLib>(nullptr, midiLibraryName_.c_str());
    MidiLibOut = std::make_unique<TMidiLibOut>();
    MidiLibOut->MidiLib = MidiLib.get();
    setNoteOutput(MidiLibOut.get());
}

void TForm1::fillDeviceList() {
    deviceCount = 0;
    // Device indexes are 16-bit, which also ends the list for a library
    // that never reports the end.
    for (uint32_t device = 0; device <= 0xFFFF; ++device) {
        char name[MIDILIB_NAME_SIZE] = {};
        if (MidiLib->GetMidiOutDescription(device, name) == 0)
            break;
        SetupListBox->addItem(QString::fromUtf8(name, qsizetype(strnlen(name, sizeof name))));
        ++deviceCount;
    }
}

void TForm1::releaseOutputPort() {
    // With no port open (every device refused) the window closes quietly.
    if (!MidiLibOut || !MidiLibOut->isOpen())
        return;
    MidiLibOut->Reset();
    MidiLibOut->Close();
}

void TForm1::SetupListBoxClick() {
    for (int device = 0; device < deviceCount; ++device) {
        const QListWidgetItem* line = SetupListBox->item(device);
        if (!line || !line->isSelected())
            continue;
        // A port whose last device refused to open has nothing to close;
        // the chosen device opens all the same.
        if (MidiLibOut->isOpen())
            MidiLibOut->Close();
        const bool opened = MidiLibOut->Open(static_cast<uint16_t>(device), kMidiOpenFlags);
        soundControls->deviceOpened(device, opened);
    }
}

// ---- The drill's buttons and keys ---------------------------------------

void TForm1::Button1Click() {
    if (running && correctCount > 0)
        endDrill();
    else
        beginDrill();
}

void TForm1::Button2Click() {
    arpeggiateUp();
}

void TForm1::Button3Click() {
    arpeggiateDown();
}

void TForm1::Button4Click() {
    repeatQuestion();
}

void TForm1::FormKeyDown(int virtualKey) {
    answerKey(virtualKey);
}

void TForm1::PitchIntMemoKey(int virtualKey) {
    switch (virtualKey) {
    case vk::KeyR:
        PitchIntMemo->clear();
        Button4Click();
        break;
    case vk::KeyU:
        PitchIntMemo->clear();
        Button2Click();
        break;
    case vk::KeyD:
        PitchIntMemo->clear();
        Button3Click();
        break;
    case vk::Enter:
        if (identifyMode() == 0) {
            const std::string text = PitchIntMemo->toPlainText().toStdString();
            PitchIntMemo->clear();
            typedAnswer(text);
        }
        break;
    default:
        break;
    }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // Keys that a child let through reach here too; only the window's own
    // focus counts, so the radio groups and the answer box see no answers.
    // The window's focus, not the application's: an inactive window still
    // delivers its keys to its focused control.
    QWidget* focus = focusWidget();
    if (focus == nullptr || focus == this || focus == centralWidget())
        runHandler([&] { FormKeyDown(virtualKeyOf(event->key(), event->modifiers())); });
    QMainWindow::keyPressEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SetupListBox->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            deviceChosenSinceClick_ = false;
        return QMainWindow::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress && watched != PitchIntMemo) {
        const auto* key = static_cast<QKeyEvent*>(event);
        runHandler([&] { FormKeyDown(virtualKeyOf(key->key(), key->modifiers())); });
    } else if (event->type() == QEvent::KeyRelease && watched == PitchIntMemo) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat())
            runHandler([&] { PitchIntMemoKey(virtualKeyOf(key->key(), key->modifiers())); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::ClockTick() {
    clockTick();
}

// ---- Focus rules ----------------------------------------------------------

void TForm1::RadioGroupClick() {
    // Give answer keys back to the window's key handler.
    if (Button4->isEnabled())
        Button4->setFocus();
}

void TForm1::RadioGroup1Click() {
    const int mode = identifyMode();
    PitchIntMemo->setVisible(mode == 0);
    if ((mode == 1 || mode == 2) && Button4->isEnabled())
        Button4->setFocus();
    if (mode == 0)
        PitchIntMemo->setFocus();
}

// ---- Menu -------------------------------------------------------------------

void TForm1::Sustain1Click() {
    if (SettingsForm)
        SettingsForm->exec();
}

void TForm1::Filters21Click() {
    if (NewFilterForm)
        NewFilterForm->exec();
}

void TForm1::KeyGuide1Click() {
    if (!HelpForm)
        return;
    if (HelpForm->isVisible())
        HelpForm->hide();
    else
        HelpForm->show();
}

void TForm1::ReadmeFormClick() {
    if (ReadmeBox)
        ReadmeBox->exec();
}

void TForm1::AboutTonyx1Click() {
    if (Yellow)
        Yellow->exec();
}

// ---- Drill hooks --------------------------------------------------------------

void TForm1::refreshControls() {
    CorrectLabel->setText(QString::number(correctCount));
    IncorrectLabel->setText(QString::number(incorrectCount));
    // The drill's buttons first: when BEGIN disables itself, the focus moves
    // on to them and answer keys keep reaching the drill.
    for (QPushButton* b : {Button2, Button3, Button4})
        b->setEnabled(running);
    Button1->setText(endOffered() ? "END" : "BEGIN");
    Button1->setEnabled(!running || endOffered());
    TimeLabel->setVisible(clockVisible);
}

void TForm1::showClockText(const std::string& text) {
    TimeLabel->setText(QString::fromStdString(text));
}

void TForm1::showMessage(const std::string& text) {
    TonyxApplication::showMessage(text);
}

void TForm1::writeSessionReport() {
    if (ErrorReport)
        errors::writeSessionReport(*this, *ErrorReport);
}

bool TForm1::includeFilteredDrill() {
    return FilterQueryForm ? errors::includeFilteredDrill(*this, *FilterQueryForm) : true;
}

void TForm1::updateErrorFile() {
    // A failed save is told with the score window's, once per END; the
    // drill's score and report stand on their own.
    (void)errors::updateErrorFile(*this);
    Stats->errorFileUpdated();
}

void TForm1::showScoreWindow() {
    if (Form2) {
        Form2->showForDrill();
        Stats->drillScored(stats::finishedDrill(*this, Form2->elapsedSeconds, Form2->score));
    } else if (const std::string notice = filenotices::take(); !notice.empty()) {
        filenotices::tell(notice);
    }
}

void TForm1::clearReportBox() {
    if (ErrorReport)
        errors::clearReportBox(*ErrorReport);
}
