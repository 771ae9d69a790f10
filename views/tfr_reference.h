// The reference view: the reference-detector counts that the reader decoded for one instrument
// record, a and c channels in ascending wavelength; the newest record, or the one chosen with
// the scroll bar.
#pragma once

#include "tfr_parent_frame.h"

class ChartWidget;
class QCheckBox;
class QLabel;
class QScrollBar;
class SelectionSink;
class parent_reader;

class TFr_Reference : public TFr_ParentFrame {
    Q_OBJECT
  public:
    explicit TFr_Reference(QWidget* parent = nullptr, SelectionSink* sink = nullptr);
    ~TFr_Reference() override;

    // Non-owning; null detaches.  The main window gives the view every new reader (or null)
    // before it destroys the old one.
    void AttachReader(parent_reader* reader);
    parent_reader* reader() const { return reader_; }

    // Redraws from the reader's packets (the main window refreshes every view after each tick).
    void Refresh() override;

    ChartWidget* iPlot1 = nullptr;
    QScrollBar* SB_Number = nullptr; // 1-based record number; at its maximum it follows the newest
    QCheckBox* CheckBox1 = nullptr;  // "Show a"
    QCheckBox* CheckBox2 = nullptr;  // "Show c"
    QLabel* Label1 = nullptr;

  public slots:
    void SB_NumberChange();
    void CheckBoxClick();

  private:
    parent_reader* reader_ = nullptr;
    bool following_ = true;
};
