#include "small_dialogs.h"

#include <algorithm>

#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app_icon.h"
#include "chart_widget.h"
#include "ctd_columns.h"
#include "text.h"

namespace {

QLabel* wrapped(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

void warn(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

// ---- TF_FacCalQuery

TF_FacCalQuery::TF_FacCalQuery(QWidget* parent) : QDialog(parent) {
    setObjectName("F_FacCalQuery");
    setWindowTitle("Who made that devfile, anyway?");
    resize(274, 193);
    auto* v = new QVBoxLayout(this);
    v->addWidget(wrapped("Unable to parse factory calibration temperature.  This value is required "
                         "to be correctly make temperature corrections.  You may be able to edit "
                         "the device file to prevent this from occuring in the future.",
                         this));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Factory Temperature Calibration:  ", this));
    E_Temp = new QLineEdit(this);
    row->addWidget(E_Temp);
    row->addWidget(new QLabel("C", this));
    v->addLayout(row);
    auto* buttons = new QHBoxLayout;
    Button2 = new QPushButton("Cancel", this);
    Button1 = new QPushButton("OK", this);
    Button1->setDefault(true);
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(Button1);
    v->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TF_FacCalQuery::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TF_FacCalQuery::Button2Click);
}

void TF_FacCalQuery::Button1Click() {
    std::size_t used = 0;
    const std::string t = E_Temp->text().toStdString();
    const double v = text::parse_typed_number(t, &used);
    if (used == 0) {
        warn(this, "Unable to parse value entered", "What number is that?");
        return;
    }
    value = v;
    done(mrFacCalValue);
}

void TF_FacCalQuery::Button2Click() {
    done(mrFacCalCancelled);
}
void TF_FacCalQuery::reject() {
    done(mrCancel);
}

// ---- TF_ContSaving

TF_ContSaving::TF_ContSaving(QWidget* parent) : QDialog(parent) {
    setObjectName("F_ContSaving");
    setWindowTitle("Continue Saving?");
    resize(300, 226);
    auto* v = new QVBoxLayout(this);
    v->addWidget(wrapped("You are not currently saving the data as it is read.", this));
    v->addWidget(wrapped("Do you wish to save the data as it is read from the device, or just save "
                         "what you have so far?",
                         this));
    auto* row = new QHBoxLayout;
    auto tall = [this](const QString& caption) {
        auto* b = new QPushButton(this);
        auto* l = new QLabel(caption, b);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignCenter);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* bl = new QVBoxLayout(b);
        bl->addWidget(l);
        b->setMinimumHeight(80);
        b->setAccessibleName(caption);
        return b;
    };
    Button1 = tall("Just save what has been read");
    Button2 = tall("Save and continuing saving to file");
    row->addWidget(Button1);
    row->addWidget(Button2);
    v->addLayout(row);
    connect(Button1, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(mrOk); });
}

void TF_ContSaving::reject() {
    done(mrCancel);
}

// ---- TF_MakeWater

TF_MakeWater::TF_MakeWater(QWidget* parent) : QDialog(parent) {
    setObjectName("F_MakeWater");
    setWindowTitle("Make Water Cal");
    resize(851, 413);
    auto* h = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(wrapped("These values came from your previous selections.", this));
    auto* form = new QFormLayout;
    auto* temp = new QHBoxLayout;
    E_Temp = new QLineEdit(this);
    temp->addWidget(E_Temp);
    temp->addWidget(new QLabel("C", this));
    form->addRow("Temperature:", temp);
    PD_Scattering = new QComboBox(this);
    PD_Scattering->addItems({"Proportional Correction", "Baseline Correction"});
    E_ScatWL = new QLineEdit(this);
    auto* scatLabel = new QLabel("Scattering Correction:", this);
    auto* wlLabel = new QLabel("At wavelength:", this);
    form->addRow(scatLabel, PD_Scattering);
    form->addRow(wlLabel, E_ScatWL);
    for (QWidget* w : {static_cast<QWidget*>(PD_Scattering), static_cast<QWidget*>(E_ScatWL),
                       static_cast<QWidget*>(scatLabel), static_cast<QWidget*>(wlLabel)})
        w->hide();
    left->addLayout(form);
    left->addStretch();
    B_OK = new QPushButton("Make Water Cal File", this);
    B_Cancel = new QPushButton("Cancel", this);
    left->addWidget(B_OK);
    left->addWidget(B_Cancel);
    h->addLayout(left, 0);
    Chart = new ChartWidget(ChartWidget::Kind::Line, this);
    Chart->setTitle("Potential Water File");
    Chart->addChannel("Absorption");
    Chart->addChannel("Attenuation", QColor(Qt::blue));
    Chart->setLegendVisible(true);
    Chart->setToolbarVisible(false);
    Chart->setAxisLabel(ChartWidget::Axis::X, "Wavelength (nm)");
    Chart->setAxisLabel(ChartWidget::Axis::Y, "1/m");
    h->addWidget(Chart, 1);
    connect(B_OK, &QPushButton::clicked, this, &TF_MakeWater::B_OKClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TF_MakeWater::B_CancelClick);
}

void TF_MakeWater::Prepare(const WaterCalRequest& r) {
    Chart->clearChannel(0);
    Chart->clearChannel(1);
    E_Temp->clear();
    PD_Scattering->setCurrentIndex(
        r.scat_index >= 0 && r.scat_index < PD_Scattering->count() ? r.scat_index : -1);
    E_ScatWL->setText(QString::fromStdString(r.scat_wl_text));
    Chart->addPoints(0, r.a_wavelengths, r.a_mean);
    Chart->addPoints(1, r.c_wavelengths, r.c_mean);
    Chart->fitAll();
}

void TF_MakeWater::B_OKClick() {
    if (E_Temp->text().isEmpty()) {
        warn(this, "You must provide a temperature to create a water calibration file.",
             "How warm was it?");
        return;
    }
    done(mrOk);
}

void TF_MakeWater::B_CancelClick() {
    done(mrCancel);
}
void TF_MakeWater::reject() {
    done(mrCancel);
}

// ---- TAboutBox1

TAboutBox1::TAboutBox1(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox1");
    setWindowTitle("About");
    resize(297, 213);
    auto* v = new QVBoxLayout(this);
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    auto* pv = new QGridLayout(panel);
    auto* icon = new QLabel(panel);
    icon->setPixmap(velmora_icon().pixmap(64, 64));
    pv->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    auto* name = new QLabel("<b>Velmora</b>", panel);
    pv->addWidget(name, 0, 1);
    pv->addWidget(new QLabel("Version 2.0", panel), 1, 1);
    pv->addWidget(new QLabel("Compiled 8 April 2009", panel), 2, 1);
    v->addWidget(panel);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addStretch();
    v->addLayout(row);
    connect(ok, &QPushButton::clicked, this, [this] { done(mrOk); });
}

// ---- TF_LoadCTD

TF_LoadCTD::TF_LoadCTD(QWidget* parent) : QDialog(parent) {
    setObjectName("F_LoadCTD");
    setWindowTitle("Choose CTD columns");
    // Wider than the design's 527 x 253: five columns of a CTD log and the fields side by side.
    resize(760, 420);
    auto* h = new QHBoxLayout(this);
    SG_Preview = new QTableWidget(this);
    SG_Preview->setObjectName("SG_Preview");
    SG_Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SG_Preview->setSelectionMode(QAbstractItemView::NoSelection);
    SG_Preview->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    SG_Preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    SG_Preview->verticalHeader()->setDefaultSectionSize(SG_Preview->fontMetrics().height() + 4);
    SG_Preview->setToolTip("The file's first lines; the numbers above are the column numbers");
    h->addWidget(SG_Preview, 1);
    auto* right = new QVBoxLayout;
    auto* form = new QFormLayout;
    E_timecol = new QLineEdit("1", this);
    E_prescol = new QLineEdit("2", this);
    E_tempcol = new QLineEdit("3", this);
    E_salncol = new QLineEdit("5", this);
    for (QLineEdit* e : {E_timecol, E_prescol, E_tempcol, E_salncol})
        e->setMaximumWidth(60);
    form->addRow("Time Column", E_timecol);
    form->addRow("Pressure Column", E_prescol);
    form->addRow("Temperature Column", E_tempcol);
    form->addRow("Salinity Column", E_salncol);
    PD_TimeFormat = new QComboBox(this);
    for (const char* item : ctd_columns::kTimeFormatItems)
        PD_TimeFormat->addItem(item);
    E_Lag = new QLineEdit("0", this);
    E_Lag->setMaximumWidth(60);
    E_Lag->setToolTip("Seconds added to every CTD time (a CTD 2.5 s late: -2.5)");
    form->addRow("Time Format", PD_TimeFormat);
    form->addRow("Lag (s)", E_Lag);
    B_UseEstimate = new QPushButton("Use the time-shift estimate", this);
    B_UseEstimate->setObjectName("B_UseEstimate");
    B_UseEstimate->setEnabled(false);
    form->addRow(QString(), B_UseEstimate);
    right->addLayout(form);
    right->addStretch();
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton("Cancel", this);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    right->addLayout(buttons);
    h->addLayout(right);
    connect(ok, &QPushButton::clicked, this, &TF_LoadCTD::OKClick);
    connect(B_UseEstimate, &QPushButton::clicked, this, [this] {
        if (estimate_)
            E_Lag->setText(QString::fromStdString(text::format_g(*estimate_, 10)));
    });
    connect(cancel, &QPushButton::clicked, this, &TF_LoadCTD::reject);
}

void TF_LoadCTD::Prepare(const std::string& path, const CtdColumns& columns) {
    SG_Preview->clear();
    E_timecol->setText(QString::number(columns.time));
    E_prescol->setText(QString::number(columns.pres));
    E_tempcol->setText(QString::number(columns.temp));
    E_salncol->setText(QString::number(columns.saln));
    PD_TimeFormat->setCurrentIndex(static_cast<int>(columns.time_format));
    E_Lag->setText(QString::fromStdString(text::format_g(columns.lag_s, 10)));
    estimate_ = columns.lag_estimate_s;
    B_UseEstimate->setEnabled(estimate_.has_value());
    B_UseEstimate->setText(estimate_ ? QString::fromStdString("Use the time-shift estimate (" +
                                                              text::format_g(*estimate_, 6) + " s)")
                                     : QString("Use the time-shift estimate"));
    B_UseEstimate->setToolTip(estimate_ ? QString()
                                        : QString("Estimate Lag in the time-shift tool first"));
    preview_ = ctd_columns::read_preview(path);
    // Every field under its own column number, titles of a header line too.
    std::vector<std::vector<std::string_view>> rows;
    std::size_t widest = 0;
    for (const auto& line : preview_) {
        rows.push_back(ctd_columns::split_columns(line));
        widest = std::max(widest, rows.back().size());
    }
    SG_Preview->setRowCount(static_cast<int>(rows.size()));
    SG_Preview->setColumnCount(static_cast<int>(widest));
    QStringList numbers;
    for (std::size_t c = 1; c <= widest; ++c)
        numbers << QString::number(c);
    SG_Preview->setHorizontalHeaderLabels(numbers);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            SG_Preview->setItem(static_cast<int>(r), static_cast<int>(c),
                                new QTableWidgetItem(QString::fromLocal8Bit(
                                    rows[r][c].data(), static_cast<int>(rows[r][c].size()))));
    SG_Preview->resizeColumnsToContents();
}

void TF_LoadCTD::OKClick() {
    ctd_columns::FieldTexts f{E_timecol->text().toStdString(), E_prescol->text().toStdString(),
                              E_tempcol->text().toStdString(), E_salncol->text().toStdString()};
    std::string error;
    const std::string check =
        preview_.size() > ctd_columns::kCheckLine ? preview_[ctd_columns::kCheckLine] : "";
    auto cols = ctd_columns::accept(f, check, error);
    if (!cols) {
        warn(this, QString::fromStdString(error), QString());
        return;
    }
    const std::optional<double> lag = ctd_columns::accept_lag(E_Lag->text().toStdString());
    if (!lag) {
        warn(this, "The Lag field has an invalid value.", QString());
        return;
    }
    accepted = *cols;
    accepted.time_format = static_cast<CtdTimeFormat>(std::max(0, PD_TimeFormat->currentIndex()));
    accepted.lag_s = *lag;
    done(mrOk);
}

void TF_LoadCTD::reject() {
    done(mrCancel);
}
