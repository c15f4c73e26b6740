#include "settings/Tonyxfilter2.h"

#include "app/drillstate.h"
#include "core/buttonkeys.h"
#include "core/designunits.h"
#include "core/windowframe.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>

TNewFilterForm* NewFilterForm = nullptr;

namespace {

constexpr int kRowHeight = 26;
constexpr int kButtonTop = 360;

const char* const kSizeNames[12] = {"8ve",   "m2", "M2", "m3", "M3", "P4",
                                    "+4/d5", "P5", "m6", "M6", "m7", "M7"};
const char* const kUpperNames[12] = {"8ve + m2", "8ve + M2", "8ve + m3", "8ve + M3",
                                     "8ve + P4", "8ve + d5", "8ve + P5", "8ve + m6",
                                     "8ve + M6", "8ve + m7", "8ve + M7", "2 8ves"};

QPushButton* makeButton(QWidget* page, const char* name, const char* caption, int left) {
    auto* button = new QPushButton(caption, page);
    button->setObjectName(name);
    design::place(button, left, kButtonTop, 75, 28);
    return button;
}
} // namespace

TNewFilterForm::TNewFilterForm(DrillState& drill, QWidget* parent)
    : QDialog(parent), drill_(drill) {
    setObjectName("NewFilterForm");
    setWindowTitle("Filters");
    setFont(design::sansFont(14));
    resize(design::px(384), design::px(494));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    design::place(PageControl1, 22, 12, 340, 430);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName("TabSheet2");
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName("TabSheet3");
    PageControl1->addTab(TabSheet1, QString());
    // The classes' tab shows no text; say what it holds on hover.
    PageControl1->setTabToolTip(0, "Interval classes");
    PageControl1->addTab(TabSheet2, "Intervals within an 8ve");
    PageControl1->addTab(TabSheet3, "two octaves");

    buildClassPage();
    buildOctavePage();
    buildTwoOctavePage();

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    design::place(OKButton, 154, 454, 75, 28);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(1); });

    // The boxes show the rules' state; a change either way runs the rules
    // once (setting a box to the state it has does nothing).
    rules_.onChange = [this](int number, bool state) { boxes_[number]->setChecked(state); };
    for (int number = 1; number <= FilterRules::kBoxCount; ++number) {
        QCheckBox* check = boxes_[number];
        check->setChecked(rules_.checked(number));
        connect(check, &QCheckBox::toggled, this,
                [this, number](bool state) { rules_.setChecked(number, state); });
    }

    PageControl1->setCurrentIndex(1);
    rules_.setActivePage(PageControl1->currentIndex());
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int page) { rules_.setActivePage(page); });
    buttonkeys::pressFocusedButtonOnEnter(this);
}

QCheckBox* TNewFilterForm::box(int number) const {
    return number >= 1 && number <= FilterRules::kBoxCount ? boxes_[number] : nullptr;
}

QCheckBox* TNewFilterForm::makeBox(QWidget* page, int number, const QString& caption, int left,
                                   int top) {
    auto* check = new QCheckBox(caption, page);
    check->setObjectName(QString("CheckBox%1").arg(number));
    design::place(check, left, top, 140, 24);
    boxes_[number] = check;
    return check;
}

void TNewFilterForm::buildClassPage() {
    for (int c = 0; c < 7; ++c)
        ICBoxes[c] =
            makeBox(TabSheet1, FilterRules::icBox(c), QString("IC [%1]").arg(c), 24, 16 + c * 34);
    Button4 = makeButton(TabSheet1, "Button4", "ALL", 24);
    Button3 = makeButton(TabSheet1, "Button3", "NONE", 112);
    connect(Button4, &QPushButton::clicked, this, &TNewFilterForm::AllClick);
    connect(Button3, &QPushButton::clicked, this, &TNewFilterForm::NoneClick);
}

void TNewFilterForm::buildOctavePage() {
    // The octave goes last, as on the two-octave page.
    for (int k = 0; k < 12; ++k)
        Mod12Boxes[k] = makeBox(TabSheet2, FilterRules::mod12Box(k), kSizeNames[k], 24,
                                16 + (k + 11) % 12 * kRowHeight);
    Button2 = makeButton(TabSheet2, "Button2", "ALL", 24);
    Button1 = makeButton(TabSheet2, "Button1", "NONE", 112);
    connect(Button2, &QPushButton::clicked, this, &TNewFilterForm::AllClick);
    connect(Button1, &QPushButton::clicked, this, &TNewFilterForm::NoneClick);
}

void TNewFilterForm::buildTwoOctavePage() {
    CheckBox20 = makeBox(TabSheet3, FilterRules::kLowerGroupBox, "<= 8ve", 24, 12);
    CheckBox21 = makeBox(TabSheet3, FilterRules::kUpperGroupBox, " > 8ve", 176, 12);
    for (int k = 0; k < 24; ++k) {
        const bool upper = k >= 12;
        const QString caption = upper ? kUpperNames[k - 12] : kSizeNames[(k + 1) % 12];
        PIBoxes[k] = makeBox(TabSheet3, FilterRules::piBox(k), caption, upper ? 176 : 24,
                             44 + (k % 12) * kRowHeight);
    }
    AllButton3 = makeButton(TabSheet3, "AllButton3", "ALL", 24);
    NoneButton3 = makeButton(TabSheet3, "NoneButton3", "NONE", 112);
    connect(AllButton3, &QPushButton::clicked, this, &TNewFilterForm::AllClick);
    connect(NoneButton3, &QPushButton::clicked, this, &TNewFilterForm::NoneClick);
}

void TNewFilterForm::AllClick() {
    rules_.AllClick();
}

void TNewFilterForm::NoneClick() {
    rules_.NoneClick();
}

void TNewFilterForm::FormClose() {
    rules_.writeAllowed(drill_.allowed);
}

void TNewFilterForm::FormShow() {
    frame::setFixedOuterSize(this, QSize(PageControl1->width() + design::px(60),
                                         OKButton->geometry().top() + design::px(80)));
}

void TNewFilterForm::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TNewFilterForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}
