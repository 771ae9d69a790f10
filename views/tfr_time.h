// The time view: corrected a of one channel and corrected c of one channel against the record
// time, one point per record; picks a record (click) or a range (two cursors and "Grab").
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "tfr_channel_plot.h"

class QCheckBox;
class QPushButton;
class SeriesWindow;

class TFr_Time : public TFr_ChannelPlot {
    Q_OBJECT
  public:
    explicit TFr_Time(QWidget* parent = nullptr, SelectionSink* sink = nullptr);
    ~TFr_Time() override;

    void AttachData(HYP_Data* data) override;
    void Refresh() override;
    void SetLiveMode(bool live) override;
    void NewRecords() override;

    QCheckBox* CB_Orientation = nullptr;
    QCheckBox* CB_StupidCheckBox = nullptr;
    QPushButton* B_Grab = nullptr;

  public slots:
    void CB_GenericClick();
    void iXYPlot1BeforeDataCursorUpdate();
    void B_GrabClick();

  protected:
    void showFailure(const QString& message) override;
    const std::vector<double>& productKey(const ProductTable& t) override;

  private:
    // What the chart shows, so that a redraw after appended records only adds the new ones.
    struct Drawn {
        const HYP_Data* data = nullptr;
        std::size_t records = 0;
        int a = -1, c = -1;
        bool swapped = false;
        double firstTime = 0.0, lastTime = 0.0;
        std::vector<double> settings; // correction settings the values were computed with
    };
    void redrawAll(int a, int c, bool swapped);
    bool appendNewRecords(int a, int c, bool swapped, const std::vector<double>& key);
    void addSeries(std::vector<double> times, std::vector<double> A, std::vector<double> C,
                   bool swapped, bool replace);
    void applyOrientation();

    Drawn drawn_;
    std::unique_ptr<SeriesWindow> window_;
    bool live_ = false;
    std::vector<double> times_; // record times of the last full redraw
};
