// The base frame of every plot view.  The main window drives views only through the four
// virtual operations; the base versions do nothing.
#pragma once

#include <QFrame>
#include <QString>
#include <vector>

class HYP_Data;
class QScrollBar;

class TFr_ParentFrame : public QFrame {
    Q_OBJECT
  public:
    explicit TFr_ParentFrame(QWidget* parent = nullptr);
    ~TFr_ParentFrame() override;

    // Remembers the data set (non-owning; null detaches), resets the view's controls and draws.
    // The main window must attach the new data set (or null) before it destroys the old one.
    virtual void AttachData(HYP_Data* data);
    // Redraws from the attached data set and the controls.  Correction failures (VelmoraError)
    // pass to the caller; the view stays usable and shows an empty chart.
    virtual void Refresh();
    // True while an acquisition runs.
    virtual void SetLiveMode(bool live);
    // Records have been appended to the attached data set.
    virtual void NewRecords();

    // Sets a channel bar's last position (at least 0) without signalling a change.
    static void setMaximumQuietly(QScrollBar* bar, int maximum);
    // "Synchronize Wavelengths": the other bar moves, without signalling, to the channel of
    // `other_wl` nearest in wavelength to the moved bar's channel.  Neither list may be empty.
    static void synchronizeBar(const QScrollBar* moved, const std::vector<double>& moved_wl,
                               QScrollBar* other, const std::vector<double>& other_wl);

  signals:
    // A redraw started by the view's own controls failed; text of the failure.  (Failures of
    // redraws the main window asks for reach it as exceptions instead.)
    void failed(const QString& message);

  protected:
    // Runs a redraw started by one of the view's own controls: a failure cannot travel through
    // the event loop, so it is shown in the view and signalled.
    void refreshFromControl();
    // Shows or hides the failure text over the chart.
    virtual void showFailure(const QString& message);
};
