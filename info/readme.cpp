#include "info/readme.h"

#include "core/atomicfile.h"
#include "core/buttonkeys.h"
#include "core/designunits.h"
#include "core/exception.h"
#include "core/windowframe.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

TReadmeBox* ReadmeBox = nullptr;

namespace {

const char* const kReadmeFile = "readme.txt";

// The file's lines, split at CR LF, LF or a lone CR alike.
QString readLines(const char* fileName) {
    // Guarded: a pipe under this name would block start-up, a link to a
    // device would read without end.
    const FileContents file = readFileGuarded(fileName);
    if (!file.read())
        throw Exception(std::string("Cannot open file ") + fileName);
    QString text = QString::fromUtf8(file.data.data(), static_cast<qsizetype>(file.data.size()));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A final line break ends the last line; it does not start a new one.
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

} // namespace

QString TReadmeBox::readText() {
    return readLines(kReadmeFile);
}

TReadmeBox::TReadmeBox(QWidget* parent) : TReadmeBox(readText(), parent) {}

TReadmeBox::TReadmeBox(const QString& text, QWidget* parent) : QDialog(parent) {
    setObjectName("ReadmeBox");
    setWindowTitle("readme.txt");
    setFont(design::sansFont(14));
    move(design::px(228), design::px(135));
    frame::setOuterSize(this, QSize(design::px(621), design::px(482)));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    design::place(Memo1, 7, 1, 599, 404);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The file lines up its tables with spaces.
    Memo1->setFont(design::fixedFont(14));

    Button1 = new QPushButton("Close", this);
    Button1->setObjectName("Button1");
    design::place(Button1, 545, 411, 61, 31);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { done(1); });

    setTabOrder(Memo1, Button1);
    buttonkeys::pressFocusedButtonOnEnter(this);

    Memo1->setPlainText(text);
}

void TReadmeBox::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TReadmeBox::FormShow() {
    frame::setOuterSize(this,
                        QSize(Button1->x() + design::px(76), Memo1->height() + design::px(86)));
}
