// The residual temperature view: the temperature difference the residual temperature
// correction found for each record, against time.
#pragma once

#include "tfr_parent_frame.h"

class ChartWidget;

class TFr_Residual : public TFr_ParentFrame {
    Q_OBJECT
  public:
    explicit TFr_Residual(QWidget* parent = nullptr);
    ~TFr_Residual() override;

    void AttachData(HYP_Data* data) override;
    void Refresh() override;

    ChartWidget* chart = nullptr;

  private:
    const HYP_Data* data_ = nullptr;
};
