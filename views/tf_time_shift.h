// The time-shift tool: two series (ac data or CTD data) against time; the second is shifted by
// the scroll bar within Min..Max milliseconds, and the lag of best correlation is estimated.
#pragma once

#include <QWidget>
#include <optional>

#include "time_lag.h"

class ChartWidget;
class HYP_Data;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSpinBox;

class TF_TimeShift : public QWidget {
    Q_OBJECT
  public:
    explicit TF_TimeShift(QWidget* parent = nullptr);
    ~TF_TimeShift() override;

    // Non-owning; null detaches.  The main window gives the tool every new data set (or null)
    // before it destroys the old one.
    void AttachData(const HYP_Data* data);
    const HYP_Data* data() const { return data_; }
    // Attaches, shows and raises the window ("Launch Time Lag Utility").
    void Launch(const HYP_Data* data);

    // The series the lists choose, from the attached data set (empty when unavailable).
    TimeSeries firstSeries() const;
    TimeSeries secondSeries() const;
    // Shift of the second series in ms from the scroll bar and the Min/Max fields.
    double shiftMs() const;
    void setShiftMs(double ms);
    double minMs() const;
    double maxMs() const;

    // First data set.
    QComboBox* PD_Source1 = nullptr;   // "ac data", "CTD data"
    QComboBox* PD_Variable1 = nullptr; // "Temperature", "Salinity", "Depth"
    QComboBox* PD_Channel1 = nullptr;  // "a", "c"
    QLineEdit* E1_wl = nullptr;
    QSpinBox* UD1_wl = nullptr;
    // Second data set.
    QComboBox* PD_Source2 = nullptr;
    QComboBox* PD_Variable2 = nullptr;
    QComboBox* PD_Channel2 = nullptr;
    QLineEdit* E2_wl = nullptr;
    QSpinBox* UD2_wl = nullptr;
    QCheckBox* CB_Points = nullptr; // "Use points instead of lines"
    QCheckBox* CB_Invert = nullptr; // "Invert Var 2"
    ChartWidget* iPlot1 = nullptr;
    QLineEdit* E_Min = nullptr;
    QScrollBar* SB_Shift = nullptr;
    QLineEdit* E_Max = nullptr;
    QLineEdit* Edit4 = nullptr;     // the estimated lag
    QPushButton* Button1 = nullptr; // estimates the lag
    // The last estimate as a lag to add to the CTD times (s), when one series is CTD data and
    // the other ac data; nothing otherwise.
    std::optional<double> ctdLagSeconds() const { return ctdLag_; }
    QLabel* L_Status = nullptr;

  signals:
    // An estimate that can stand as a CTD lag (see ctdLagSeconds).
    void ctdLagEstimated(double seconds);

  public slots:
    void Redraw();
    void ShiftChange();
    void Button1Click();

  private:
    TimeSeries series(int source, int variable, int channel, double wavelength) const;
    void stepWavelength(QLineEdit* edit, int step);

    const HYP_Data* data_ = nullptr;
    TimeSeries first_, second_; // as chosen, before the shift
    double shift_ = 0.0;        // exact shift found by the estimate
    bool exactShift_ = false;
    std::optional<double> ctdLag_;
};
