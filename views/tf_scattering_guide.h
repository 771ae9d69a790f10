// The scattering guide: explains the three scattering corrections of the absorption channel
// and mirrors their parameters.  Its controls change nothing in a data set.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    QRadioButton* RB_Baseline = nullptr; // "Baseline Subtraction"
    QLineEdit* E_BaselineWL = nullptr;
    QCheckBox* CB_BaselineNoNegative = nullptr;
    QPushButton* B_BaselinePlot = nullptr;
    QRadioButton* RB_Fraction = nullptr; // "Proportion of scattering"
    QLineEdit* E_Amount = nullptr;
    QRadioButton* RB_Proportional = nullptr; // "Proportional Subtraction"
    QLineEdit* E_ProportionalWL = nullptr;
    QCheckBox* CB_ProportionalNoNegative = nullptr;
    QPushButton* B_ProportionalPlot = nullptr;
};
