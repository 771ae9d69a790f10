#include "tf_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "acquired_data_commands.h"
#include "acquisition_controller.h"
#include "app_icon.h"
#include "chart_widget.h"
#include "command_guard.h"
#include "post_process_controller.h"
#include "processing_controller.h"
#include "qt_user_dialogs.h"
#include "replay_controller.h"
#include "small_dialogs.h"
#include "tf_fdata.h"
#include "tf_scattering_guide.h"
#include "tf_time_shift.h"
#include "tfr_binned.h"
#include "tfr_depth.h"
#include "tfr_postprocess.h"
#include "tfr_processing.h"
#include "tfr_realtime.h"
#include "tfr_reference.h"
#include "tfr_residual.h"
#include "tfr_spectral.h"
#include "tfr_time.h"

TF_Plot::TF_Plot(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Plot Window");
    resize(628, 439);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
}

TF_Main::TF_Main(Options options) : options_(options) {
    setObjectName("F_Main");
    setWindowTitle("Velmora");
    setWindowIcon(velmora_icon());
    setAcceptDrops(true);
    clock_ = options_.clock ? options_.clock : &systemClock_;

    // The windows created hidden at start-up, in their order.
    F_LoadCTD = new TF_LoadCTD(this);
    F_ContSaving = new TF_ContSaving(this);
    F_MakeWater = new TF_MakeWater(this);
    F_FacCalQuery = new TF_FacCalQuery(this);
    AboutBox1 = new TAboutBox1(this);
    F_TimeShift = new TF_TimeShift(this);
    F_TimeShift->setWindowFlag(Qt::Window);
    F_TimeShift->hide();
    Form1 = new TForm1(this);
    Form1->setWindowFlag(Qt::Window);
    Form1->hide();
    views_.timeShift = F_TimeShift;
    // An estimate of the CTD log's lag is kept for the CTD column dialog to offer: the lag the
    // log was merged with plus the shift the tool found.
    connect(F_TimeShift, &TF_TimeShift::ctdLagEstimated, this, [this](double seconds) {
        const double merged = ws.data && ws.data->ctd_merged ? ws.processing.ctd.lag_s : 0.0;
        ws.ctd_lag_estimate_s = merged + seconds;
        statusBar()->showMessage(QString::asprintf("CTD lag %+.3f s kept: Load CTD Data offers it.",
                                                   *ws.ctd_lag_estimate_s),
                                 15000);
    });

    qtDialogs_ = std::make_unique<QtUserDialogs>(
        this,
        QtUserDialogs::Windows{F_LoadCTD, F_ContSaving, F_MakeWater, F_FacCalQuery, AboutBox1});
    dialogs_ = options_.dialogs ? options_.dialogs : qtDialogs_.get();

    AppContext ctx{ws, *dialogs_, views_, *clock_};
    main_ = std::make_unique<MainController>(ctx);
    post_ = std::make_unique<PostProcessController>(ctx);
    processing_ = std::make_unique<ProcessingController>(ctx, *post_);
    acq_ = std::make_unique<AcquisitionController>(ctx);
    saves_ = std::make_unique<AcquiredDataCommands>(ctx, *acq_);
    replay_ = std::make_unique<ReplayController>(ctx, *acq_);

    acq_->apply_correction_options = [this] { post_->ApplyCorrectionOptions(); };
    acq_->reader_replaced = [this](parent_reader* r) { views_.AttachReader(r); };
    if (options_.background_jobs)
        ws.job_runner = [this](const std::string& label, const std::function<void()>& job) {
            runJob(label, job);
        };

    buildMenus();
    buildLayout();
    connectCommands();
    resize(970, 656);
    SyncWidgets();
}

TF_Main::~TF_Main() {
    // No signal of a widget being torn down may reach the controllers, which go first.
    syncing_ = true;
    PageControl1->disconnect(this);
    Fr_PostProcess1->attach(nullptr);
    Fr_RealTime1->attach(nullptr, nullptr);
    // The views go before the data set and the reader they point to.
    Timer1->stop();
    Timer2->stop();
    views_.AttachReader(nullptr);
    try {
        views_.AttachData(nullptr);
    } catch (...) {
    }
}

void TF_Main::buildMenus() {
    auto action = [this](const QString& text, const char* name) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        return a;
    };
    FileOpen1 = action("&Open ac File For Post Processing", "FileOpen1");
    FileOpen1->setShortcut(QKeySequence("Ctrl+O"));
    FileOpen1->setToolTip("Open");
    FileOpen1->setStatusTip("Open a file");
    A_LoadCTD = action("Load CTD Data", "A_LoadCTD");
    M_OpenBinary = action("Open &Binary File For Post Processing", "M_OpenBinary");
    A_Start = action("Start Acquisition", "A_Start");
    A_Start->setShortcut(QKeySequence(Qt::Key_F1));
    A_Start->setIconText("Start");
    A_Stop = action("Stop Acquisition and Save", "A_Stop");
    A_Stop->setShortcut(QKeySequence(Qt::Key_F2));
    A_Stop->setIconText("Stop");
    A_SaveBinary = action("Save Raw Binary From Device", "A_SaveBinary");
    A_SaveBinary->setIconText("Save Binary");
    A_SaveFromDevice = action("Save Raw Data From Device", "A_SaveFromDevice");
    A_SaveWCorrections = action("Save With Corrected Data From Device", "A_SaveWCorrections");
    A_SaveWCorrections->setIconText("Save w/Corrections");
    M_Exit = action("Exit", "M_Exit");
    // Ctrl+X of the design, and the platform's Quit beside it: in a text field Ctrl+X cuts.
    M_Exit->setShortcuts({QKeySequence("Ctrl+X"), QKeySequence(QKeySequence::Quit)});

    M_OpenRecipe = action("Open Recipe…", "M_OpenRecipe");
    M_SaveRecipe = action("Save Recipe…", "M_SaveRecipe");
    M_OpenRecipe->setStatusTip(
        "Put the processing options of a recipe on the post-processing panel");
    M_SaveRecipe->setStatusTip("Save the post-processing panel's options as a recipe");

    auto* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    file->setToolTip("File related commands");
    file->menuAction()->setStatusTip("File related commands");
    file->addAction(FileOpen1);
    file->addAction(A_LoadCTD);
    file->addAction(M_OpenBinary);
    file->addSeparator();
    file->addAction(M_OpenRecipe);
    file->addAction(M_SaveRecipe);
    file->addSeparator();
    file->addAction(A_Start);
    file->addAction(A_Stop);
    file->addSeparator();
    file->addAction(A_SaveBinary);
    file->addAction(A_SaveFromDevice);
    file->addAction(A_SaveWCorrections);
    file->addSeparator();
    file->addAction(M_Exit);

    M_WaterCorrections = action("Show Water Corrections", "M_WaterCorrections");
    M_AutoTemp = action("Automatically update temperature", "M_AutoTemp");
    M_Brevian = action("Brevian Mode", "M_Brevian");
    for (QAction* a : {M_WaterCorrections, M_AutoTemp, M_Brevian})
        a->setCheckable(true);
    auto* options = menuBar()->addMenu("Options");
    options->addAction(M_WaterCorrections);
    options->addAction(M_AutoTemp);
    options->addAction(M_Brevian);
    M_SetStartTime = action("Set Start Time…", "M_SetStartTime");
    options->addSeparator();
    options->addAction(M_SetStartTime);

    A_Time = action("Plot Time", "A_Time");
    A_Depth = action("Plot Depth", "A_Depth");
    A_Spectra = action("Plot Spectrum", "A_Spectra");
    A_Spectra->setIconText("Plot Spectra");
    A_ReferenceSpectra = action("Plot Reference Spectra (flw only)", "A_ReferenceSpectra");
    A_ReferenceSpectra->setIconText("Plot Reference Spectra");
    auto* graphs = menuBar()->addMenu("Graphs");
    graphs->addAction(A_Time);
    graphs->addAction(A_Depth);
    graphs->addAction(A_Spectra);
    A_Binned = action("Binned Spectra", "A_Binned");
    A_Residual = action("Residual Temperature", "A_Residual");
    graphs->addAction(A_Binned);
    graphs->addAction(A_Residual);
    graphs->addSeparator();
    graphs->addAction(A_ReferenceSpectra);

    AboutVelmora1 = action("About Velmora", "AboutVelmora1");
    auto* about = menuBar()->addMenu("About");
    about->addAction(AboutVelmora1);

    // Shortcuts work wherever the focus is in the window, also while the menu item is hidden.
    for (QAction* a : {FileOpen1, A_Start, A_Stop, M_Exit})
        addAction(a);
}

void TF_Main::buildLayout() {
    auto* hsplit = new QSplitter(Qt::Horizontal, this);
    hsplit_ = hsplit;
    hsplit->setObjectName("Splitter1");
    hsplit->setChildrenCollapsible(false);

    auto* left = new QWidget(hsplit);
    auto* lv = new QVBoxLayout(left);
    lv->setContentsMargins(4, 4, 0, 4);
    PageControl1 = new QTabWidget(left);
    PageControl1->setObjectName("PageControl1");
    auto scrolled = [this](QWidget* content) {
        auto* area = new QScrollArea(PageControl1);
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setWidget(content);
        return area;
    };
    Fr_RealTime1 = new TFr_RealTime;
    Fr_RealTime1->setObjectName("Fr_RealTime1");
    Fr_PostProcess1 = new TFr_PostProcess;
    PageControl1->addTab(scrolled(Fr_RealTime1), "Data Acquisition");
    PageControl1->addTab(scrolled(Fr_PostProcess1), "Post Processing");
    lv->addWidget(PageControl1, 1);

    auto* strip = new QWidget(left);
    strip->setMinimumHeight(44);
    auto* sl = new QHBoxLayout(strip);
    sl->setContentsMargins(0, 4, 0, 4);
    B_PlotTime = new QPushButton("Plot Time", strip);
    B_PlotDepth = new QPushButton("Plot Depth", strip);
    B_PlotSpectrum = new QPushButton("Plot Spectrum", strip);
    for (QPushButton* b : {B_PlotTime, B_PlotDepth, B_PlotSpectrum})
        sl->addWidget(b);
    lv->addWidget(strip);
    left->setMinimumWidth(280);

    auto* vsplit = new QSplitter(Qt::Vertical, hsplit);
    vsplit_ = vsplit;
    vsplit->setObjectName("Splitter2");
    vsplit->setHandleWidth(3);
    vsplit->setChildrenCollapsible(false);
    Panel_Graph1 = new QWidget(vsplit);
    Panel_Graph1->setObjectName("Panel_Graph1");
    new QVBoxLayout(Panel_Graph1);
    Panel_Graph2 = new QWidget(vsplit);
    Panel_Graph2->setObjectName("Panel_Graph2");
    new QVBoxLayout(Panel_Graph2);
    for (QWidget* p : {Panel_Graph1, Panel_Graph2})
        p->layout()->setContentsMargins(0, 0, 0, 0);
    vsplit->setSizes({346, 656 - 346 - 3});
    hsplit->addWidget(left);
    hsplit->addWidget(vsplit);
    hsplit->setStretchFactor(0, 0);
    hsplit->setStretchFactor(1, 1);
    // 307 pixels in the design's small font; wider when this font needs more room.
    const int panels = std::max(Fr_RealTime1->minimumSizeHint().width(),
                                Fr_PostProcess1->minimumSizeHint().width());
    const int leftWidth =
        std::max(307, panels + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16);
    hsplit->setSizes({leftWidth, 970 - leftWidth});
    setCentralWidget(hsplit);
    statusBar()->setSizeGripEnabled(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(1000);
    Timer2->start();

    Fr_RealTime1->attach(acq_.get(), &ws);
    Fr_RealTime1->bind_actions(A_Start, A_Stop);
    Fr_RealTime1->run_command = [this](const std::function<void()>& f) { Run(f); };
    Fr_PostProcess1->attach(&ws.post, &ws.processing);

    reprocessTimer_ = new QTimer(this);
    reprocessTimer_->setSingleShot(true);
    reprocessTimer_->setInterval(250);
    Fr_PostProcess1->bind_load_ctd(A_LoadCTD);
}

void TF_Main::connectCommands() {
    auto on = [this](QAction* a, std::function<void()> f) {
        connect(a, &QAction::triggered, this, [this, f] { Run(f); });
    };
    on(FileOpen1, [this] { FileOpen1Execute(); });
    on(A_LoadCTD, [this] {
        post_->B_OpenCTDClick();
        scheduleReprocess();
    });
    on(M_OpenBinary, [this] {
        if (ws.window.OpenBinary.enabled)
            replay_->M_OpenBinaryClick();
    });
    on(A_Start, [this] { acq_->B_StartClick(); });
    on(A_Stop, [this] { acq_->B_StopClick(); });
    on(A_SaveBinary, [this] { saves_->A_SaveBinaryClick(); });
    on(A_SaveFromDevice, [this] { saves_->A_SaveFromDeviceExecute(); });
    on(A_SaveWCorrections, [this] { saves_->A_SaveWCorrectionsExecute(); });
    // "Exit" ends the process at once, also in Brevian mode; only the records already appended
    // to a continuous-saving file are flushed to disk first, so none of them is lost.
    connect(M_Exit, &QAction::triggered, this, [this] {
        rememberLayout();
        try {
            if (ws.data && ws.data->continuous_open())
                ws.data->close_continuous();
        } catch (...) {
        }
        std::_Exit(0);
    });
    on(M_WaterCorrections, [this] { main_->M_WaterCorrectionsClick(); });
    on(M_AutoTemp, [this] { main_->M_AutoTempClick(); });
    on(M_Brevian, [this] { main_->M_BrevianClick(); });
    on(M_SetStartTime, [this] {
        post_->M_SetStartTimeClick();
        scheduleReprocess();
    });
    on(M_OpenRecipe, [this] { processing_->OpenRecipe(); });
    on(M_SaveRecipe, [this] { processing_->SaveRecipe(); });
    on(A_Binned, [this] { OpenPlotWindow(MainController::PlotKind::Binned); });
    on(A_Residual, [this] { OpenPlotWindow(MainController::PlotKind::Residual); });
    on(A_Time, [this] { OpenPlotWindow(MainController::PlotKind::Time); });
    on(A_Depth, [this] { OpenPlotWindow(MainController::PlotKind::Depth); });
    on(A_Spectra, [this] { OpenPlotWindow(MainController::PlotKind::Spectral); });
    on(A_ReferenceSpectra, [this] { OpenPlotWindow(MainController::PlotKind::Reference); });
    on(AboutVelmora1, [this] { dialogs_->about(); });

    connect(B_PlotTime, &QPushButton::clicked, A_Time, &QAction::trigger);
    connect(B_PlotDepth, &QPushButton::clicked, A_Depth, &QAction::trigger);
    connect(B_PlotSpectrum, &QPushButton::clicked, A_Spectra, &QAction::trigger);

    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (!syncing_)
            Run([this, index] { main_->PageControl1Change(index); });
    });

    auto* pp = Fr_PostProcess1;
    // Every command of the panel that changes the data or the corrections makes the products
    // again (when the Processing group asks for any).
    auto changing = [this](std::function<void()> f) {
        Run(f);
        scheduleReprocess();
    };
    pp->onOpenHYP = [this, changing] { changing([this] { post_->B_OpenHYPClick(); }); };
    pp->onLoadWater = [this, changing] { changing([this] { post_->B_LoadWaterClick(); }); };
    pp->onLoadGPS = [this, changing] { changing([this] { post_->B_LoadGPSClick(); }); };
    pp->onSave = [this] { Run([this] { processing_->Save(); }); };
    pp->onOptions = [this, changing] { changing([this] { post_->ApplyCorrectionOptions(); }); };
    pp->onTempSource = [this, changing](int i) {
        changing([this, i] { post_->PD_TempChange(i); });
    };
    pp->onSalnSource = [this, changing](int i) {
        changing([this, i] { post_->PD_SalnChange(i); });
    };
    pp->onUpDown = [this, changing](bool up) { changing([this, up] { post_->UpDown1Click(up); }); };
    pp->onScatWLKey = [this, changing](int key) {
        changing([this, key] { post_->E_ScatWLKeyDown1(key); });
    };
    TFr_Processing* pr = pp->Fr_Processing;
    pr->onChanged = [this] {
        // The residual item follows the grid at once; the products a moment later.
        Run([this] { processing_->Changed(); });
    };
    pr->onThresholds = [this] { Run([this] { processing_->EditThresholds(); }); };
    pr->onMetadata = [this] { Run([this] { processing_->EditMetadata(); }); };
    connect(reprocessTimer_, &QTimer::timeout, this, [this] {
        if (inJob_ || ws.session() != SessionState::Idle || QApplication::activeModalWidget()) {
            reprocessTimer_->start(); // later, when nothing else runs
            return;
        }
        Run([this] { processing_->Reprocess(); });
    });

    connect(Timer1, &QTimer::timeout, this, [this] { Run([this] { acq_->Timer1Timer(); }); });
    connect(Timer2, &QTimer::timeout, this, [this] {
        acq_->Timer2Timer();
        Fr_RealTime1->sync();
    });
    acq_->timer1_changed = [this](bool on) {
        if (on)
            Timer1->start();
        else
            Timer1->stop();
    };
}

void TF_Main::FormActivate() {
    if (!main_->activated()) {
        Run([this] {
            if (!main_->FormActivate())
                return;
            auto* spectral = new TFr_Spectral(Panel_Graph1, this);
            spectral->setObjectName("BuiltinGraph1");
            Panel_Graph1->layout()->addWidget(spectral);
            views_.add(spectral);
            auto* time = new TFr_Time(Panel_Graph2, this);
            time->setObjectName("BuiltinGraph2");
            setupTimeChart(time->iXYPlot1);
            Panel_Graph2->layout()->addWidget(time);
            views_.add(time);
            F_FData = new TF_FData(AppContext{ws, *dialogs_, views_, *clock_}, this);
            F_FData->Fr_Data1->run_command = [this](const std::function<void()>& f) { Run(f); };
            F_FData->hide();
            views_.add(F_FData->Fr_Data1);
            views_.SetLiveMode(false);
            processing_->RestoreSettings();
            restoreLayout();
        });
    }
}

void TF_Main::setupTimeChart(ChartWidget* chart) {
    chart->setTimeFormat(static_cast<ChartWidget::TimeFormat>(ws.reg.time_axis));
    connect(chart, &ChartWidget::timeFormatChosen, this, [this](ChartWidget::TimeFormat format) {
        Run([this, format] { main_->TimeAxisChosen(static_cast<int>(format)); });
        // Every time plot follows the choice.
        for (ChartWidget* c : findChildren<ChartWidget*>())
            if (c->hasTimeAxis())
                c->setTimeFormat(format);
    });
}

namespace {
QString splitter_text(const QSplitter* s) {
    QStringList sizes;
    for (int n : s->sizes())
        sizes << QString::number(n);
    return sizes.join(',');
}
void restore_splitter(QSplitter* s, const QString& text) {
    QList<int> sizes;
    for (const QString& n : text.split(',', Qt::SkipEmptyParts))
        sizes << n.toInt();
    if (sizes.size() == s->count())
        s->setSizes(sizes);
}
} // namespace

void TF_Main::rememberLayout() {
    if (!main_->activated())
        return;
    const std::string geometry = saveGeometry().toBase64().toStdString();
    const std::string splitters =
        (splitter_text(hsplit_) + ';' + splitter_text(vsplit_)).toStdString();
    try {
        main_->RememberWindowLayout(geometry, splitters);
    } catch (const std::exception&) {
        // The window closes anyway; the next run opens at the size stored before.
    }
}

void TF_Main::restoreLayout() {
    if (!ws.reg.window_geometry.empty())
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(ws.reg.window_geometry)));
    const QStringList parts = QString::fromStdString(ws.reg.splitter_sizes).split(';');
    if (parts.size() == 2) {
        restore_splitter(hsplit_, parts[0]);
        restore_splitter(vsplit_, parts[1]);
    }
}

void TF_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!main_->activated())
        QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TF_Main::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !main_->activated())
        FormActivate();
}

void TF_Main::closeEvent(QCloseEvent* event) {
    if (!main_->FormCloseQuery()) {
        event->ignore();
        return;
    }
    rememberLayout();
    // Plot windows and the other top-level windows go with the main window.
    QApplication::closeAllWindows();
    event->accept();
}

bool TF_Main::Run(const std::function<void()>& command) {
    const bool ok = run_guarded(*dialogs_, command);
    SyncWidgets();
    return ok;
}

void TF_Main::syncAction(QAction* action, const ActionState& s) {
    action->setEnabled(s.enabled);
    action->setVisible(s.visible);
    if (action->isCheckable())
        action->setChecked(s.checked);
}

void TF_Main::SyncWidgets() {
    if (syncing_)
        return;
    syncing_ = true;
    const WindowState& w = ws.window;
    setWindowTitle(QString::fromStdString(w.caption));
    if (PageControl1->currentIndex() != w.tab_index && w.tab_index >= 0 && w.tab_index < 2)
        PageControl1->setCurrentIndex(w.tab_index);
    PageControl1->widget(1)->setEnabled(w.post_tab_enabled);
    syncAction(FileOpen1, w.FileOpen);
    syncAction(M_OpenBinary, w.OpenBinary);
    syncAction(A_LoadCTD, w.A_LoadCTD);
    // No CTD merge into a file of corrected data.
    if (!ws.post.corrections_enabled)
        A_LoadCTD->setEnabled(false);
    syncAction(A_Start, w.A_Start);
    syncAction(A_Stop, w.A_Stop);
    syncAction(A_SaveBinary, w.A_SaveBinary);
    syncAction(A_SaveFromDevice, w.A_SaveFromDevice);
    syncAction(A_SaveWCorrections, w.A_SaveWCorrections);
    syncAction(A_Time, w.A_Time);
    syncAction(A_Depth, w.A_Depth);
    syncAction(A_Spectra, w.A_Spectra);
    syncAction(A_ReferenceSpectra, w.A_ReferenceSpectra);
    syncAction(M_WaterCorrections, w.M_WaterCorrections);
    syncAction(M_AutoTemp, w.M_AutoTemp);
    syncAction(M_Brevian, w.M_Brevian);
    // The plot buttons are bound to their actions.
    B_PlotTime->setEnabled(w.A_Time.enabled);
    B_PlotDepth->setEnabled(w.A_Depth.enabled);
    B_PlotSpectrum->setEnabled(w.A_Spectra.enabled);
    Fr_RealTime1->sync();
    ws.post.L_StartTime = start_time_label(ws);
    Fr_PostProcess1->sync(w.M_WaterCorrections.checked);
    if (!ws.window.status.empty()) {
        statusBar()->showMessage(QString::fromStdString(ws.window.status), 15000);
        ws.window.status.clear();
    }
    syncing_ = false;
}

void TF_Main::FileOpen1Execute() {
    if (!ws.window.FileOpen.enabled)
        return;
    ws.window.tab_index = 1;
    SyncWidgets();
    post_->B_OpenHYPClick();
    scheduleReprocess();
}

void TF_Main::OpenPlotWindow(MainController::PlotKind kind) {
    auto names = main_->NextPlot(kind);
    if (!names)
        return;
    auto* window = new TF_Plot(this);
    TFr_ParentFrame* view = nullptr;
    switch (kind) {
    case MainController::PlotKind::Time: {
        auto* time = new TFr_Time(window, this);
        setupTimeChart(time->iXYPlot1);
        view = time;
        break;
    }
    case MainController::PlotKind::Spectral:
        view = new TFr_Spectral(window, this);
        break;
    case MainController::PlotKind::Depth:
        view = new TFr_Depth(window, this);
        break;
    case MainController::PlotKind::Binned:
        view = new TFr_Binned(window);
        break;
    case MainController::PlotKind::Residual: {
        auto* residual = new TFr_Residual(window);
        setupTimeChart(residual->chart);
        view = residual;
        break;
    }
    case MainController::PlotKind::Reference: {
        auto* ref = new TFr_Reference(window, this);
        views_.references.push_back(ref);
        views_.AttachReader(ws.reader.get());
        view = ref;
        break;
    }
    }
    view->setObjectName(QString::fromStdString(names->view));
    window->view = view;
    window->layout()->addWidget(view);
    window->setObjectName(QString::fromStdString(names->window));
    views_.add(view);
    plotWindows_.push_back(window);
    window->show();
    window->raise();
    view->AttachData(ws.data.get());
    view->update();
}

void TF_Main::ShowSelectedRecord(bool, int recordIndex) {
    if (!F_FData)
        return;
    F_FData->show();
    F_FData->raise();
    Run([this, recordIndex] { F_FData->Fr_Data1->AddRecord(recordIndex); });
}

void TF_Main::ShowSelectedRange(bool, int first, int end) {
    if (!F_FData)
        return;
    F_FData->show();
    F_FData->raise();
    Run([this, first, end] { F_FData->Fr_Data1->AddRange(first, end); });
}

void TF_Main::OpenDroppedFile(const std::string& path) {
    // Nothing is loaded under a running acquisition tick.
    if (ws.acquiring()) {
        statusBar()->showMessage("Stop the acquisition before loading a file.", 5000);
        return;
    }
    Run([this, &path] {
        switch (classify_input_file(path)) {
        case InputFileKind::Data:
            if (!ws.window.FileOpen.enabled)
                return;
            ws.window.tab_index = 1;
            SyncWidgets();
            post_->LoadDataFile(path);
            break;
        case InputFileKind::Ctd:
            if (ws.window.A_LoadCTD.enabled)
                post_->LoadCtdFile(path);
            else
                statusBar()->showMessage("Load a data file before its CTD file.", 5000);
            break;
        case InputFileKind::Water:
            if (ws.post.B_LoadWater_enabled) {
                // The water group is shown with the file it now holds.
                if (post_->LoadWaterFile(path))
                    ws.window.M_WaterCorrections.checked = true;
            } else
                statusBar()->showMessage("Load a data file before its water calibration.", 5000);
            break;
        }
    });
    scheduleReprocess();
}

void TF_Main::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().size() == 1 &&
        event->mimeData()->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void TF_Main::dropEvent(QDropEvent* event) {
    const QString path = event->mimeData()->urls().first().toLocalFile();
    event->acceptProposedAction();
    // After the drop has finished: the command may show dialogs.
    QTimer::singleShot(0, this,
                       [this, path] { OpenDroppedFile(QFile::encodeName(path).toStdString()); });
}

void TF_Main::runJob(const std::string& label, const std::function<void()>& job) {
    // Nested jobs, and jobs while the acquisition tick is writing the data set, run in place.
    if (inJob_ || ws.acquiring()) {
        job();
        return;
    }
    inJob_ = true;
    std::exception_ptr error;
    QThread* worker = QThread::create([&job, &error] {
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
    });
    QEventLoop loop;
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    // Short jobs finish without a flash of the progress window; the window keeps painting.
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (worker->isRunning()) {
        QProgressDialog progress(QString::fromStdString(label), QString(), 0, 0, this);
        progress.setWindowTitle("Velmora");
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(0);
        // A job that can stop at its checkpoints offers Cancel; the others cannot be stopped.
        if (ws.job_cancellable) {
            auto* cancel = new QPushButton("Cancel", &progress);
            cancel->setObjectName("B_CancelJob");
            progress.setCancelButton(cancel);
            progress.setAutoReset(false);
            progress.setAutoClose(false);
            connect(&progress, &QProgressDialog::canceled, this, [this, &progress] {
                ws.cancel_requested = true;
                progress.setLabelText("Cancelling…");
                if (QPushButton* b = progress.findChild<QPushButton*>("B_CancelJob"))
                    b->setEnabled(false);
            });
        } else {
            progress.setCancelButton(nullptr);
        }
        progress.show();
        QEventLoop wait;
        connect(worker, &QThread::finished, &wait, &QEventLoop::quit);
        if (worker->isRunning())
            wait.exec();
    }
    worker->wait();
    delete worker;
    inJob_ = false;
    if (error)
        std::rethrow_exception(error);
}

void TF_Main::scheduleReprocess() {
    reprocessTimer_->start();
}
