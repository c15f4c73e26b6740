#include "stats/progresswindow.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace stats {

namespace {

// Two hues apart for every kind of colour vision (blue and orange).
const QColor kScoreColor{0x1f, 0x77, 0xb4};
const QColor kShareColor{0xe6, 0x7e, 0x22};

QString percent(double share) {
    return QString::number(std::lround(100.0 * share)) + "%";
}

// A round top for an axis that starts at 0.
double niceTop(double highest) {
    if (highest <= 0)
        return 10;
    const double step = std::pow(10.0, std::floor(std::log10(highest)));
    return std::ceil(highest / step * 2) * step / 2;
}

// The summary over the chart grows with the picture, as the chart does.
int summaryPixels(const QRect& area) {
    return std::max(14, area.width() / 70);
}

} // namespace

QString summaryText(const ProgressSummary& s) {
    if (s.drills == 0)
        return "No drills yet.";
    QString text = QString("Best score %1  ·  Last %2 (%3 right)")
                       .arg(*s.bestScore)
                       .arg(*s.lastScore)
                       .arg(percent(*s.lastRightShare));
    if (s.weekDrills > 0)
        text += QString("  ·  Last 7 days: %1 on average, %2 right, %3 %4")
                    .arg(std::lround(*s.weekScore))
                    .arg(percent(*s.weekRightShare))
                    .arg(s.weekDrills)
                    .arg(s.weekDrills == 1 ? "drill" : "drills");
    else
        text += "  ·  No drills in the last 7 days";
    return text;
}

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("ProgressWindow");
    setWindowTitle("Progress");
    now_ = [] { return QDateTime::currentSecsSinceEpoch(); };

    auto* groupings = new QHBoxLayout;
    groupings->addWidget(new QLabel("Show:", this));
    ByDrillButton = new QRadioButton("each &drill", this);
    ByDrillButton->setObjectName("ByDrillButton");
    ByDayButton = new QRadioButton("each d&ay", this);
    ByDayButton->setObjectName("ByDayButton");
    auto* group = new QButtonGroup(this);
    group->addButton(ByDrillButton, static_cast<int>(ProgressGrouping::ByDrill));
    group->addButton(ByDayButton, static_cast<int>(ProgressGrouping::ByDay));
    ByDrillButton->setChecked(true);
    groupings->addWidget(ByDrillButton);
    groupings->addWidget(ByDayButton);
    groupings->addStretch();
    connect(group, &QButtonGroup::idClicked, this,
            [this](int id) { setGrouping(static_cast<ProgressGrouping>(id)); });

    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName("SummaryLabel");
    SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName("NoteLabel");
    NoteLabel->setWordWrap(true);
    NoteLabel->hide();

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    scoreSeries_ = new QLineSeries(chart_);
    scoreSeries_->setName("score");
    scoreSeries_->setPen(QPen(kScoreColor, 2));
    shareSeries_ = new QLineSeries(chart_);
    shareSeries_->setName("right answers (%)");
    shareSeries_->setPen(QPen(kShareColor, 2, Qt::DashLine));
    chart_->addSeries(scoreSeries_);
    chart_->addSeries(shareSeries_);

    drillAxis_ = new QValueAxis(chart_);
    drillAxis_->setTitleText("drill");
    drillAxis_->setLabelFormat("%d");
    dayAxis_ = new QDateTimeAxis(chart_);
    dayAxis_->setTitleText("day");
    dayAxis_->setFormat("yyyy-MM-dd");
    scoreAxis_ = new QValueAxis(chart_);
    scoreAxis_->setTitleText("score");
    scoreAxis_->setLabelFormat("%d");
    scoreAxis_->setLabelsColor(kScoreColor);
    shareAxis_ = new QValueAxis(chart_);
    shareAxis_->setTitleText("right answers (%)");
    shareAxis_->setRange(0, 100);
    shareAxis_->setLabelFormat("%d");
    shareAxis_->setLabelsColor(kShareColor);
    chart_->addAxis(scoreAxis_, Qt::AlignLeft);
    chart_->addAxis(shareAxis_, Qt::AlignRight);
    scoreSeries_->attachAxis(scoreAxis_);
    shareSeries_->attachAxis(shareAxis_);

    ChartView = new QChartView(chart_, this);
    ChartView->setObjectName("ChartView");
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setMinimumSize(480, 300);
    ChartView->setAccessibleName("Progress chart");

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
    layout->addLayout(groupings);
    layout->addWidget(SummaryLabel);
    layout->addWidget(NoteLabel);
    layout->addWidget(ChartView, 1);
    layout->addLayout(buttons);
    resize(820, 520);
}

void ProgressWindow::refresh() {
    log_ = readDrillLog(logPath_);
    SummaryLabel->setText(summaryText(summarize(log_.drills, now_())));
    QString note;
    if (log_.drills.empty())
        note = "No finished drill has been recorded yet in \"drills.csv\". Each drill you end is "
               "added to it.";
    if (log_.skippedLines > 0)
        note += QString(note.isEmpty() ? "" : " ") +
                QString("%1 damaged %2 of \"drills.csv\" %3 left out.")
                    .arg(log_.skippedLines)
                    .arg(log_.skippedLines == 1 ? "line" : "lines")
                    .arg(log_.skippedLines == 1 ? "was" : "were");
    NoteLabel->setText(note);
    NoteLabel->setVisible(!note.isEmpty());
    plot();
}

void ProgressWindow::setGrouping(ProgressGrouping grouping) {
    grouping_ = grouping;
    (grouping == ProgressGrouping::ByDrill ? ByDrillButton : ByDayButton)->setChecked(true);
    plot();
}

void ProgressWindow::plot() {
    const std::vector<ProgressPoint> points =
        thinned(progressPoints(log_.drills, grouping_), kMostPoints);
    const bool byDrill = grouping_ == ProgressGrouping::ByDrill;
    QList<QPointF> scores, shares;
    scores.reserve(static_cast<qsizetype>(points.size()));
    shares.reserve(static_cast<qsizetype>(points.size()));
    double highest = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        // By day the x axis is time: the local midnight of the day.
        const double x =
            byDrill ? points[i].position : static_cast<double>(points[i].utcSeconds) * 1000.0;
        scores.append({x, points[i].score});
        shares.append({x, 100.0 * points[i].rightShare});
        highest = std::max(highest, points[i].score);
    }

    QAbstractAxis* wanted = byDrill ? static_cast<QAbstractAxis*>(drillAxis_) : dayAxis_;
    QAbstractAxis* unwanted = byDrill ? static_cast<QAbstractAxis*>(dayAxis_) : drillAxis_;
    if (chart_->axes(Qt::Horizontal).contains(unwanted)) {
        scoreSeries_->detachAxis(unwanted);
        shareSeries_->detachAxis(unwanted);
        chart_->removeAxis(unwanted);
        // The chart lets go of an axis it no longer shows; the window keeps it.
        unwanted->setParent(this);
    }
    if (!chart_->axes(Qt::Horizontal).contains(wanted)) {
        chart_->addAxis(wanted, Qt::AlignBottom);
        scoreSeries_->attachAxis(wanted);
        shareSeries_->attachAxis(wanted);
    }
    scoreSeries_->replace(scores);
    shareSeries_->replace(shares);
    scoreAxis_->setRange(0, niceTop(highest));
    scoreAxis_->applyNiceNumbers();
    if (byDrill) {
        const double last = std::max<double>(2, static_cast<double>(log_.drills.size()));
        drillAxis_->setRange(1, last);
        drillAxis_->setTickCount(std::min<int>(11, static_cast<int>(last)));
    } else if (!points.empty()) {
        const qint64 day = 86400000;
        const qint64 first = points.front().utcSeconds * 1000;
        const qint64 last = points.back().utcSeconds * 1000;
        dayAxis_->setRange(QDateTime::fromMSecsSinceEpoch(first - day / 2),
                           QDateTime::fromMSecsSinceEpoch(std::max(last, first + day) + day / 2));
        dayAxis_->setTickCount(std::clamp<int>(static_cast<int>(points.size()), 2, 8));
    }
}

void ProgressWindow::paintChart(QPainter& painter, const QRect& area) const {
    QFont font = painter.font();
    font.setPixelSize(summaryPixels(area));
    painter.setFont(font);
    const int line = painter.fontMetrics().height();
    painter.setPen(Qt::black);
    painter.drawText(QRect(area.left(), area.top(), area.width(), line), Qt::AlignLeft,
                     SummaryLabel->text());
    const ChartPlacement place =
        chartPlacement(area.adjusted(0, line + 8, 0, 0), ChartView->viewport()->size());
    painter.save();
    painter.translate(place.origin);
    painter.scale(place.scale, place.scale);
    const QRect view = ChartView->viewport()->rect();
    ChartView->render(&painter, QRectF(view), view);
    painter.restore();
}

ChartPlacement chartPlacement(const QRect& area, QSize view) {
    // The chart keeps its shape, centred in the space under the summary.
    const double scale = std::min(static_cast<double>(area.width()) / std::max(1, view.width()),
                                  static_cast<double>(area.height()) / std::max(1, view.height()));
    const QPointF origin(area.left() + (area.width() - view.width() * scale) / 2,
                         area.top() + (area.height() - view.height() * scale) / 2);
    return {origin, scale};
}

ChartPlacement ProgressWindow::pngPlacement() const {
    const QRect area = QRect(QPoint(0, 0), kPngSize).adjusted(16, 16, -16, -16);
    QFont font;
    font.setPixelSize(summaryPixels(area));
    const int line = QFontMetrics(font).height();
    return chartPlacement(area.adjusted(0, line + 8, 0, 0), ChartView->viewport()->size());
}

bool ProgressWindow::saveAsPdf(const QString& path) const {
    return writePdf(path, "Progress",
                    [this](QPainter& painter, const QRect& area) { paintChart(painter, area); });
}

bool ProgressWindow::saveAsPng(const QString& path) const {
    return writePng(path, kPngSize, [this](QPainter& painter, const QRect& area) {
        paintChart(painter, area.adjusted(16, 16, -16, -16));
    });
}

void ProgressWindow::SavePdfButtonClick() {
    const QString path =
        choosePath_(this, "Save the Progress chart as PDF", "progress.pdf", kPdfFilter);
    if (!path.isEmpty() && !saveAsPdf(path))
        showSaveFailed(this, path);
}

void ProgressWindow::SavePngButtonClick() {
    const QString path =
        choosePath_(this, "Save the Progress chart as PNG", "progress.png", kPngFilter);
    if (!path.isEmpty() && !saveAsPng(path))
        showSaveFailed(this, path);
}

} // namespace stats
