#include "settings/Tonyxsettings.h"

#include "app/drillstate.h"
#include "core/buttonkeys.h"
#include "core/designunits.h"
#include "core/windowframe.h"
#include "settings/updown.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TSettingsForm* SettingsForm = nullptr;

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
    return label;
}
} // namespace

TSettingsForm::TSettingsForm(DrillState& drill, QWidget* parent) : QDialog(parent), drill_(drill) {
    setObjectName("SettingsForm");
    setWindowTitle("Settings");
    setFont(design::sansFont(14));
    resize(design::px(220), design::px(220));

    StaticText1 = makeLabel(this, "StaticText1", "Sustain", true);
    design::place(StaticText1, 16, 12, 150, 20);
    StaticText2 = makeLabel(this, "StaticText2", "Allow", false);
    design::place(StaticText2, 16, 44, 42, 20);

    Edit1 = new QLineEdit("2", this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    // The arrows change n; the box only shows it.
    Edit1->setFocusPolicy(Qt::NoFocus);
    Edit1->setAlignment(Qt::AlignCenter);
    design::place(Edit1, 60, 41, 28, 26);

    UpDown1 = new UpDown(this);
    UpDown1->setObjectName("UpDown1");
    UpDown1->setRange(1, 3);
    UpDown1->setPosition(2);
    design::place(UpDown1, 88, 41, 18, 26);

    StaticText3 = makeLabel(this, "StaticText3", "chords to ring", false);
    design::place(StaticText3, 112, 44, 100, 20);
    StaticText4 = makeLabel(this, "StaticText4", "Melody Tones", true);
    design::place(StaticText4, 16, 84, 150, 20);

    CheckBox1 = new QCheckBox("Dampen First Tone", this);
    CheckBox1->setObjectName("CheckBox1");
    design::place(CheckBox1, 16, 110, 196, 24);
    CheckBox2 = new QCheckBox("Dampen Second Tone", this);
    CheckBox2->setObjectName("CheckBox2");
    design::place(CheckBox2, 16, 136, 196, 24);

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    design::place(OKButton, 130, 174, 75, 28);

    connect(UpDown1, &UpDown::clicked, this, &TSettingsForm::UpDown1Click);
    // toggled, not clicked: the coupling below checks CheckBox1 from code,
    // and the drill state must follow that too.
    connect(CheckBox1, &QCheckBox::toggled, this, &TSettingsForm::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TSettingsForm::CheckBox2Click);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(1); });
    buttonkeys::pressFocusedButtonOnEnter(this);
}

void TSettingsForm::UpDown1Click() {
    const int n = UpDown1->position();
    Edit1->setText(QString::number(n));
    drill_.sustain = n - 1;
}

void TSettingsForm::CheckBox1Click() {
    drill_.dampenFirst = CheckBox1->isChecked();
}

void TSettingsForm::CheckBox2Click() {
    // Cutting the second tone short only makes sense with the first cut too;
    // unchecking the second leaves the first as the user set it.
    if (CheckBox2->isChecked()) {
        CheckBox1->setChecked(true);
        drill_.dampenFirst = CheckBox1->isChecked();
    }
    drill_.dampenSecond = CheckBox2->isChecked();
}

void TSettingsForm::FormShow() {
    const QRect ok = OKButton->geometry();
    frame::setFixedOuterSize(this, QSize(ok.left() + design::px(100), ok.top() + design::px(80)));
}

void TSettingsForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}
