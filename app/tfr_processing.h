// The post-processing panel's "Processing" group (wavelength grid, residual temperature
// correction fields, QC flags, bins) and "Output" group (the formats a save writes).  It shows
// ProcessingPanelState and forwards every change; ProcessingController does the work.
#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
struct ProcessingPanelState;

class TFr_Processing : public QWidget {
    Q_OBJECT
  public:
    explicit TFr_Processing(QWidget* parent = nullptr);

    void attach(ProcessingPanelState* state) { state_ = state; }
    void sync(bool enabled);

    // A control changed (the state holds the new value); the thresholds and metadata buttons.
    std::function<void()> onChanged, onThresholds, onMetadata;

    // Grid
    QComboBox* PD_Grid = nullptr; // "Native", "c onto a", "Regular grid"
    QDoubleSpinBox* E_GridStart = nullptr;
    QDoubleSpinBox* E_GridStop = nullptr;
    QDoubleSpinBox* E_GridStep = nullptr;
    // Residual temperature correction (chosen in the corrections group's scattering list)
    QDoubleSpinBox* E_RtRef = nullptr;
    QDoubleSpinBox* E_RtLo = nullptr;
    QDoubleSpinBox* E_RtHi = nullptr;
    QLabel* L_Residual = nullptr;
    // QC
    QCheckBox* CB_QC = nullptr;
    QPushButton* B_Thresholds = nullptr;
    // Bins
    QComboBox* PD_Bin = nullptr; // "None", "Time", "Depth"
    QDoubleSpinBox* E_BinWidth = nullptr;
    QLabel* L_BinUnit = nullptr;
    QComboBox* PD_BinDirection = nullptr; // "Both casts", "Down cast", "Up cast"
    QComboBox* PD_BinStat = nullptr;      // "Median", "Mean"
    QSpinBox* E_BinMin = nullptr;
    QCheckBox* CB_ExcludeSuspect = nullptr;
    // Why the products could not be made, when they could not.
    QLabel* L_Note = nullptr;
    // Output
    QCheckBox* CB_Text = nullptr;
    QCheckBox* CB_NetCDF = nullptr;
    QCheckBox* CB_SeaBASS = nullptr;
    QPushButton* B_Metadata = nullptr;

  private:
    void edited();
    ProcessingPanelState* state_ = nullptr;
    bool syncing_ = false;
    QWidget* processing_ = nullptr;
    QWidget* gridFields_ = nullptr;
    QWidget* binFields_ = nullptr;
};
