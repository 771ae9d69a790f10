#include "tfr_postprocess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>

#include "app_services.h"
#include "processing_state.h"
#include "tfr_processing.h"

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

void set_text(QLineEdit* e, const std::string& s) {
    if (e->text() != q(s))
        e->setText(q(s));
}

void set_items(QComboBox* box, const std::vector<std::string>& items, int index, bool keep_typed) {
    bool same = box->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i) == q(items[i]);
    if (!same) {
        box->clear();
        for (const auto& s : items)
            box->addItem(q(s));
    }
    if (index >= 0 && index < box->count()) {
        if (box->currentIndex() != index ||
            (box->isEditable() && box->currentText() != box->itemText(index)))
            box->setCurrentIndex(index);
    } else if (!keep_typed) {
        box->setCurrentIndex(-1);
    }
}

} // namespace

TFr_PostProcess::TFr_PostProcess(QWidget* parent) : QFrame(parent) {
    setObjectName("Fr_PostProcess1");
    auto* v = new QVBoxLayout(this);

    // File
    auto* file = new QGroupBox("ac Data", this);
    auto* fl = new QVBoxLayout(file);
    B_OpenHYP = new QPushButton("Load ac Data", file);
    E_HYPFile = new QLineEdit("(no file loaded)", file);
    E_HYPFile->setReadOnly(true);
    L_StartTime = new QLabel(file);
    L_StartTime->setObjectName("L_StartTime");
    L_StartTime->hide();
    fl->addWidget(B_OpenHYP);
    fl->addWidget(E_HYPFile);
    // Under the file name: a file of corrected data says so here.
    L_CorrectionsNote = new QLabel(file);
    L_CorrectionsNote->setObjectName("L_CorrectionsNote");
    L_CorrectionsNote->setWordWrap(true);
    L_CorrectionsNote->hide();
    fl->addWidget(L_CorrectionsNote);
    fl->addWidget(L_StartTime);
    v->addWidget(file);

    // Water panel
    Panel6 = new QGroupBox("Water Calibration", this);
    auto* wl = new QVBoxLayout(Panel6);
    B_LoadWater = new QPushButton("Load Water", Panel6);
    B_LoadWater->setEnabled(false);
    E_Water = new QLineEdit(Panel6);
    E_Water->setReadOnly(true);
    L_WaterTemp = new QLabel("Water calibration temperature:", Panel6);
    CB_Water = new QCheckBox("Apply Water Calibration", Panel6);
    wl->addWidget(B_LoadWater);
    wl->addWidget(E_Water);
    wl->addWidget(L_WaterTemp);
    wl->addWidget(CB_Water);
    L_WaterTemp->hide();
    CB_Water->hide();
    Panel6->hide();
    v->addWidget(Panel6);

    // CTD and options
    auto* opts = new QGroupBox("CTD and Corrections", this);
    auto* g = new QGridLayout(opts);
    B_LoadCTD = new QPushButton("Load CTD Data", opts);
    E_CTDFile = new QLineEdit("(no file loaded)", opts);
    E_CTDFile->setReadOnly(true);
    g->addWidget(B_LoadCTD, 0, 0, 1, 4);
    g->addWidget(E_CTDFile, 1, 0, 1, 4);
    auto* source = new QLabel("Source of Value", opts);
    g->addWidget(source, 2, 1);

    auto make_source = [&](int row, const QString& name, QCheckBox*& cb, QComboBox*& pd,
                           QLineEdit*& edit, const QString& value, const QString& unit,
                           QWidget*& unitLabel) {
        cb = new QCheckBox(name, opts);
        pd = new QComboBox(opts);
        pd->setEditable(true);
        pd->setInsertPolicy(QComboBox::NoInsert);
        pd->addItems({"Constant", "CTD Not Loaded"});
        pd->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        pd->setMinimumContentsLength(8);
        edit = new QLineEdit(value, opts);
        edit->setMaximumWidth(60);
        unitLabel = new QLabel(unit, opts);
        g->addWidget(cb, row, 0);
        g->addWidget(pd, row, 1);
        g->addWidget(edit, row, 2);
        g->addWidget(unitLabel, row, 3);
    };
    make_source(3, "Temperature", CB_Temp, PD_Temp, E_Temp, "21", "C", tempUnit_);
    make_source(4, "Salinity", CB_Saln, PD_Saln, E_Saln, "17", "psu", salnUnit_);

    CB_ScatCorr = new QCheckBox("Scattering Correction", opts);
    PD_ScatType = new QComboBox(opts);
    PD_ScatType->addItems(
        {"Proportional Correction", "Baseline Correction", "Percentage of b (14%)", kResidualItem});
    PD_ScatType->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    PD_ScatType->setMinimumContentsLength(10);
    g->addWidget(CB_ScatCorr, 5, 0, 1, 4);
    g->addWidget(PD_ScatType, 6, 0, 1, 4);

    auto* wlRow = new QHBoxLayout;
    wlRow->addWidget(new QLabel("reference wavelength:", opts));
    E_ScatWL = new QLineEdit("715", opts);
    E_ScatWL->setMaximumWidth(60);
    E_ScatWL->installEventFilter(this);
    UpDown1_up = new QToolButton(opts);
    UpDown1_up->setArrowType(Qt::UpArrow);
    UpDown1_down = new QToolButton(opts);
    UpDown1_down->setArrowType(Qt::DownArrow);
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    for (QToolButton* b : {UpDown1_up, UpDown1_down}) {
        b->setFixedSize(18, 12);
        b->setAutoRaise(true);
        arrows->addWidget(b);
    }
    wlRow->addWidget(E_ScatWL);
    wlRow->addLayout(arrows);
    wlRow->addWidget(new QLabel("nm", opts));
    wlRow->addStretch();
    g->addLayout(wlRow, 7, 0, 1, 4);
    g->setColumnStretch(1, 1);
    v->addWidget(opts);

    options_ = opts;

    // Positions
    auto* gps = new QGroupBox("GPS", this);
    auto* gl = new QVBoxLayout(gps);
    B_LoadGPS = new QPushButton("Load GPS Data", gps);
    B_LoadGPS->setEnabled(false);
    E_GPSFile = new QLineEdit("(no file loaded)", gps);
    E_GPSFile->setReadOnly(true);
    gl->addWidget(B_LoadGPS);
    gl->addWidget(E_GPSFile);
    v->addWidget(gps);

    Fr_Processing = new TFr_Processing(this);
    v->addWidget(Fr_Processing);

    B_Save = new QPushButton("Save", this);
    B_Save->setMinimumHeight(32);
    v->addWidget(B_Save);
    v->addStretch();

    auto call = [](const std::function<void()>& f) {
        if (f)
            f();
    };
    connect(B_OpenHYP, &QPushButton::clicked, this, [this, call] { call(onOpenHYP); });
    connect(B_LoadWater, &QPushButton::clicked, this, [this, call] { call(onLoadWater); });
    connect(B_Save, &QPushButton::clicked, this, [this, call] { call(onSave); });
    connect(B_LoadGPS, &QPushButton::clicked, this, [this, call] { call(onLoadGPS); });
    for (QCheckBox* cb : {CB_Temp, CB_Saln, CB_ScatCorr, CB_Water})
        connect(cb, &QCheckBox::clicked, this, [this] { edited(); });
    connect(PD_ScatType, &QComboBox::activated, this, [this] { edited(); });
    for (QLineEdit* e : {E_Temp, E_Saln})
        connect(e, &QLineEdit::textEdited, this, [this] { edited(); });
    connect(E_ScatWL, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (state_)
            state_->E_ScatWL = t.toStdString();
    });
    auto source_chosen = [this](QComboBox* box, const std::function<void(int)>& handler) {
        connect(box, &QComboBox::activated, this, [this, handler](int index) {
            if (!syncing_ && handler)
                handler(index);
        });
        // Text typed into the list that names no item leaves no item selected.
        connect(box, &QComboBox::editTextChanged, this, [this, box](const QString& t) {
            if (syncing_ || !state_)
                return;
            int idx = box->findText(t, Qt::MatchExactly);
            if (box == PD_Temp)
                state_->PD_Temp = idx;
            else
                state_->PD_Saln = idx;
        });
    };
    source_chosen(PD_Temp, [this](int i) {
        if (onTempSource)
            onTempSource(i);
    });
    source_chosen(PD_Saln, [this](int i) {
        if (onSalnSource)
            onSalnSource(i);
    });
    connect(UpDown1_up, &QToolButton::clicked, this, [this] {
        if (onUpDown)
            onUpDown(true);
    });
    connect(UpDown1_down, &QToolButton::clicked, this, [this] {
        if (onUpDown)
            onUpDown(false);
    });
}

void TFr_PostProcess::attach(PostPanelState* state, ProcessingPanelState* processing) {
    state_ = state;
    Fr_Processing->attach(processing);
    processing_ = processing;
}

void TFr_PostProcess::bind_load_ctd(QAction* action) {
    connect(B_LoadCTD, &QPushButton::clicked, action, &QAction::trigger);
    B_LoadCTD->setEnabled(action->isEnabled());
    connect(action, &QAction::changed, B_LoadCTD,
            [this, action] { B_LoadCTD->setEnabled(action->isEnabled()); });
}

void TFr_PostProcess::edited() {
    if (syncing_ || !state_)
        return;
    PostPanelState& s = *state_;
    s.CB_Temp = CB_Temp->isChecked();
    s.CB_Saln = CB_Saln->isChecked();
    s.CB_ScatCorr = CB_ScatCorr->isChecked();
    s.CB_Water = CB_Water->isChecked();
    s.PD_ScatType = PD_ScatType->currentIndex();
    s.E_Temp = E_Temp->text().toStdString();
    s.E_Saln = E_Saln->text().toStdString();
    s.E_ScatWL = E_ScatWL->text().toStdString();
    if (onOptions)
        onOptions();
}

bool TFr_PostProcess::eventFilter(QObject* watched, QEvent* event) {
    if (watched == E_ScatWL && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && onScatWLKey) {
            if (state_)
                state_->E_ScatWL = E_ScatWL->text().toStdString();
            onScatWLKey(13);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TFr_PostProcess::sync(bool water_visible) {
    if (!state_)
        return;
    syncing_ = true;
    const PostPanelState& s = *state_;
    B_OpenHYP->setEnabled(s.B_OpenHYP_enabled);
    set_text(E_HYPFile, s.E_HYPFile);
    E_HYPFile->setCursorPosition(E_HYPFile->text().size());
    L_StartTime->setText(q(s.L_StartTime));
    L_StartTime->setVisible(!s.L_StartTime.empty());
    Panel6->setVisible(water_visible);
    B_LoadWater->setEnabled(s.B_LoadWater_enabled);
    set_text(E_Water, s.E_Water);
    L_WaterTemp->setText(q(s.L_WaterTemp));
    L_WaterTemp->setVisible(s.L_WaterTemp_visible);
    CB_Water->setChecked(s.CB_Water);
    CB_Water->setVisible(s.CB_Water_visible);
    set_text(E_CTDFile, s.E_CTDFile);
    B_LoadGPS->setEnabled(s.B_LoadGPS_enabled && s.corrections_enabled);
    set_text(E_GPSFile, s.E_GPSFile);
    CB_Temp->setChecked(s.CB_Temp);
    set_items(PD_Temp, s.PD_Temp_items, s.PD_Temp, true);
    set_text(E_Temp, s.E_Temp);
    E_Temp->setVisible(s.E_Temp_visible);
    tempUnit_->setVisible(s.E_Temp_visible);
    CB_Saln->setChecked(s.CB_Saln);
    set_items(PD_Saln, s.PD_Saln_items, s.PD_Saln, true);
    set_text(E_Saln, s.E_Saln);
    E_Saln->setVisible(s.E_Saln_visible);
    salnUnit_->setVisible(s.E_Saln_visible);
    CB_ScatCorr->setChecked(s.CB_ScatCorr);
    if (processing_) {
        // The residual temperature item needs a common grid; the reason is the tooltip.
        const bool allowed = processing_->residual_allowed;
        if (auto* model = qobject_cast<QStandardItemModel*>(PD_ScatType->model())) {
            QStandardItem* item = model->item(kResidualListIndex);
            item->setEnabled(allowed);
            item->setToolTip(q(processing_->residual_reason));
        }
        PD_ScatType->setToolTip(allowed ? QString() : q(processing_->residual_reason));
    }
    if (s.PD_ScatType >= 0 && s.PD_ScatType < PD_ScatType->count())
        PD_ScatType->setCurrentIndex(s.PD_ScatType);
    set_text(E_ScatWL, s.E_ScatWL);
    B_Save->setEnabled(s.B_Save_enabled && s.corrections_enabled);
    // A file of corrected data: the water and correction groups are off, and the note says why.
    Panel6->setEnabled(s.corrections_enabled);
    options_->setEnabled(s.corrections_enabled);
    L_CorrectionsNote->setText(q(s.corrections_note));
    L_CorrectionsNote->setVisible(!s.corrections_note.empty());
    Fr_Processing->sync(s.corrections_enabled);
    // The residual temperature correction has its own reference and window in the Processing
    // group; the legacy reference field is not used by it.
    const bool residual = s.PD_ScatType == kResidualListIndex;
    for (QWidget* w : {static_cast<QWidget*>(E_ScatWL), static_cast<QWidget*>(UpDown1_up),
                       static_cast<QWidget*>(UpDown1_down)})
        w->setEnabled(!residual);
    for (QWidget* w : {Fr_Processing->E_RtRef, Fr_Processing->E_RtLo, Fr_Processing->E_RtHi})
        w->setEnabled(residual);
    syncing_ = false;
}
