#include "app/accessibility.h"

#include "app/zorpunit1.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"
#include "info/HelpFormUnit.h"
#include "info/keyguidepicture.h"
#include "info/readme.h"
#include "score/scoreform.h"
#include "settings/Tonyxfilter2.h"
#include "settings/Tonyxsettings.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>

#include <array>

namespace accessibility {

namespace {

// By size in semitones within the octave; 0 stands for the octave itself.
const std::array<const char*, 12> kIntervalNames = {"octave",
                                                    "minor 2nd",
                                                    "major 2nd",
                                                    "minor 3rd",
                                                    "major 3rd",
                                                    "perfect 4th",
                                                    "augmented 4th or diminished 5th",
                                                    "perfect 5th",
                                                    "minor 6th",
                                                    "major 6th",
                                                    "minor 7th",
                                                    "major 7th"};

// The filter captions' abbreviations, as the boxes show them.
const std::array<const char*, 12> kAbbreviations = {"8ve",   "m2", "M2", "m3", "M3", "P4",
                                                    "+4/d5", "P5", "m6", "M6", "m7", "M7"};

// A label that shows a bare value, read as "caption: value".
struct CaptionedValue {
    const char* window;
    const char* control;
    const char* caption;
    const char* unit; // after the value, or nullptr
    bool clock;       // the value is the drill clock's "m:ss"
};

const CaptionedValue kCaptionedValues[] = {
    {"Form1", "CorrectLabel", "Correct", nullptr, false},
    {"Form1", "IncorrectLabel", "Incorrect", nullptr, false},
    {"Form1", "TimeLabel", "Elapsed time", nullptr, true},
    {"Form1", "RevealedAnswer", "Answer", nullptr, false},
    {"Form1", "SoundNoticeText", "Notice", nullptr, false},
    {"Form2", "TimeLabel", "Time per interval", "seconds", false},
    {"Form2", "TimePointsLabel", "Time points", nullptr, false},
    {"Form2", "PercentageLabel", "Correct", nullptr, false},
    {"Form2", "LongevityLabel", "Longevity bonus", nullptr, false},
    {"Form2", "ScoreLabel", "Score", nullptr, false},
};

// Reads the label's text each time it is asked, so the name follows the
// value; the label itself tells screen readers when its text changes.
class CaptionedLabelInterface : public QAccessibleWidget {
public:
    CaptionedLabelInterface(QLabel* label, const CaptionedValue& value)
        : QAccessibleWidget(label, QAccessible::StaticText), value_(value) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name && t != QAccessible::Value)
            return QAccessibleWidget::text(t);
        const QString shown = static_cast<const QLabel*>(widget())->text();
        QString spoken = value_.clock ? spokenClock(shown) : shown;
        if (value_.unit && !shown.isEmpty())
            spoken += QLatin1Char(' ') + QLatin1String(value_.unit);
        if (t == QAccessible::Value)
            return spoken;
        return QLatin1String(value_.caption) + QStringLiteral(": ") + spoken;
    }

private:
    const CaptionedValue& value_;
};

QAccessibleInterface* captionedLabels(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (!label)
        return nullptr;
    const QString window = label->window()->objectName();
    for (const CaptionedValue& value : kCaptionedValues)
        if (label->objectName() == QLatin1String(value.control) &&
            window == QLatin1String(value.window))
            return new CaptionedLabelInterface(label, value);
    return nullptr;
}

void name(QWidget* window, const char* control, const QString& name,
          const QString& description = QString()) {
    if (!window)
        return;
    QWidget* widget = window->objectName() == QLatin1String(control)
                          ? window
                          : window->findChild<QWidget*>(QLatin1String(control));
    if (!widget)
        return;
    widget->setAccessibleName(name);
    if (!description.isEmpty())
        widget->setAccessibleDescription(description);
}

void nameMainWindow() {
    name(Form1, "Button1", QString(),
         "BEGIN starts a drill; END, shown once an answer was right, ends it and shows the score");
    name(Form1, "Button4", QString(), "Play the question again (R)");
    name(Form1, "Button2", QString(), "Play the two notes one after the other, low to high (U)");
    name(Form1, "Button3", QString(), "Play the two notes one after the other, high to low (D)");
    name(Form1, "SetupListBox", "MIDI output device", "The device that plays the notes");
    name(Form1, "PitchIntMemo", "Answer in semitones",
         "Type the interval's size in semitones and press Enter");
    name(Form1, "Label3", "Semitones");
    if (!Form1 || !Form1->SetupListBox)
        return;
    // The sound notice's icon says what its text says.
    if (auto* notice = Form1->findChild<QWidget*>(QStringLiteral("SoundNotice")))
        for (QLabel* label : notice->findChildren<QLabel*>())
            if (label->objectName().isEmpty())
                label->setAccessibleName(QStringLiteral("Notice"));
    // Device 0 is the library's built-in synthesizer; the others are MIDI
    // ports of the system.
    QListWidget* list = Form1->SetupListBox;
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setData(Qt::AccessibleDescriptionRole,
                               i == 0 ? QStringLiteral("Built-in synthesizer")
                                      : QStringLiteral("MIDI output port"));
}

void nameKeyGuide() {
    if (!HelpForm)
        return;
    name(HelpForm, "HelpForm", "Key Guide", "The answer keys and the intervals they name");
    name(HelpForm, "Image1", "Key Guide: answer keys and their intervals", keyGuideText());
    for (int i = 0; i < keyguide::kKeys; ++i)
        name(HelpForm, QStringLiteral("marker%1").arg(i).toLatin1().constData(),
             QStringLiteral("Wrong answer"),
             QStringLiteral("Key %1, %2, was the wrong answer")
                 .arg(QLatin1String(keyguide::keyLegend(i)), intervalName(i + 1)));
}

void nameSettings() {
    name(SettingsForm, "Edit1", "Chords to ring", "How many chords may ring at once, 1 to 3");
    name(SettingsForm, "UpDown1", "Chords to ring");
    name(SettingsForm, "UpArrow", "More chords", "Let one more chord ring");
    name(SettingsForm, "DownArrow", "Fewer chords", "Let one chord fewer ring");

    if (!NewFilterForm)
        return;
    // Each box by the interval it stands for, not by its abbreviation.
    for (QCheckBox* box : NewFilterForm->findChildren<QCheckBox*>()) {
        box->setAccessibleName(spokenInterval(box->text()));
        const QRegularExpressionMatch ic =
            QRegularExpression(QStringLiteral("^IC \\[(\\d)\\]$")).match(box->text());
        if (ic.hasMatch()) {
            const int c = ic.captured(1).toInt();
            box->setAccessibleDescription(
                c == 0 || c == 6 ? QStringLiteral("The %1, in any octave").arg(intervalName(c))
                                 : QStringLiteral("The %1 and the %2, in any octave")
                                       .arg(intervalName(c), intervalName(12 - c)));
        }
    }
    for (const char* all : {"Button4", "Button2", "AllButton3"})
        name(NewFilterForm, all, "All", "Check every interval on this page");
    for (const char* none : {"Button3", "Button1", "NoneButton3"})
        name(NewFilterForm, none, "None", "Clear every interval on this page");
    if (auto* pages = NewFilterForm->findChild<QTabWidget*>(QStringLiteral("PageControl1")))
        pages->tabBar()->setAccessibleTabName(0, QStringLiteral("Interval classes"));
}

void nameOtherWindows() {
    name(Form2, "Form2", "Score");
    name(Form2, "Label8", "times");
    name(Form2, "Label9", "plus");
    name(Form2, "Label10", "equals");
    name(Form2, "Panel1", "High scores");
    name(Form2, "ListBox", "High scores",
         "Each line: date, correct, incorrect, percentage correct, time per interval, score");
    name(Form2, "Button2", QString(), "Show this drill's errors");
    name(ErrorReport, "RichEdit1", "Error report");
    name(ErrorReport, "Button2", QString(), "Show the errors of every drill so far");
    name(ErrorReport, "Button3", QString(), "Print the report");
    name(FilterQueryForm, "Memo1", "Question");
    name(ReadmeBox, "Memo1", "User's guide");
}

} // namespace

QString intervalName(int semitones) {
    if (semitones < 1 || semitones > 24)
        return QString();
    if (semitones == 24)
        return QStringLiteral("two octaves");
    if (semitones > 12)
        return QStringLiteral("octave plus ") + QLatin1String(kIntervalNames[semitones - 12]);
    return QLatin1String(kIntervalNames[semitones % 12]);
}

QString spokenInterval(const QString& caption) {
    const QString text = caption.trimmed();
    for (size_t k = 0; k < kAbbreviations.size(); ++k)
        if (text == QLatin1String(kAbbreviations[k]))
            return QLatin1String(kIntervalNames[k]);
    if (text == QLatin1String("2 8ves"))
        return intervalName(24);
    if (text == QLatin1String("<= 8ve"))
        return QStringLiteral("Every interval up to an octave");
    if (text == QLatin1String("> 8ve"))
        return QStringLiteral("Every interval over an octave");
    if (text.startsWith(QLatin1String("8ve + "))) {
        // The two-octave page spells the tritone above an octave "d5".
        QString upper = text.mid(6);
        if (upper == QLatin1String("d5"))
            return QStringLiteral("octave plus diminished 5th");
        const QString inner = spokenInterval(upper);
        return inner == upper ? caption : QStringLiteral("octave plus ") + inner;
    }
    const QRegularExpressionMatch ic =
        QRegularExpression(QStringLiteral("^IC \\[(\\d+)\\]$")).match(text);
    if (ic.hasMatch())
        return QStringLiteral("interval class ") + ic.captured(1);
    return caption;
}

QString spokenClock(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool minutesOk = false;
    bool secondsOk = false;
    const int minutes = parts.size() == 2 ? parts[0].toInt(&minutesOk) : 0;
    const int seconds = parts.size() == 2 ? parts[1].toInt(&secondsOk) : 0;
    if (!minutesOk || !secondsOk)
        return text;
    const auto count = [](int n, const char* unit) {
        return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(unit)).arg(n == 1 ? "" : "s");
    };
    if (minutes == 0)
        return count(seconds, "second");
    return count(minutes, "minute") + QLatin1Char(' ') + count(seconds, "second");
}

QString keyGuideText() {
    QStringList lines;
    for (int i = 0; i < keyguide::kKeys; ++i)
        lines << QStringLiteral("Key %1: %2")
                     .arg(QLatin1String(keyguide::keyLegend(i)), intervalName(i + 1));
    return lines.join(QLatin1Char('\n'));
}

namespace {

// The labels' first texts, set while the windows were made, already made
// the toolkit create and keep their plain interfaces; those go, so that the
// next query asks the factory.
void useCaptionedInterfaces() {
    for (const CaptionedValue& value : kCaptionedValues) {
        QWidget* window = nullptr;
        for (QWidget* w : std::initializer_list<QWidget*>{Form1, Form2})
            if (w && w->objectName() == QLatin1String(value.window))
                window = w;
        auto* label = window ? window->findChild<QLabel*>(QLatin1String(value.control)) : nullptr;
        if (!label)
            continue;
        QAccessibleInterface* current = QAccessible::queryAccessibleInterface(label);
        if (current && !dynamic_cast<CaptionedLabelInterface*>(current))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
    }
}

} // namespace

void nameControls() {
    static const bool installed = [] {
        QAccessible::installFactory(captionedLabels);
        return true;
    }();
    (void)installed;
    useCaptionedInterfaces();
    nameMainWindow();
    nameKeyGuide();
    nameSettings();
    nameOtherWindows();
}

} // namespace accessibility
