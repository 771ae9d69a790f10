// The main window: the two tabs with the acquisition and post-processing panels, the built-in
// spectral and time views, the menus and actions, the plot windows and the selected-data
// window.  It owns the workspace and the controllers and only connects them to widgets: every
// command runs through Run(), which reports an error the command did not catch and then copies
// the workspace's state onto the widgets.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app_services.h"
#include "main_controller.h"
#include "selection_sink.h"
#include "view_list.h"

class QAction;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTimer;
class AcquisitionController;
class AcquiredDataCommands;
class PostProcessController;
class ProcessingController;
class QtUserDialogs;
class ReplayController;
class TAboutBox1;
class TF_ContSaving;
class TF_FacCalQuery;
class TF_FData;
class TF_LoadCTD;
class TF_MakeWater;
class TF_TimeShift;
class TFr_PostProcess;
class TFr_RealTime;
class TFr_ParentFrame;
class ChartWidget;
class TForm1;

// A plot window: one view filling it.  Closing it only hides it.
class TF_Plot : public QWidget {
    Q_OBJECT
  public:
    explicit TF_Plot(QWidget* parent = nullptr);
    TFr_ParentFrame* view = nullptr;
};

class TF_Main : public QMainWindow, public SelectionSink {
    Q_OBJECT
  public:
    struct Options {
        // Scripted answers and a fake clock for tests; the screen's and the system's otherwise.
        UserDialogs* dialogs = nullptr;
        Clock* clock = nullptr;
        // Loading and saving large files on a worker thread behind a progress bar.
        bool background_jobs = true;
    };
    explicit TF_Main(Options options);
    TF_Main() : TF_Main(Options{}) {}
    ~TF_Main() override;

    Workspace ws;

    // First activation (runs once): settings, reader, data set, built-in views.
    void FormActivate();
    // Runs a command of the user and syncs the widgets afterwards.
    bool Run(const std::function<void()>& command);
    // Copies the workspace's state onto every widget.
    void SyncWidgets();

    // Commands of this window.
    void FileOpen1Execute();
    void OpenPlotWindow(MainController::PlotKind kind);
    // Opens a file given on the command line or dropped on the window as the matching command
    // would: a data file with "Load ac Data", a CTD file with "Load CTD Data", a water
    // calibration file with "Load Water".
    void OpenDroppedFile(const std::string& path);

    // SelectionSink: the views' picks go to the selected-data window.
    void ShowSelectedRecord(bool absorption, int recordIndex) override;
    void ShowSelectedRange(bool absorption, int first, int end) override;

    UserDialogs& dialogs() { return *dialogs_; }
    MainController& mainController() { return *main_; }
    PostProcessController& postProcess() { return *post_; }
    ProcessingController& processing() { return *processing_; }
    AcquisitionController& acquisition() { return *acq_; }
    ViewList& viewList() { return views_; }
    const std::vector<QWidget*>& plotWindows() const { return plotWindows_; }

    // Controls.
    QTabWidget* PageControl1 = nullptr;
    TFr_RealTime* Fr_RealTime1 = nullptr;
    TFr_PostProcess* Fr_PostProcess1 = nullptr;
    QWidget* Panel_Graph1 = nullptr;
    QWidget* Panel_Graph2 = nullptr;
    QPushButton* B_PlotTime = nullptr;
    QPushButton* B_PlotDepth = nullptr;
    QPushButton* B_PlotSpectrum = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    // Actions and menu items.
    QAction* FileOpen1 = nullptr;
    QAction* A_LoadCTD = nullptr;
    QAction* M_OpenBinary = nullptr;
    QAction* A_Start = nullptr;
    QAction* A_Stop = nullptr;
    QAction* A_SaveBinary = nullptr;
    QAction* A_SaveFromDevice = nullptr;
    QAction* A_SaveWCorrections = nullptr;
    QAction* M_Exit = nullptr;
    QAction* M_WaterCorrections = nullptr;
    QAction* M_AutoTemp = nullptr;
    QAction* M_Brevian = nullptr;
    QAction* M_SetStartTime = nullptr;
    QAction* M_OpenRecipe = nullptr;
    QAction* M_SaveRecipe = nullptr;
    QAction* A_Binned = nullptr;
    QAction* A_Residual = nullptr;
    QAction* A_Time = nullptr;
    QAction* A_Depth = nullptr;
    QAction* A_Spectra = nullptr;
    QAction* A_ReferenceSpectra = nullptr;
    QAction* AboutVelmora1 = nullptr;

    // Windows created hidden at start-up.
    TF_LoadCTD* F_LoadCTD = nullptr;
    TF_ContSaving* F_ContSaving = nullptr;
    TF_MakeWater* F_MakeWater = nullptr;
    TF_FacCalQuery* F_FacCalQuery = nullptr;
    TAboutBox1* AboutBox1 = nullptr;
    TF_TimeShift* F_TimeShift = nullptr;
    TForm1* Form1 = nullptr;
    TF_FData* F_FData = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void buildLayout();
    void connectCommands();
    void runJob(const std::string& label, const std::function<void()>& job);
    static void syncAction(QAction* action, const ActionState& state);
    // The window's size, place and splitters: stored as it closes, restored at first activation
    // (the design's size when nothing is stored).
    void rememberLayout();
    void restoreLayout();
    // A chart with a time axis takes the stored time-axis format and reports the user's choice.
    void setupTimeChart(ChartWidget* chart);
    // The products are made again a moment after the panel's last change (typing in a field
    // changes it at every key), never while another command or job is running.
    void scheduleReprocess();
    QTimer* reprocessTimer_ = nullptr;

    Options options_;
    SystemClock systemClock_;
    Clock* clock_ = nullptr;
    std::unique_ptr<QtUserDialogs> qtDialogs_;
    UserDialogs* dialogs_ = nullptr;
    ViewList views_;
    std::unique_ptr<MainController> main_;
    std::unique_ptr<PostProcessController> post_;
    std::unique_ptr<ProcessingController> processing_;
    std::unique_ptr<AcquisitionController> acq_;
    std::unique_ptr<AcquiredDataCommands> saves_;
    std::unique_ptr<ReplayController> replay_;
    std::vector<QWidget*> plotWindows_;
    QSplitter* hsplit_ = nullptr;
    QSplitter* vsplit_ = nullptr;
    bool syncing_ = false;
    bool inJob_ = false;
};
