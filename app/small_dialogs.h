// The small modal windows: factory-temperature query, continue-saving choice, water calibration
// confirmation, About box and the CTD column dialog.  Each ends with the modal result its
// caller tests; closing with the close box ends with 2 (cancel).
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "app_services.h"

class ChartWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;
class QPushButton;

class TF_FacCalQuery : public QDialog {
    Q_OBJECT
  public:
    explicit TF_FacCalQuery(QWidget* parent = nullptr);
    double value = 0.0; // the last temperature entered
    QLineEdit* E_Temp = nullptr;
    QPushButton* Button1 = nullptr; // "OK"
    QPushButton* Button2 = nullptr; // "Cancel"
  public slots:
    void Button1Click();
    void Button2Click();
    void reject() override; // the close box
};

class TF_ContSaving : public QDialog {
    Q_OBJECT
  public:
    explicit TF_ContSaving(QWidget* parent = nullptr);
    QPushButton* Button1 = nullptr; // "Just save what has been read" -> 2
    QPushButton* Button2 = nullptr; // "Save and continuing saving to file" -> 1
    void reject() override;
};

class TF_MakeWater : public QDialog {
    Q_OBJECT
  public:
    explicit TF_MakeWater(QWidget* parent = nullptr);
    QLineEdit* E_Temp = nullptr;
    QComboBox* PD_Scattering = nullptr; // hidden; filled and read by the caller
    QLineEdit* E_ScatWL = nullptr;      // hidden
    ChartWidget* Chart = nullptr;       // "Potential Water File": "Absorption", "Attenuation"
    QPushButton* B_OK = nullptr;
    QPushButton* B_Cancel = nullptr;
    // Fills the dialog for one use as "Save As Water File" does before showing it.
    void Prepare(const WaterCalRequest& request);
  public slots:
    void B_OKClick();
    void B_CancelClick();
    void reject() override;
};

class TAboutBox1 : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox1(QWidget* parent = nullptr);
};

class TF_LoadCTD : public QDialog {
    Q_OBJECT
  public:
    explicit TF_LoadCTD(QWidget* parent = nullptr);
    // The first lines of the file, one field a cell under its column number (as the column
    // fields count them), scrolled when they do not fit.
    QTableWidget* SG_Preview = nullptr;
    QLineEdit* E_timecol = nullptr;
    QLineEdit* E_prescol = nullptr;
    QLineEdit* E_tempcol = nullptr;
    QLineEdit* E_salncol = nullptr;
    QComboBox* PD_TimeFormat = nullptr; // ctd_columns::kTimeFormatItems
    QLineEdit* E_Lag = nullptr;         // seconds added to the CTD times
    // Puts the time-shift tool's estimate into E_Lag; off without one.
    QPushButton* B_UseEstimate = nullptr;
    CtdColumns accepted;
    // Fills the preview of `path` and the fields from `columns`; raises "Unable to open file."
    void Prepare(const std::string& path, const CtdColumns& columns);
  public slots:
    void OKClick();
    void reject() override;

  private:
    std::optional<double> estimate_;
    std::vector<std::string> preview_;
};
