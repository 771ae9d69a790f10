#include "tf_time_shift.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "chart_widget.h"
#include "hyp_data.h"
#include "nearest_index.h"
#include "text.h"
#include "tfr_parent_frame.h"

namespace {
enum Source { AcData = 0, CtdData = 1 };
enum Variable { Temperature = 0, Salinity = 1, Depth = 2 };

double fieldValue(const QLineEdit* edit, double fallback) {
    const std::string s = edit->text().trimmed().toStdString();
    std::size_t used = 0;
    const double v = text::parse_typed_number(s, &used);
    return used > 0 && std::isfinite(v) ? v : fallback;
}
} // namespace

TF_TimeShift::TF_TimeShift(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_TimeShift");
    setWindowTitle("F_TimeShift");
    resize(1121, 751);

    auto makeSet = [this](const QString& title, QComboBox*& source, QComboBox*& variable,
                          QComboBox*& channel, QLineEdit*& wl, QSpinBox*& updown,
                          QVBoxLayout* column) {
        auto* label = new QLabel(title, this);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        column->addWidget(label);
        source = new QComboBox(this);
        source->addItems({"ac data", "CTD data"});
        variable = new QComboBox(this);
        variable->addItems({"Temperature", "Salinity", "Depth"});
        channel = new QComboBox(this);
        channel->addItems({"a", "c"});
        wl = new QLineEdit("0", this);
        wl->setToolTip("Wavelength (nm) of the ac channel; 0 plots the data file's own "
                       "temperature (Temperature) or pressure (Depth)");
        updown = new QSpinBox(this);
        updown->setRange(-1000000, 1000000);
        updown->setFixedWidth(20);
        updown->setToolTip("Next or previous channel wavelength");
        column->addWidget(source);
        column->addWidget(variable);
        column->addWidget(channel);
        auto* row = new QHBoxLayout;
        row->setSpacing(0);
        row->addWidget(new QLabel("Wavelength:", this));
        row->addWidget(wl, 1);
        row->addWidget(updown);
        column->addLayout(row);
        column->addSpacing(12);
    };

    auto* left = new QVBoxLayout;
    makeSet("First Data Set", PD_Source1, PD_Variable1, PD_Channel1, E1_wl, UD1_wl, left);
    makeSet("Second Data Set", PD_Source2, PD_Variable2, PD_Channel2, E2_wl, UD2_wl, left);
    PD_Source1->setCurrentIndex(AcData);
    PD_Source2->setCurrentIndex(CtdData);
    CB_Points = new QCheckBox("Use points instead of lines", this);
    CB_Invert = new QCheckBox("Invert Var 2", this);
    left->addWidget(CB_Points);
    left->addWidget(CB_Invert);
    left->addSpacing(12);
    L_Status = new QLabel(this);
    L_Status->setWordWrap(true);
    left->addWidget(L_Status);
    left->addStretch(1);

    iPlot1 = new ChartWidget(ChartWidget::Kind::XY, this);
    iPlot1->setTitle("Time Shift");
    iPlot1->addChannel("Channel 1", QColor(214, 39, 40));
    iPlot1->addChannel("Channel 2", QColor(31, 119, 180));
    iPlot1->setChannelOnSecondAxis(1, true);
    iPlot1->setAxisLabel(ChartWidget::Axis::X, "Time (ms)");
    iPlot1->setMinimumSize(400, 300);

    E_Min = new QLineEdit("-2000", this);
    E_Max = new QLineEdit("2000", this);
    for (QLineEdit* e : {E_Min, E_Max})
        e->setMaximumWidth(80);
    SB_Shift = new QScrollBar(Qt::Horizontal, this);
    SB_Shift->setRange(0, 100);
    SB_Shift->setValue(50);
    SB_Shift->setToolTip("Shift of the second series within Min..Max (ms)");
    Edit4 = new QLineEdit(this);
    Edit4->setObjectName("Edit4");
    Edit4->setReadOnly(true);
    Edit4->setPlaceholderText("lag (ms)");
    Edit4->setMaximumWidth(110);
    Button1 = new QPushButton("Estimate Lag", this);
    Button1->setObjectName("Button1");
    Button1->setToolTip("Find the shift in Min..Max that lines the two series up best "
                        "(maximum correlation)");

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel("Min", this));
    bottom->addWidget(E_Min);
    bottom->addWidget(SB_Shift, 1);
    bottom->addWidget(new QLabel("Max", this));
    bottom->addWidget(E_Max);
    bottom->addSpacing(16);
    bottom->addWidget(Edit4);
    bottom->addWidget(Button1);

    auto* right = new QVBoxLayout;
    right->addWidget(iPlot1, 1);
    right->addLayout(bottom);

    auto* main = new QHBoxLayout(this);
    auto* leftBox = new QWidget(this);
    leftBox->setLayout(left);
    leftBox->setFixedWidth(210);
    main->addWidget(leftBox);
    main->addLayout(right, 1);

    for (QComboBox* box :
         {PD_Source1, PD_Variable1, PD_Channel1, PD_Source2, PD_Variable2, PD_Channel2})
        connect(box, &QComboBox::currentIndexChanged, this, &TF_TimeShift::Redraw);
    for (QLineEdit* e : {E1_wl, E2_wl})
        connect(e, &QLineEdit::editingFinished, this, &TF_TimeShift::Redraw);
    connect(UD1_wl, &QSpinBox::valueChanged, this, [this](int v) {
        stepWavelength(E1_wl, v > 0 ? 1 : -1);
        const QSignalBlocker block(UD1_wl);
        UD1_wl->setValue(0);
    });
    connect(UD2_wl, &QSpinBox::valueChanged, this, [this](int v) {
        stepWavelength(E2_wl, v > 0 ? 1 : -1);
        const QSignalBlocker block(UD2_wl);
        UD2_wl->setValue(0);
    });
    connect(CB_Points, &QCheckBox::toggled, this, &TF_TimeShift::Redraw);
    connect(CB_Invert, &QCheckBox::toggled, this, &TF_TimeShift::Redraw);
    connect(SB_Shift, &QScrollBar::valueChanged, this, [this] {
        exactShift_ = false;
        ShiftChange();
    });
    connect(E_Min, &QLineEdit::editingFinished, this, &TF_TimeShift::ShiftChange);
    connect(E_Max, &QLineEdit::editingFinished, this, &TF_TimeShift::ShiftChange);
    connect(Button1, &QPushButton::clicked, this, &TF_TimeShift::Button1Click);
}

TF_TimeShift::~TF_TimeShift() = default;

void TF_TimeShift::AttachData(const HYP_Data* data) {
    data_ = data;
    Edit4->clear();
    Redraw();
}

void TF_TimeShift::Launch(const HYP_Data* data) {
    AttachData(data);
    show();
    raise();
    activateWindow();
}

double TF_TimeShift::minMs() const {
    return fieldValue(E_Min, -2000.0);
}

double TF_TimeShift::maxMs() const {
    return fieldValue(E_Max, 2000.0);
}

double TF_TimeShift::shiftMs() const {
    if (exactShift_)
        return shift_;
    const double lo = minMs(), hi = maxMs();
    return lo + (hi - lo) * (SB_Shift->value() - SB_Shift->minimum()) /
                    double(SB_Shift->maximum() - SB_Shift->minimum());
}

void TF_TimeShift::setShiftMs(double ms) {
    const double lo = minMs(), hi = maxMs();
    {
        const QSignalBlocker block(SB_Shift);
        if (hi > lo)
            SB_Shift->setValue(static_cast<int>(
                std::lround(SB_Shift->minimum() +
                            (ms - lo) / (hi - lo) * (SB_Shift->maximum() - SB_Shift->minimum()))));
    }
    shift_ = ms;
    exactShift_ = true;
    ShiftChange();
}

TimeSeries TF_TimeShift::series(int source, int variable, int channel, double wavelength) const {
    TimeSeries s;
    if (!data_)
        return s;
    const HYP_Data& d = *data_;
    if (source == AcData) {
        const std::vector<double>& wls = channel == 0 ? d.a_wavelengths : d.c_wavelengths;
        if (wavelength > 0 && !wls.empty()) {
            const auto k = nearest_index(wls, wavelength);
            for (const hyp_data& r : d.records) {
                const std::vector<double>& v = channel == 0 ? r.a_values : r.c_values;
                if (k < v.size()) {
                    s.time.push_back(r.time);
                    s.value.push_back(v[k]);
                }
            }
            return s;
        }
        // The data file's own sensors: temperature and pressure columns.
        if (variable == Salinity)
            return s;
        const std::size_t n = std::min(d.records.size(), d.onboard_list.samples.size());
        for (std::size_t i = 0; i < n; ++i) {
            const ctd_struct& c = d.onboard_list.samples[i];
            s.time.push_back(d.records[i].time);
            s.value.push_back(variable == Temperature ? c.temperature : c.pressure);
        }
        return s;
    }
    const std::vector<ctd_struct>& samples =
        d.ctd_file.samples.empty() ? d.ctd_list.samples : d.ctd_file.samples;
    for (const ctd_struct& c : samples) {
        s.time.push_back(c.time);
        s.value.push_back(variable == Temperature ? c.temperature
                          : variable == Salinity  ? c.salinity
                                                  : c.pressure);
    }
    return s;
}

namespace {
QString describe(int source, int variable, int channel, double wavelength) {
    static const char* variables[] = {"Temperature", "Salinity", "Depth"};
    if (source == 0 && wavelength > 0)
        return QString::asprintf("ac data: %s %.1f nm", channel == 0 ? "a" : "c", wavelength);
    return QString("%1: %2").arg(source == 0 ? "ac data" : "CTD data", variables[variable]);
}
} // namespace

TimeSeries TF_TimeShift::firstSeries() const {
    return series(PD_Source1->currentIndex(), PD_Variable1->currentIndex(),
                  PD_Channel1->currentIndex(), fieldValue(E1_wl, 0.0));
}

TimeSeries TF_TimeShift::secondSeries() const {
    TimeSeries s = series(PD_Source2->currentIndex(), PD_Variable2->currentIndex(),
                          PD_Channel2->currentIndex(), fieldValue(E2_wl, 0.0));
    if (CB_Invert->isChecked())
        for (double& v : s.value)
            v = -v;
    return s;
}

void TF_TimeShift::Redraw() {
    first_ = firstSeries();
    second_ = secondSeries();
    const bool lines = !CB_Points->isChecked();
    iPlot1->setChannelStyle(0, lines, !lines);
    iPlot1->setChannelStyle(1, lines, !lines);
    iPlot1->setChannelName(0, describe(PD_Source1->currentIndex(), PD_Variable1->currentIndex(),
                                       PD_Channel1->currentIndex(), fieldValue(E1_wl, 0.0)));
    iPlot1->setChannelName(1, describe(PD_Source2->currentIndex(), PD_Variable2->currentIndex(),
                                       PD_Channel2->currentIndex(), fieldValue(E2_wl, 0.0)) +
                                  (CB_Invert->isChecked() ? " (inverted)" : ""));
    iPlot1->setPoints(0, first_.time, first_.value);
    ShiftChange();
    iPlot1->fitAll();
    if (!data_)
        L_Status->setText("No data loaded.");
    else if (first_.time.empty() || second_.time.empty())
        L_Status->setText("One of the chosen series has no data in this data set.");
    else
        L_Status->setText(QString());
}

void TF_TimeShift::ShiftChange() {
    const double shift = shiftMs();
    std::vector<double> t = second_.time;
    for (double& v : t)
        v += shift;
    iPlot1->setPoints(1, std::move(t), second_.value);
    iPlot1->setAxisLabel(ChartWidget::Axis::X,
                         QString::asprintf("Time (ms); second series shifted by %.0f ms", shift));
}

void TF_TimeShift::Button1Click() {
    const LagEstimate e = estimate_lag(first_, second_, minMs(), maxMs());
    ctdLag_.reset();
    if (!e.found) {
        Edit4->clear();
        L_Status->setText("The two series do not overlap within Min..Max.");
        return;
    }
    Edit4->setText(QString::asprintf("%.0f ms", e.lag_ms));
    QString status =
        QString::asprintf("Best correlation %.3f at a shift of %.1f ms.", e.correlation, e.lag_ms);
    // The shift moves the second series: a CTD second series takes it as its lag, a CTD first
    // series the opposite.
    const int s1 = PD_Source1->currentIndex(), s2 = PD_Source2->currentIndex();
    if (s1 != s2) {
        ctdLag_ = (s2 == CtdData ? e.lag_ms : -e.lag_ms) / 1000.0;
        status += QString::asprintf("  As a CTD lag: %+.3f s (Load CTD Data offers it).", *ctdLag_);
    }
    L_Status->setText(status);
    setShiftMs(e.lag_ms);
    if (ctdLag_)
        emit ctdLagEstimated(*ctdLag_);
}

void TF_TimeShift::stepWavelength(QLineEdit* edit, int step) {
    if (!data_)
        return;
    const bool first = edit == E1_wl;
    const int channel = (first ? PD_Channel1 : PD_Channel2)->currentIndex();
    const std::vector<double>& wls = channel == 0 ? data_->a_wavelengths : data_->c_wavelengths;
    if (wls.empty())
        return;
    const double current = fieldValue(edit, 0.0);
    int k = current > 0 ? static_cast<int>(nearest_index(wls, current)) + step : 0;
    k = std::clamp(k, 0, static_cast<int>(wls.size()) - 1);
    edit->setText(QString::asprintf("%.1f", wls[static_cast<std::size_t>(k)]));
    Redraw();
}
