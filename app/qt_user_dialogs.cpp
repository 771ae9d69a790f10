#include "qt_user_dialogs.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QVBoxLayout>

#include "processing_dialogs.h"
#include "small_dialogs.h"

QString qt_file_filter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        // A name that already lists its patterns keeps only the words.
        if (int p = name.indexOf('('); p > 0)
            name = name.left(p).trimmed();
        QStringList patterns;
        for (QString pat : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            pat = pat.trimmed();
            if (pat == "*.*") {
                patterns << "*";
                continue;
            }
            for (const QString& p : {pat, pat.toLower(), pat.toUpper()})
                if (!patterns.contains(p))
                    patterns << p;
        }
        out << name + " (" + patterns.join(' ') + ")";
    }
    return out.join(";;");
}

int QtUserDialogs::message(const std::string& text, const std::string& caption, bool ok_cancel) {
    QMessageBox box(ok_cancel ? QMessageBox::Question : QMessageBox::Information,
                    QString::fromStdString(caption), QString::fromStdString(text),
                    ok_cancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, parent_);
    box.setTextFormat(Qt::PlainText); // file names and file text are shown as they are
    return box.exec() == QMessageBox::Ok ? mrOk : mrCancel;
}

std::optional<std::string> QtUserDialogs::open_file(const std::string& title,
                                                    const std::string& filter) {
    QString path = QFileDialog::getOpenFileName(parent_, QString::fromStdString(title), lastDir_,
                                                qt_file_filter(filter));
    if (path.isEmpty())
        return std::nullopt;
    lastDir_ = QFileInfo(path).absolutePath();
    return QFile::encodeName(path).toStdString();
}

std::optional<std::string> QtUserDialogs::save_file(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& proposed_name) {
    QString proposed = QString::fromStdString(proposed_name);
    if (!proposed.isEmpty() && QFileInfo(proposed).isRelative() && !lastDir_.isEmpty())
        proposed = lastDir_ + "/" + proposed;
    QString path = QFileDialog::getSaveFileName(parent_, QString::fromStdString(title), proposed,
                                                qt_file_filter(filter));
    if (path.isEmpty())
        return std::nullopt;
    lastDir_ = QFileInfo(path).absolutePath();
    return QFile::encodeName(path).toStdString();
}

int QtUserDialogs::fac_cal_query(double& value) {
    int r = w_.facCalQuery->exec();
    if (r == mrFacCalValue)
        value = w_.facCalQuery->value;
    return r;
}

int QtUserDialogs::continue_saving() {
    return w_.contSaving->exec();
}

int QtUserDialogs::load_ctd_columns(const std::string& path, CtdColumns& columns) {
    w_.loadCtd->Prepare(path, columns);
    int r = w_.loadCtd->exec();
    if (r == mrOk)
        columns = w_.loadCtd->accepted;
    return r;
}

std::string QtUserDialogs::water_temperature_text() {
    return w_.makeWater->E_Temp->text().toStdString();
}

int QtUserDialogs::water_scat_index() {
    return w_.makeWater->PD_Scattering->currentIndex();
}

int QtUserDialogs::make_water(const WaterCalRequest& request) {
    w_.makeWater->Prepare(request);
    return w_.makeWater->exec();
}

void QtUserDialogs::about() {
    w_.about->exec();
}

std::optional<std::int64_t> QtUserDialogs::start_time(std::int64_t proposed) {
    QDialog box(parent_);
    box.setObjectName("F_StartTime");
    box.setWindowTitle("Set Start Time");
    auto* v = new QVBoxLayout(&box);
    v->addWidget(new QLabel("UTC time of the first record:", &box));
    auto* field = new QDateTimeEdit(&box);
    field->setObjectName("E_StartTime");
    field->setTimeSpec(Qt::UTC);
    field->setDisplayFormat("yyyy-MM-dd HH:mm:ss.zzz");
    field->setDateTime(QDateTime::fromMSecsSinceEpoch(proposed, Qt::UTC));
    v->addWidget(field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    v->addWidget(buttons);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->dateTime().toMSecsSinceEpoch();
}

int QtUserDialogs::qc_thresholds(ProcessingOptions::Qc& qc) {
    TF_QcThresholds box(parent_);
    box.show_values(qc);
    if (box.exec() != QDialog::Accepted)
        return mrCancel;
    qc = box.values();
    return mrOk;
}

int QtUserDialogs::seabass_metadata(const std::vector<std::string>& keywords,
                                    std::map<std::string, std::string>& values,
                                    const std::vector<std::string>& missing) {
    TF_SeabassMetadata box(parent_);
    box.show_keywords(keywords, values, missing);
    if (box.exec() != QDialog::Accepted)
        return mrCancel;
    values = box.values();
    return mrOk;
}

void QtUserDialogs::findings(const std::string& title, const std::vector<std::string>& lines) {
    show_findings(parent_, QString::fromStdString(title), lines);
}
