#include "errors/filterquery.h"

#include "core/buttonkeys.h"
#include "core/designunits.h"

#include <QPlainTextEdit>
#include <QPushButton>

TFilterQueryForm* FilterQueryForm = nullptr;

TFilterQueryForm::TFilterQueryForm(QWidget* parent) : QDialog(parent) {
    setObjectName("FilterQueryForm");
    setWindowTitle("Cumulative Error Report");
    // The one dialog drawn at 96 ppi: 11 design pixels there.
    setFont(design::sansFont(design::px96(11)));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    move(design::px96(273), design::px96(177));
    setFixedSize(design::px96(334), design::px96(185));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    design::place96(Memo1, 26, 17, 282, 89);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Reads as the dialog's own text, not as an input box.
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, palette().color(QPalette::Button));
    Memo1->setPalette(memoPalette);
    Memo1->setPlainText("TONYX saves the results of each session in a cumulative \n"
                        "error report.  Do you want to include this session, even \n"
                        "though you used filters?  (I recommend \"No.\")\n"
                        "\n"
                        "(note: you can always clear the cumulative report by \n"
                        "deleting the file \"errors.dat\")");

    Button1 = new QPushButton("&Yes", this);
    Button1->setObjectName("Button1");
    design::place96(Button1, 76, 131, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { done(kYes); });

    Button2 = new QPushButton("&No", this);
    Button2->setObjectName("Button2");
    design::place96(Button2, 183, 131, 75, 25);
    connect(Button2, &QPushButton::clicked, this, [this] { done(kNo); });
    // Enter answers No even before the first paint has moved the focus.
    Button2->setDefault(true);

    setTabOrder(Memo1, Button1);
    setTabOrder(Button1, Button2);
    buttonkeys::pressFocusedButtonOnEnter(this);
}

void TFilterQueryForm::FormPaint() {
    Button2->setFocus(Qt::OtherFocusReason);
}

void TFilterQueryForm::reject() {
    // Escape or the close box: not including a filtered drill is the safe answer.
    done(kNo);
}

void TFilterQueryForm::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    FormPaint();
}
