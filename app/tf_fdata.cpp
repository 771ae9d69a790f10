#include "tf_fdata.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <iterator>
#include <qcustomplot.h>

#include "chart_widget.h"

TFr_Data::TFr_Data(AppContext ctx, QWidget* parent) : TFr_ParentFrame(parent), controller_(ctx) {
    setObjectName("Fr_Data1");
    auto* v = new QVBoxLayout(this);
    iPlot1 = new ChartWidget(ChartWidget::Kind::Line, this);
    iPlot1->setLegendVisible(true);
    iPlot1->setButtonVisible(ChartWidget::Button::Resume, false);
    iPlot1->setButtonVisible(ChartWidget::Button::Select, false);
    iPlot1->setButtonVisible(ChartWidget::Button::Cursor, false);
    iPlot1->setAxisLabel(ChartWidget::Axis::X, "Wavelength (nm)");
    iPlot1->setAxisLabel(ChartWidget::Axis::Y, "1/m");
    iPlot1->setMinimumHeight(200);
    v->addWidget(iPlot1, 2);

    auto* bottom = new QHBoxLayout;
    SG_List = new QTableWidget(1, 3, this);
    SG_List->setHorizontalHeaderLabels({"Spectra Shown:", "Time:", "Depth:"});
    SG_List->verticalHeader()->hide();
    SG_List->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    SG_List->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    SG_List->setSelectionBehavior(QAbstractItemView::SelectRows);
    SG_List->setSelectionMode(QAbstractItemView::ContiguousSelection);
    SG_List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SG_List->verticalHeader()->setDefaultSectionSize(SG_List->fontMetrics().height() + 4);
    bottom->addWidget(SG_List, 3);

    auto* buttons = new QVBoxLayout;
    B_RemoveSelected = new QPushButton("Remove Selected Data", this);
    B_SaveSelected = new QPushButton("Save Selected Range", this);
    B_RemoveAll = new QPushButton("Remove All", this);
    B_SaveWater = new QPushButton("Save As Water File", this);
    B_SaveDev = new QPushButton("Save As Dev File", this);
    for (QPushButton* b : {B_RemoveSelected, B_SaveSelected, B_RemoveAll, B_SaveWater, B_SaveDev})
        buttons->addWidget(b);
    auto* note = new QLabel("Note:  When you save data, both a and c channels are saved.", this);
    note->setWordWrap(true);
    buttons->addWidget(note);
    buttons->addStretch();
    bottom->addLayout(buttons, 1);
    v->addLayout(bottom, 1);

    connect(B_RemoveSelected, &QPushButton::clicked, this,
            [this] { command([this](int t, int b) { controller_.B_RemoveSelectedClick(t, b); }); });
    connect(B_RemoveAll, &QPushButton::clicked, this,
            [this] { command([this](int, int) { controller_.B_RemoveAllClick(); }); });
    connect(B_SaveSelected, &QPushButton::clicked, this,
            [this] { command([this](int t, int b) { controller_.B_SaveSelectedClick(t, b); }); });
    connect(B_SaveWater, &QPushButton::clicked, this,
            [this] { command([this](int t, int b) { controller_.B_SaveWaterClick(t, b); }); });
    connect(B_SaveDev, &QPushButton::clicked, this,
            [this] { command([this](int t, int b) { controller_.B_SaveDevClick(t, b); }); });
    show();
}

void TFr_Data::command(const std::function<void(int, int)>& f) {
    int top = 0, bottom = 0;
    blockSelection(top, bottom);
    auto job = [this, f, top, bottom] {
        f(top, bottom);
        show();
    };
    if (run_command)
        run_command(job);
    else
        job();
}

void TFr_Data::blockSelection(int& top, int& bottom) const {
    const auto ranges = SG_List->selectedRanges();
    if (ranges.isEmpty()) {
        top = bottom = std::max(0, SG_List->currentRow());
        return;
    }
    top = ranges.first().topRow();
    bottom = ranges.first().bottomRow();
}

void TFr_Data::AttachData(HYP_Data* data) {
    controller_.AttachData(data);
    show();
}

void TFr_Data::Refresh() {
    try {
        controller_.Refresh();
    } catch (...) {
        show();
        throw;
    }
    show();
}

void TFr_Data::AddRecord(int index) {
    controller_.AddRecord(index);
    show();
}

void TFr_Data::AddRange(int first, int end) {
    controller_.AddRange(first, end);
    show();
}

void TFr_Data::show() {
    const auto& rows = controller_.rows;
    SG_List->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < 3; ++c) {
            auto* item = SG_List->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                SG_List->setItem(r, c, item);
            }
            item->setText(QString::fromStdString(rows[r].cells[c]));
        }
    B_SaveSelected->setEnabled(controller_.save_buttons_enabled);
    B_SaveWater->setEnabled(controller_.save_buttons_enabled);
    B_SaveDev->setEnabled(controller_.save_buttons_enabled);

    iPlot1->clearAllChannels();
    // Curve i is always channel i: a in red and c in blue as in the other views, the entries
    // after the first in further shades of the same two colours.
    static const QColor kReds[] = {QColor(214, 39, 40), QColor(255, 127, 14), QColor(140, 20, 60),
                                   QColor(227, 119, 194)};
    static const QColor kBlues[] = {QColor(31, 119, 180), QColor(23, 190, 207), QColor(20, 40, 120),
                                    QColor(148, 103, 189)};
    const auto& curves = controller_.curves;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const auto& c = curves[i];
        int ch = static_cast<int>(i);
        if (ch >= iPlot1->channelCount())
            ch = iPlot1->addChannel(QString(), i % 2 == 0 ? kReds[(i / 2) % std::size(kReds)]
                                                          : kBlues[(i / 2) % std::size(kBlues)]);
        iPlot1->setChannelName(ch, QString::fromStdString(c.title));
        iPlot1->setChannelVisible(ch, true);
        iPlot1->setPoints(ch, c.x, c.y);
        if (QCPGraph* g = ch < iPlot1->plot()->graphCount() ? iPlot1->plot()->graph(ch) : nullptr) {
            if (c.in_legend)
                g->addToLegend();
            else
                g->removeFromLegend();
        }
    }
    for (int ch = static_cast<int>(curves.size()); ch < iPlot1->channelCount(); ++ch)
        iPlot1->setChannelVisible(ch, false);
    if (!curves.empty())
        iPlot1->fitAll();
    iPlot1->replot();
}

TF_FData::TF_FData(AppContext ctx, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_FData");
    setWindowTitle("Selected Data");
    resize(769, 537);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    Fr_Data1 = new TFr_Data(ctx, this);
    v->addWidget(Fr_Data1);
}
