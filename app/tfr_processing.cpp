#include "tfr_processing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "processing_state.h"

namespace {

QDoubleSpinBox* wavelength_box(QWidget* parent, double lo, double hi, int decimals = 1) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(lo, hi);
    box->setDecimals(decimals);
    box->setSuffix(" nm");
    box->setKeyboardTracking(false);
    return box;
}

void set_value(QDoubleSpinBox* box, double v) {
    if (box->value() != v)
        box->setValue(v);
}

void set_index(QComboBox* box, int i) {
    if (box->currentIndex() != i)
        box->setCurrentIndex(i);
}

} // namespace

TFr_Processing::TFr_Processing(QWidget* parent) : QWidget(parent) {
    setObjectName("Fr_Processing");
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);

    auto* group = new QGroupBox("Processing", this);
    processing_ = group;
    auto* form = new QFormLayout(group);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);

    PD_Grid = new QComboBox(group);
    PD_Grid->setObjectName("PD_Grid");
    PD_Grid->addItems({"Native", "c onto a", "Regular grid"});
    form->addRow("Wavelength grid:", PD_Grid);
    gridFields_ = new QWidget(group);
    auto* gl = new QHBoxLayout(gridFields_);
    gl->setContentsMargins(0, 0, 0, 0);
    E_GridStart = wavelength_box(gridFields_, 300, 900);
    E_GridStop = wavelength_box(gridFields_, 300, 900);
    E_GridStep = wavelength_box(gridFields_, 0.1, 100);
    gl->addWidget(E_GridStart);
    gl->addWidget(new QLabel("to", gridFields_));
    gl->addWidget(E_GridStop);
    gl->addWidget(new QLabel("step", gridFields_));
    gl->addWidget(E_GridStep);
    form->addRow(QString(), gridFields_);

    // The residual temperature correction's reference and window, on two short rows so that
    // the panel stays narrow.
    E_RtRef = wavelength_box(group, 300, 900);
    form->addRow("Residual reference:", E_RtRef);
    auto* rt = new QWidget(group);
    auto* rl = new QHBoxLayout(rt);
    rl->setContentsMargins(0, 0, 0, 0);
    E_RtLo = wavelength_box(rt, 300, 900);
    E_RtHi = wavelength_box(rt, 300, 900);
    rl->addWidget(E_RtLo);
    rl->addWidget(new QLabel("to", rt));
    rl->addWidget(E_RtHi);
    rl->addStretch();
    form->addRow("Residual window:", rt);
    L_Residual = new QLabel(group);
    L_Residual->setObjectName("L_Residual");
    L_Residual->setWordWrap(true);
    form->addRow(QString(), L_Residual);

    auto* qcRow = new QWidget(group);
    auto* ql = new QHBoxLayout(qcRow);
    ql->setContentsMargins(0, 0, 0, 0);
    CB_QC = new QCheckBox("QC flags", qcRow);
    CB_QC->setObjectName("CB_QC");
    B_Thresholds = new QPushButton("Thresholds…", qcRow);
    B_Thresholds->setObjectName("B_Thresholds");
    ql->addWidget(CB_QC);
    ql->addWidget(B_Thresholds);
    ql->addStretch();
    form->addRow(qcRow);

    PD_Bin = new QComboBox(group);
    PD_Bin->setObjectName("PD_Bin");
    PD_Bin->addItems({"None", "Time", "Depth"});
    form->addRow("Bins:", PD_Bin);
    binFields_ = new QWidget(group);
    auto* bl = new QGridLayout(binFields_);
    bl->setContentsMargins(0, 0, 0, 0);
    E_BinWidth = new QDoubleSpinBox(binFields_);
    E_BinWidth->setObjectName("E_BinWidth");
    E_BinWidth->setRange(0.01, 1e6);
    E_BinWidth->setDecimals(2);
    E_BinWidth->setKeyboardTracking(false);
    L_BinUnit = new QLabel("s", binFields_);
    PD_BinDirection = new QComboBox(binFields_);
    PD_BinDirection->addItems({"Both casts", "Down cast", "Up cast"});
    PD_BinStat = new QComboBox(binFields_);
    PD_BinStat->addItems({"Median", "Mean"});
    E_BinMin = new QSpinBox(binFields_);
    E_BinMin->setRange(1, 1000000);
    E_BinMin->setKeyboardTracking(false);
    CB_ExcludeSuspect = new QCheckBox("Exclude suspect values", binFields_);
    bl->addWidget(new QLabel("width", binFields_), 0, 0);
    bl->addWidget(E_BinWidth, 0, 1);
    bl->addWidget(L_BinUnit, 0, 2);
    bl->addWidget(PD_BinDirection, 0, 3);
    bl->addWidget(new QLabel("statistic", binFields_), 1, 0);
    bl->addWidget(PD_BinStat, 1, 1, 1, 2);
    bl->addWidget(new QLabel("at least", binFields_), 2, 0);
    bl->addWidget(E_BinMin, 2, 1);
    bl->addWidget(new QLabel("values", binFields_), 2, 2);
    bl->addWidget(CB_ExcludeSuspect, 3, 0, 1, 4);
    form->addRow(QString(), binFields_);
    L_Note = new QLabel(group);
    L_Note->setObjectName("L_ProcessingNote");
    L_Note->setWordWrap(true);
    L_Note->setStyleSheet("color: #b00000");
    L_Note->hide();
    form->addRow(L_Note);
    v->addWidget(group);

    auto* out = new QGroupBox("Output", this);
    auto* ov = new QVBoxLayout(out);
    auto* ol = new QHBoxLayout;
    ov->addLayout(ol);
    CB_Text = new QCheckBox("Text", out);
    CB_NetCDF = new QCheckBox("NetCDF", out);
    CB_SeaBASS = new QCheckBox("SeaBASS", out);
    CB_Text->setObjectName("CB_Text");
    CB_NetCDF->setObjectName("CB_NetCDF");
    CB_SeaBASS->setObjectName("CB_SeaBASS");
    B_Metadata = new QPushButton("SeaBASS Metadata…", out);
    B_Metadata->setObjectName("B_Metadata");
    for (QCheckBox* cb : {CB_Text, CB_NetCDF, CB_SeaBASS})
        ol->addWidget(cb);
    ol->addStretch();
    auto* ml = new QHBoxLayout;
    ml->addWidget(B_Metadata);
    ml->addStretch();
    ov->addLayout(ml);
    v->addWidget(out);

    for (QComboBox* box : {PD_Grid, PD_Bin, PD_BinDirection, PD_BinStat})
        connect(box, &QComboBox::activated, this, [this] { edited(); });
    for (QDoubleSpinBox* box :
         {E_GridStart, E_GridStop, E_GridStep, E_RtRef, E_RtLo, E_RtHi, E_BinWidth})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { edited(); });
    connect(E_BinMin, &QSpinBox::valueChanged, this, [this] { edited(); });
    for (QCheckBox* cb : {CB_QC, CB_ExcludeSuspect, CB_Text, CB_NetCDF, CB_SeaBASS})
        connect(cb, &QCheckBox::clicked, this, [this] { edited(); });
    connect(B_Thresholds, &QPushButton::clicked, this, [this] {
        if (onThresholds)
            onThresholds();
    });
    connect(B_Metadata, &QPushButton::clicked, this, [this] {
        if (onMetadata)
            onMetadata();
    });
}

void TFr_Processing::edited() {
    if (syncing_ || !state_)
        return;
    ProcessingPanelState& s = *state_;
    const auto grid = static_cast<GridKind>(PD_Grid->currentIndex());
    if (grid == GridKind::Regular && s.grid.kind != GridKind::Regular && !(s.grid.step > 0)) {
        // A regular grid chosen for the first time starts from a grid that suits both models.
        s.grid.start = 400;
        s.grid.stop = 750;
        s.grid.step = 2;
    } else if (grid == GridKind::Regular) {
        s.grid.start = E_GridStart->value();
        s.grid.stop = E_GridStop->value();
        s.grid.step = E_GridStep->value();
    }
    s.grid.kind = grid;
    s.residual.reference_nm = E_RtRef->value();
    s.residual.window_lo = E_RtLo->value();
    s.residual.window_hi = E_RtHi->value();
    s.qc.apply = CB_QC->isChecked();
    const auto kind = static_cast<BinKind>(PD_Bin->currentIndex());
    // The width field belongs to the kind it was shown for.
    if (s.binning.kind == BinKind::Time)
        s.time_bin_width = E_BinWidth->value();
    else if (s.binning.kind == BinKind::Depth)
        s.depth_bin_width = E_BinWidth->value();
    s.binning.kind = kind;
    s.binning.width = kind == BinKind::Depth ? s.depth_bin_width : s.time_bin_width;
    s.binning.direction = static_cast<CastDirection>(PD_BinDirection->currentIndex());
    s.binning.stat = static_cast<BinStat>(PD_BinStat->currentIndex());
    s.binning.min_count = E_BinMin->value();
    s.binning.exclude_suspect = CB_ExcludeSuspect->isChecked();
    s.out_text = CB_Text->isChecked();
    s.out_netcdf = CB_NetCDF->isChecked();
    s.out_seabass = CB_SeaBASS->isChecked();
    if (onChanged)
        onChanged();
}

void TFr_Processing::sync(bool enabled) {
    if (!state_)
        return;
    syncing_ = true;
    const ProcessingPanelState& s = *state_;
    processing_->setEnabled(enabled);
    set_index(PD_Grid, static_cast<int>(s.grid.kind));
    gridFields_->setVisible(s.grid.kind == GridKind::Regular);
    set_value(E_GridStart, s.grid.start);
    set_value(E_GridStop, s.grid.stop);
    set_value(E_GridStep, s.grid.step);
    set_value(E_RtRef, s.residual.reference_nm);
    set_value(E_RtLo, s.residual.window_lo);
    set_value(E_RtHi, s.residual.window_hi);
    L_Residual->setText(s.residual_allowed ? QString() : QString::fromStdString(s.residual_reason));
    L_Residual->setVisible(!s.residual_allowed);
    CB_QC->setChecked(s.qc.apply);
    B_Thresholds->setEnabled(s.qc.apply);
    set_index(PD_Bin, static_cast<int>(s.binning.kind));
    binFields_->setVisible(s.binning.kind != BinKind::None);
    const bool depth = s.binning.kind == BinKind::Depth;
    set_value(E_BinWidth, depth ? s.depth_bin_width : s.time_bin_width);
    L_BinUnit->setText(depth ? "m" : "s");
    PD_BinDirection->setVisible(depth);
    set_index(PD_BinDirection, static_cast<int>(s.binning.direction));
    set_index(PD_BinStat, static_cast<int>(s.binning.stat));
    if (E_BinMin->value() != s.binning.min_count)
        E_BinMin->setValue(s.binning.min_count);
    CB_ExcludeSuspect->setChecked(s.binning.exclude_suspect);
    CB_ExcludeSuspect->setEnabled(s.qc.apply);
    CB_Text->setChecked(s.out_text);
    CB_NetCDF->setChecked(s.out_netcdf);
    CB_SeaBASS->setChecked(s.out_seabass);
    B_Metadata->setEnabled(s.out_seabass);
    L_Note->setText(QString::fromStdString(s.note));
    L_Note->setVisible(!s.note.empty());
    syncing_ = false;
}
