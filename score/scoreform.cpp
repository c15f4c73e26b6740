#include "score/scoreform.h"

#include "app/drillstate.h"
#include "core/buttonkeys.h"
#include "core/designunits.h"
#include "core/filenotices.h"
#include "core/windowframe.h"
#include "errors/errorform.h"

#include <QDate>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

TForm2* Form2 = nullptr;

namespace {

constexpr int kTextHeight = 13;
constexpr int kSmallTextHeight = 12;
constexpr int kLargeTextHeight = 24;
constexpr int kFixedTextHeight = 16;

// A label that sizes itself to its text (at the window's first showing:
// measuring text is the costly part of making the window at start-up), its
// top left corner in design pixels.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int fontHeight = kTextHeight) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(design::sansFont(fontHeight));
    label->move(design::rect(left, top, 0, 0).topLeft());
    return label;
}

void setValue(QLabel* label, const std::string& text) {
    label->setText(QString::fromStdString(text));
    label->adjustSize();
}

} // namespace

TForm2::TForm2(DrillState& drill, QWidget* parent) : QDialog(parent), drill_(drill) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString());
    frame::setOuterSize(this, QSize(design::px(453), design::px(520)));

    Label1 = makeLabel(this, "Label1", QStringLiteral("SCORE"), 176, 22, kLargeTextHeight);
    Label4 = makeLabel(this, "Label4", QStringLiteral("Time per"), 48, 68);
    Label5 = makeLabel(this, "Label5", QStringLiteral("interval"), 51, 88);
    TimeLabel = makeLabel(this, "TimeLabel", QStringLiteral("XX.X"), 58, 110);
    TimePointsLabel = makeLabel(this, "TimePointsLabel", QStringLiteral("XXXX"), 50, 150);
    Label7 = makeLabel(this, "Label7", QStringLiteral("pts"), 90, 150);
    Label8 = makeLabel(this, "Label8", QStringLiteral("X"), 119, 142, kLargeTextHeight);
    Label6 = makeLabel(this, "Label6", QStringLiteral("Correct %"), 155, 110);
    PercentageLabel = makeLabel(this, "PercentageLabel", QStringLiteral("XXX%"), 159, 150);
    Label9 = makeLabel(this, "Label9", QStringLiteral("+"), 208, 142, kLargeTextHeight);
    Label2 = makeLabel(this, "Label2", QStringLiteral("Longevity"), 237, 68);
    Label3 = makeLabel(this, "Label3", QStringLiteral("bonus"), 248, 88);
    StaticText1 =
        makeLabel(this, "StaticText1", QStringLiteral("(correct x 2)"), 231, 108, kSmallTextHeight);
    LongevityLabel = makeLabel(this, "LongevityLabel", QStringLiteral("XXX"), 249, 150);
    Label10 = makeLabel(this, "Label10", QStringLiteral("="), 293, 142, kLargeTextHeight);
    ScoreLabel = makeLabel(this, "ScoreLabel", QStringLiteral("XXXXX"), 322, 142, kLargeTextHeight);

    Panel1 = new QLabel(QStringLiteral("H i g h  S c o r e s"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFont(design::fixedFont(kFixedTextHeight));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAlignment(Qt::AlignCenter);
    design::place(Panel1, 42, 207, 370, 26);

    Label11 = makeLabel(
        this, "Label11",
        QStringLiteral("Date              Correct   Incrct    Pctge   Time/Int  Score "), 69, 236);

    ListBox = new QListWidget(this);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    ListBox->setFont(design::fixedFont(kFixedTextHeight));
    ListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    design::place(ListBox, 18, 266, 417, 142);

    FilterLabel = makeLabel(
        this, "FilterLabel",
        QStringLiteral("Sessions with filters are not eligible for high scores."), 75, 414);
    QPalette red = FilterLabel->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    FilterLabel->setPalette(red);
    FilterLabel->hide();

    Button2 = new QPushButton(QStringLiteral("Error Report"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setFont(design::sansFont(kTextHeight));
    design::place(Button2, 28, 441, 100, 32);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFont(design::sansFont(kTextHeight));
    Button1->setDefault(true);
    design::place(Button1, 384, 437, 60, 32);
    connect(Button1, &QPushButton::clicked, this, [this] { done(1); });
    buttonkeys::pressFocusedButtonOnEnter(this);
}

int TForm2::showForDrill() {
    return exec();
}

void TForm2::showEvent(QShowEvent* event) {
    // Each showing scores the drill once; activations while it stays up
    // (such as the return from the Error Report window) do not.
    if (!event->spontaneous())
        scoringArmed_ = true;
    FormShow();
    QDialog::showEvent(event);
    frame::showEmptyTitle(this);
    // Where the window system never reports the activation (no window
    // manager), score once the window is up all the same.
    QTimer::singleShot(0, this, [this] { FormActivate(); });
}

bool TForm2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TForm2::FormShow() {
    if (!labelsSized_) {
        labelsSized_ = true;
        for (QLabel* label : {Label1, Label4, Label5, TimeLabel, TimePointsLabel, Label7, Label8,
                              Label6, PercentageLabel, Label9, Label2, Label3, StaticText1,
                              LongevityLabel, Label10, ScoreLabel, Label11, FilterLabel})
            label->adjustSize();
        placeLabelsAfterValues();
    }
    frame::setOuterSize(this, QSize(Button1->x() + design::px(70), Button1->y() + design::px(80)));
}

void TForm2::FormActivate() {
    if (!scoringArmed_ || !isVisible())
        return;
    scoringArmed_ = false;
    computeScore();
    updateHighScores();
}

void TForm2::computeScore() {
    const ScoreResult r =
        ::computeScore(drill_.correctCount, drill_.incorrectCount, drill_.drillTime());
    correct = r.correct;
    incorrect = r.incorrect;
    elapsedSeconds = r.elapsedSeconds;
    timePerInterval = r.timePerInterval;
    score = r.score;
    setValue(TimeLabel, formatTimePerInterval(r.timePerInterval));
    setValue(TimePointsLabel, std::to_string(r.timePoints));
    setValue(PercentageLabel, formatPercentage(r.correctFraction));
    setValue(LongevityLabel, std::to_string(2 * static_cast<int64_t>(r.correct)));
    setValue(ScoreLabel, std::to_string(r.score));
    placeLabelsAfterValues();
}

void TForm2::updateHighScores() {
    ListBox->clear();
    HighScoreEntry drill;
    drill.date = static_cast<double>(today_ ? today_() : [] {
        const QDate d = QDate::currentDate();
        return dayNumber(d.year(), d.month(), d.day());
    }());
    drill.correct = correct;
    drill.incorrect = incorrect;
    drill.timePerInterval = timePerInterval;
    drill.score = score;

    const HighScoreUpdate update = updateHighScoreFile(
        kHighScoreFileName, drill, eligibleForHighScores(drill_.allowed), dateSeparator());
    FilterLabel->setVisible(update.filterNotice);
    for (const std::string& line : update.lines)
        ListBox->addItem(QString::fromStdString(line));
    if (update.selectedLine >= 0)
        ListBox->setCurrentRow(update.selectedLine);
    // A drill whose save failed keeps its place in the list, marked as not
    // stored.
    if (QListWidgetItem* unsaved = ListBox->item(update.unsavedLine)) {
        QFont font = unsaved->font();
        font.setItalic(true);
        unsaved->setFont(font);
        unsaved->setForeground(Qt::red);
        unsaved->setToolTip(QStringLiteral("Not saved: this drill is not in the high-score file."));
    }
    // What went wrong with the files at this END, told once, over this window.
    const std::string notice = filenotices::take();
    if (!notice.empty())
        QTimer::singleShot(0, this, [notice] { filenotices::tell(notice); });
}

void TForm2::Button2Click() {
    if (ErrorReport)
        ErrorReport->exec();
}

std::string TForm2::dateSeparator() {
    return dateSeparatorOf(QLocale::system().dateFormat(QLocale::ShortFormat).toStdString());
}

void TForm2::placeLabelsAfterValues() {
    // "pts" follows the time points, however wide they are.
    Label7->move(TimePointsLabel->geometry().right() + design::px(4), TimePointsLabel->y());
}
