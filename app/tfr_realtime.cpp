#include "tfr_realtime.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "acquisition_controller.h"
#include "app_services.h"

namespace {

QLabel* info_label(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

void set_text(QLineEdit* e, const std::string& s) {
    const QString q = QString::fromStdString(s);
    if (e->text() != q)
        e->setText(q);
}

void set_text(QLabel* l, const std::string& s) {
    // The reader writes a tab between the serial and the device file's serial.
    QString q = QString::fromStdString(s);
    q.replace('\t', "    ");
    if (l->text() != q)
        l->setText(q);
}

} // namespace

TFr_RealTime::TFr_RealTime(QWidget* parent) : QFrame(parent) {
    setObjectName("Fr_RealTime1");
    auto* top = new QVBoxLayout(this);

    // Port and device file
    auto* port_row = new QHBoxLayout;
    port_row->addWidget(new QLabel("Com Port", this));
    UD_Port = new QSpinBox(this);
    UD_Port->setObjectName("UD_Port");
    UD_Port->setRange(0, 100);
    UD_Port->setValue(1);
    port_row->addWidget(UD_Port);
    port_row->addStretch();
    top->addLayout(port_row);

    auto* dev_row = new QHBoxLayout;
    dev_row->addWidget(new QLabel("Device File", this));
    B_Device = new QPushButton("Select Device File", this);
    B_Device->setObjectName("B_Device");
    dev_row->addWidget(B_Device);
    top->addLayout(dev_row);
    E_Device = new QLineEdit(this);
    E_Device->setObjectName("E_Device");
    top->addWidget(E_Device);

    auto* cmd_row = new QHBoxLayout;
    B_Start = new QPushButton("Start (F1)", this);
    B_Start->setObjectName("B_Start");
    B_Stop = new QPushButton("Stop (F2)", this);
    B_Stop->setObjectName("B_Stop");
    B_Stop->setEnabled(false);
    cmd_row->addWidget(B_Start);
    cmd_row->addWidget(B_Stop);
    top->addLayout(cmd_row);

    // Preview corrections
    auto* preview = new QGroupBox("Preview Corrections", this);
    auto* grid = new QGridLayout(preview);
    CB_Temp = new QCheckBox("Temperature", preview);
    CB_Temp->setObjectName("CB_Temp");
    E_Temp = new QLineEdit("21", preview);
    E_Temp->setObjectName("E_Temp");
    grid->addWidget(CB_Temp, 0, 0);
    grid->addWidget(E_Temp, 0, 1);
    grid->addWidget(new QLabel("C", preview), 0, 2);
    CB_Saln = new QCheckBox("Salinity", preview);
    CB_Saln->setObjectName("CB_Saln");
    E_Saln = new QLineEdit(QString::fromStdString(default_saln_text()), preview);
    E_Saln->setObjectName("E_Saln");
    grid->addWidget(CB_Saln, 1, 0);
    grid->addWidget(E_Saln, 1, 1);
    grid->addWidget(new QLabel("psu", preview), 1, 2);
    CB_ScatCorr = new QCheckBox("Scattering Error", preview);
    CB_ScatCorr->setObjectName("CB_ScatCorr");
    grid->addWidget(CB_ScatCorr, 2, 0);
    PD_ScatType = new QComboBox(preview);
    PD_ScatType->setObjectName("PD_ScatType");
    PD_ScatType->addItems({"Proportional Correction", "Baseline Correction"});
    PD_ScatType->setCurrentIndex(1);
    grid->addWidget(PD_ScatType, 3, 0, 1, 3);
    grid->addWidget(new QLabel("reference wavelength:", preview), 4, 0);
    auto* wl_row = new QHBoxLayout;
    E_ScatWL = new QLineEdit("715", preview);
    E_ScatWL->setObjectName("E_ScatWL");
    wl_row->addWidget(E_ScatWL);
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    UpDown1_up = new QToolButton(preview);
    UpDown1_up->setObjectName("UpDown1_up");
    UpDown1_up->setArrowType(Qt::UpArrow);
    UpDown1_down = new QToolButton(preview);
    UpDown1_down->setObjectName("UpDown1_down");
    UpDown1_down->setArrowType(Qt::DownArrow);
    arrows->addWidget(UpDown1_up);
    arrows->addWidget(UpDown1_down);
    wl_row->addLayout(arrows);
    grid->addLayout(wl_row, 4, 1, 1, 2);
    top->addWidget(preview);

    // Information and statistics
    auto* info = new QGroupBox("Information and Statistics", this);
    auto* info_col = new QVBoxLayout(info);
    L_Clock = info_label(info, "L_Clock");
    L_Clock->setAlignment(Qt::AlignRight);
    L_TimeStamp = info_label(info, "L_TimeStamp");
    L_Serial = info_label(info, "L_Serial");
    L_FacCalTemp = info_label(info, "L_FacCalTemp");
    L_Progress = info_label(info, "L_Progress");
    L_InternalTemp = info_label(info, "L_InternalTemp");
    L_ExternalTemp = info_label(info, "L_ExternalTemp");
    L_DevFileTempCal = info_label(info, "L_DevFileTempCal");
    L_SizeOfFile = info_label(info, "L_SizeOfFile");
    for (QLabel* l : {L_Clock, L_TimeStamp, L_Serial, L_FacCalTemp, L_Progress, L_InternalTemp,
                      L_ExternalTemp, L_DevFileTempCal, L_SizeOfFile})
        info_col->addWidget(l);
    top->addWidget(info);
    top->addStretch();

    // Forwarding
    connect(UD_Port, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) {
        if (syncing_ || !controller_)
            return;
        forward([this, v] {
            ws_->UD_Port = v;
            controller_->SavePortAndDeviceSettings();
        });
    });
    connect(E_Device, &QLineEdit::textEdited, this, [this](const QString& s) {
        if (ws_)
            ws_->E_Device = s.toStdString();
    });
    connect(B_Device, &QPushButton::clicked, this,
            [this] { forward([this] { controller_->B_DeviceClick(); }); });
    for (QCheckBox* cb : {CB_Temp, CB_Saln, CB_ScatCorr})
        connect(cb, &QCheckBox::clicked, this, [this] { preview_changed(); });
    connect(PD_ScatType, qOverload<int>(&QComboBox::activated), this,
            [this](int) { preview_changed(); });
    for (QLineEdit* e : {E_Temp, E_Saln})
        connect(e, &QLineEdit::textChanged, this, [this] { preview_changed(); });
    connect(E_ScatWL, &QLineEdit::textEdited, this, [this](const QString& s) {
        if (ws_)
            ws_->preview.E_ScatWL = s.toStdString();
    });
    connect(E_ScatWL, &QLineEdit::returnPressed, this,
            [this] { forward([this] { controller_->E_ScatWLKeyDown2(13); }); });
    connect(UpDown1_up, &QToolButton::clicked, this,
            [this] { forward([this] { controller_->UpDown2Click(true); }); });
    connect(UpDown1_down, &QToolButton::clicked, this,
            [this] { forward([this] { controller_->UpDown2Click(false); }); });
}

void TFr_RealTime::attach(AcquisitionController* controller, Workspace* workspace) {
    controller_ = controller;
    ws_ = workspace;
    sync();
}

void TFr_RealTime::bind_actions(QAction* start, QAction* stop) {
    auto bind = [this](QPushButton* button, QAction* action) {
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button,
                [button, action] { button->setEnabled(action->isEnabled()); });
        button->setEnabled(action->isEnabled());
    };
    bind(B_Start, start);
    bind(B_Stop, stop);
}

void TFr_RealTime::forward(const std::function<void()>& command) {
    if (!controller_ || syncing_)
        return;
    if (run_command) {
        run_command(command);
    } else {
        command();
        sync();
    }
}

void TFr_RealTime::preview_changed() {
    if (syncing_ || !ws_)
        return;
    PreviewOptions& p = ws_->preview;
    p.CB_Temp = CB_Temp->isChecked();
    p.CB_Saln = CB_Saln->isChecked();
    p.CB_ScatCorr = CB_ScatCorr->isChecked();
    p.E_Temp = E_Temp->text().toStdString();
    p.E_Saln = E_Saln->text().toStdString();
    p.PD_ScatType = PD_ScatType->currentIndex();
    p.E_ScatWL = E_ScatWL->text().toStdString();
    forward([this] { controller_->ApplyCorrectionOptions(); });
}

void TFr_RealTime::sync() {
    if (!controller_ || !ws_)
        return;
    syncing_ = true;
    const RealTimePanelState& s = controller_->panel;
    if (UD_Port->value() != ws_->UD_Port)
        UD_Port->setValue(ws_->UD_Port);
    UD_Port->setEnabled(ws_->UD_Port_enabled && ws_->E_CommPort_enabled);
    set_text(E_Device, ws_->E_Device);
    B_Device->setEnabled(ws_->B_Device_enabled);

    const PreviewOptions& p = ws_->preview;
    CB_Temp->setChecked(p.CB_Temp);
    CB_Saln->setChecked(p.CB_Saln);
    CB_ScatCorr->setChecked(p.CB_ScatCorr);
    set_text(E_Temp, p.E_Temp);
    set_text(E_Saln, p.E_Saln);
    if (PD_ScatType->currentIndex() != p.PD_ScatType)
        PD_ScatType->setCurrentIndex(p.PD_ScatType);
    set_text(E_ScatWL, p.E_ScatWL);

    set_text(L_Clock, s.L_Clock);
    set_text(L_TimeStamp, s.L_TimeStamp);
    set_text(L_Serial, s.L_Serial);
    set_text(L_FacCalTemp, s.L_FacCalTemp);
    set_text(L_Progress, s.L_Progress);
    set_text(L_InternalTemp, s.L_InternalTemp);
    set_text(L_ExternalTemp, s.L_ExternalTemp);
    set_text(L_DevFileTempCal, s.L_DevFileTempCal);
    set_text(L_SizeOfFile, s.L_SizeOfFile);
    syncing_ = false;
}
