#include "processing_dialogs.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The threshold fields with their captions, in the order they are shown.
struct Field {
    const char* caption;
    double ProcessingOptions::Qc::*member;
    double lo, hi;
    int decimals;
};
constexpr Field kFields[] = {
    {"Range minimum (1/m)", &ProcessingOptions::Qc::range_min, -100, 100, 4},
    {"Range maximum (1/m)", &ProcessingOptions::Qc::range_max, -100, 1000, 4},
    {"Spike suspect (1/m)", &ProcessingOptions::Qc::spike_suspect, 0, 100, 4},
    {"Spike fail (1/m)", &ProcessingOptions::Qc::spike_fail, 0, 100, 4},
    {"Flat line tolerance (1/m)", &ProcessingOptions::Qc::flat_eps, 0, 1, 8},
    {"Negative b suspect (1/m)", &ProcessingOptions::Qc::neg_b_suspect, -100, 100, 4},
    {"Negative b fail (1/m)", &ProcessingOptions::Qc::neg_b_fail, -100, 100, 4},
    {"Gap factor (× median step)", &ProcessingOptions::Qc::gap_factor, 1, 1000, 2},
    {"Residual temperature suspect (°C)", &ProcessingOptions::Qc::residual_suspect, 0, 100, 3},
    {"Residual temperature fail (°C)", &ProcessingOptions::Qc::residual_fail, 0, 100, 3},
    {"Record window from (nm)", &ProcessingOptions::Qc::window_lo, 300, 900, 1},
    {"Record window to (nm)", &ProcessingOptions::Qc::window_hi, 300, 900, 1},
};

} // namespace

TF_QcThresholds::TF_QcThresholds(QWidget* parent) : QDialog(parent) {
    setObjectName("TF_QcThresholds");
    setWindowTitle("QC Thresholds");
    auto* v = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (const Field& f : kFields) {
        auto* box = new QDoubleSpinBox(this);
        box->setRange(f.lo, f.hi);
        box->setDecimals(f.decimals);
        numbers_.push_back(box);
        form->addRow(f.caption, box);
    }
    flatSuspect_ = new QSpinBox(this);
    flatFail_ = new QSpinBox(this);
    for (QSpinBox* box : {flatSuspect_, flatFail_})
        box->setRange(1, 100000);
    form->addRow("Flat line suspect after (records)", flatSuspect_);
    form->addRow("Flat line fail after (records)", flatFail_);
    v->addLayout(form);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] {
                ProcessingOptions::Qc defaults;
                defaults.apply = kept_.apply;
                show_values(defaults);
            });
    v->addWidget(buttons);
}

void TF_QcThresholds::show_values(const ProcessingOptions::Qc& qc) {
    kept_ = qc;
    for (std::size_t i = 0; i < numbers_.size(); ++i)
        numbers_[i]->setValue(qc.*(kFields[i].member));
    flatSuspect_->setValue(qc.flat_suspect);
    flatFail_->setValue(qc.flat_fail);
}

ProcessingOptions::Qc TF_QcThresholds::values() const {
    ProcessingOptions::Qc qc = kept_;
    for (std::size_t i = 0; i < numbers_.size(); ++i)
        qc.*(kFields[i].member) = numbers_[i]->value();
    qc.flat_suspect = flatSuspect_->value();
    qc.flat_fail = flatFail_->value();
    return qc;
}

TF_SeabassMetadata::TF_SeabassMetadata(QWidget* parent) : QDialog(parent) {
    setObjectName("TF_SeabassMetadata");
    setWindowTitle("SeaBASS Metadata");
    resize(460, 560);
}

void TF_SeabassMetadata::show_keywords(const std::vector<std::string>& keywords,
                                       const std::map<std::string, std::string>& values,
                                       const std::vector<std::string>& missing) {
    delete layout();
    for (QObject* child : children())
        if (child->isWidgetType())
            delete child;
    fields_.clear();
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("SeaBASS header keywords (blanks become _):", this));
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    auto* inner = new QWidget(area);
    auto* form = new QFormLayout(inner);
    for (const std::string& k : keywords) {
        auto* edit = new QLineEdit(inner);
        edit->setObjectName(QString::fromStdString("E_" + k));
        if (auto it = values.find(k); it != values.end())
            edit->setText(QString::fromStdString(it->second));
        QString caption = QString::fromStdString(k);
        for (const std::string& m : missing)
            if (m == k)
                caption = "<b>" + caption + "</b> (needed)";
        form->addRow(new QLabel(caption, inner), edit);
        fields_.emplace_back(k, edit);
    }
    area->setWidget(inner);
    v->addWidget(area, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    v->addWidget(buttons);
}

std::map<std::string, std::string> TF_SeabassMetadata::values() const {
    std::map<std::string, std::string> out;
    for (const auto& [k, edit] : fields_) {
        const QString t = edit->text().trimmed();
        if (!t.isEmpty())
            out[k] = t.toStdString();
    }
    return out;
}

void show_findings(QWidget* parent, const QString& title, const std::vector<std::string>& lines) {
    QDialog box(parent);
    box.setWindowTitle(title);
    box.resize(560, 320);
    auto* v = new QVBoxLayout(&box);
    auto* list = new QListWidget(&box);
    for (const std::string& line : lines)
        list->addItem(QString::fromStdString(line));
    v->addWidget(list, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &box);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    v->addWidget(buttons);
    box.exec();
}
