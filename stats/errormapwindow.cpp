#include "stats/errormapwindow.h"

#include "errors/errorfile.h"
#include "stats/errormapview.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace stats {

ErrorMapWindow::ErrorMapWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("ErrorMapWindow");
    setWindowTitle("Error Map");

    auto* scales = new QHBoxLayout;
    scales->addWidget(new QLabel("Answers as:", this));
    Mod12Button = new QRadioButton("&mod 12 intervals", this);
    Mod12Button->setObjectName("Mod12Button");
    PitchButton = new QRadioButton("&pitch intervals (two octaves)", this);
    PitchButton->setObjectName("PitchButton");
    ClassButton = new QRadioButton("interval &classes", this);
    ClassButton->setObjectName("ClassButton");
    auto* group = new QButtonGroup(this);
    group->addButton(Mod12Button, static_cast<int>(MapScale::Mod12));
    group->addButton(PitchButton, static_cast<int>(MapScale::Pitch));
    group->addButton(ClassButton, static_cast<int>(MapScale::IntervalClass));
    Mod12Button->setChecked(true);
    for (QRadioButton* b : {Mod12Button, PitchButton, ClassButton})
        scales->addWidget(b);
    scales->addStretch();
    connect(group, &QButtonGroup::idClicked, this,
            [this](int id) { setScale(static_cast<MapScale>(id)); });

    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName("NoteLabel");
    NoteLabel->setWordWrap(true);
    NoteLabel->hide();

    MapView = new ErrorMapView(this);
    MapView->setAccessibleDescription(
        "Rows are the intervals played, columns the answers given. Arrow keys move between cells.");
    CellLabel = new QLabel(this);
    CellLabel->setObjectName("CellLabel");
    CellLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(MapView, &ErrorMapView::cellPointed, CellLabel, &QLabel::setText);

    SavePdfButton = new QPushButton("Save as P&DF...", this);
    SavePdfButton->setObjectName("SavePdfButton");
    SavePngButton = new QPushButton("Save as P&NG...", this);
    SavePngButton->setObjectName("SavePngButton");
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    for (QPushButton* b : {SavePdfButton, SavePngButton, CloseButton})
        b->setAutoDefault(false);
    connect(SavePdfButton, &QPushButton::clicked, this, [this] { SavePdfButtonClick(); });
    connect(SavePngButton, &QPushButton::clicked, this, [this] { SavePngButtonClick(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SavePdfButton);
    buttons->addWidget(SavePngButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(scales);
    layout->addWidget(NoteLabel);
    layout->addWidget(MapView, 1);
    layout->addWidget(CellLabel);
    layout->addLayout(buttons);
    setFocusProxy(MapView);
}

const ErrorMap& ErrorMapWindow::map() const {
    return MapView->map();
}

void ErrorMapWindow::refresh() {
    read_ = errors::readErrorFile(errorFilePath_, tallies_);
    showTallies();
}

void ErrorMapWindow::showTallies() {
    MapView->setMap(ErrorMap::fromTallies(tallies_, scale_));
    QString note;
    if (read_ == errors::ErrorFileRead::Missing)
        note = "No drill has been recorded yet: \"errors.dat\" is not in the data folder. The map "
               "fills in as you finish drills.";
    else if (read_ == errors::ErrorFileRead::Unreadable)
        note = "\"errors.dat\" could not be read, so the map is empty.";
    else if (read_ == errors::ErrorFileRead::Damaged)
        note = "Part of \"errors.dat\" is damaged: the map leaves out the numbers that could not "
               "be read.";
    else if (map().empty())
        note = QString("\"errors.dat\" holds no answers given as %1 yet. The map fills in as you "
                       "finish drills in that identify mode.")
                   .arg(scale_ == MapScale::Mod12   ? "mod 12 intervals"
                        : scale_ == MapScale::Pitch ? "pitch intervals"
                                                    : "interval classes");
    NoteLabel->setText(note);
    NoteLabel->setVisible(!note.isEmpty());
}

void ErrorMapWindow::setScale(MapScale scale) {
    scale_ = scale;
    QRadioButton* button = scale == MapScale::Mod12   ? Mod12Button
                           : scale == MapScale::Pitch ? PitchButton
                                                      : ClassButton;
    button->setChecked(true);
    showTallies();
}

bool ErrorMapWindow::saveAsPdf(const QString& path) const {
    const ErrorMap& m = map();
    return writePdf(path, QString("Error Map: answers as %1").arg(scaleName(m.scale())),
                    [&m](QPainter& painter, const QRect& area) { paintMap(painter, area, m); });
}

bool ErrorMapWindow::saveAsPng(const QString& path) const {
    const ErrorMap& m = map();
    return writePng(path, kPngSize,
                    [&m](QPainter& painter, const QRect& area) { paintMap(painter, area, m); });
}

void ErrorMapWindow::SavePdfButtonClick() {
    const QString path =
        choosePath_(this, "Save the Error Map as PDF", "error-map.pdf", kPdfFilter);
    if (!path.isEmpty() && !saveAsPdf(path))
        showSaveFailed(this, path);
}

void ErrorMapWindow::SavePngButtonClick() {
    const QString path =
        choosePath_(this, "Save the Error Map as PNG", "error-map.png", kPngFilter);
    if (!path.isEmpty() && !saveAsPng(path))
        showSaveFailed(this, path);
}

} // namespace stats
