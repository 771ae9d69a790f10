// The main window offscreen: start-up states, settings restored, plot window names, Brevian
// mode, the top-level error report, files opened from the command line or dropped, and the
// --screenshot mode of the executable.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <qcustomplot.h>

#include "app_fakes.h"
#include "chart_widget.h"
#include "post_process_controller.h"
#include "processing_state.h"
#include "products.h"
#include "qt_user_dialogs.h"
#include "small_dialogs.h"
#include "tf_fdata.h"
#include "tf_main.h"
#include "tfr_binned.h"
#include "tfr_parent_frame.h"
#include "tfr_postprocess.h"
#include "tfr_processing.h"
#include "tfr_time.h"
#include <chrono>
#include <thread>

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    ScriptedDialogs dialogs;
    FakeClock clock;

    // `background`: long jobs run on a worker thread behind the progress window, as for a user.
    std::unique_ptr<TF_Main> make(bool background = false) {
        TF_Main::Options o;
        o.dialogs = &dialogs;
        o.clock = &clock;
        o.background_jobs = background;
        auto w = std::make_unique<TF_Main>(o);
        w->show();
        w->FormActivate();
        return w;
    }
    static QStringList viewNames(TF_Main& w) {
        QStringList names;
        for (auto* v : w.viewList().views)
            names << v->objectName();
        return names;
    }

  private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        dialogs = ScriptedDialogs{};
        qputenv("VELMORA_SETTINGS", QByteArray::fromStdString(dir->file("settings.json")));
    }
    void cleanup() { dir.reset(); }

    void startUpStates() {
        auto w = make();
        QCOMPARE(w->windowTitle(), QString("Velmora"));
        QCOMPARE(w->PageControl1->currentIndex(), 0);
        QCOMPARE(w->PageControl1->tabText(0), QString("Data Acquisition"));
        QCOMPARE(w->PageControl1->tabText(1), QString("Post Processing"));
        QCOMPARE(w->ws.UD_Port, 1);
        QCOMPARE(w->ws.E_Device, std::string());
        QVERIFY(w->ws.data && w->ws.reader);
        QVERIFY(!w->ws.dataValid);
        struct Row {
            QAction* action;
            bool enabled, visible;
        } rows[] = {
            {w->FileOpen1, true, true},
            {w->A_LoadCTD, false, true},
            {w->M_OpenBinary, true, true},
            {w->A_Start, true, true},
            {w->A_Stop, false, true},
            {w->A_SaveBinary, false, true},
            {w->A_SaveFromDevice, false, true},
            {w->A_SaveWCorrections, true, false},
            {w->M_Exit, true, true},
            {w->M_WaterCorrections, true, true},
            {w->M_AutoTemp, true, false},
            {w->M_Brevian, true, false},
            {w->A_Time, true, true},
            {w->A_Depth, false, true},
            {w->A_Spectra, true, true},
            {w->A_ReferenceSpectra, false, false},
        };
        for (const auto& r : rows) {
            // A hidden Qt action also reports itself disabled.
            QVERIFY2(r.action->isEnabled() == (r.enabled && r.visible),
                     qPrintable(r.action->text()));
            QVERIFY2(r.action->isVisible() == r.visible, qPrintable(r.action->text()));
        }
        QVERIFY(w->ws.window.A_SaveWCorrections.enabled);
        QVERIFY(!w->ws.window.A_ReferenceSpectra.enabled);
        QVERIFY(!w->M_WaterCorrections->isChecked());
        QVERIFY(!w->B_PlotDepth->isEnabled());
        QCOMPARE(w->FileOpen1->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(w->M_Exit->shortcut(), QKeySequence("Ctrl+X"));
        QCOMPARE(w->A_Start->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(w->A_Stop->shortcut(), QKeySequence(Qt::Key_F2));
        QCOMPARE(viewNames(*w), (QStringList{"BuiltinGraph1", "BuiltinGraph2", "Fr_Data1"}));
        QVERIFY(!w->F_FData->isVisible());
        QCOMPARE(w->Fr_PostProcess1->E_HYPFile->text(), QString("(no file loaded)"));
        QVERIFY(!w->Fr_PostProcess1->Panel6->isVisible());
        QCOMPARE(w->Timer1->interval(), 100);
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(w->Timer2->interval(), 1000);
        QVERIFY(w->Timer2->isActive());
        // Nothing of the start-up wrote the settings.
        QVERIFY(!QFile::exists(QString::fromStdString(dir->file("settings.json"))));
        // A second activation creates nothing again.
        w->FormActivate();
        QCOMPARE(w->viewList().views.size(), std::size_t(3));
    }

    void storedSettingsAreRestored() {
        VelmoraSettings s;
        s.tab_index = 1;
        s.commport = 7;
        s.devfile = "/x/sample.dev";
        s.autotemp = 1;
        s.Save();
        auto w = make();
        QCOMPARE(w->PageControl1->currentIndex(), 1);
        QCOMPARE(w->ws.UD_Port, 7);
        QCOMPARE(w->ws.E_Device, std::string("/x/sample.dev"));
        QVERIFY(!w->M_AutoTemp->isChecked());
        // Switching tabs stores the index.
        w->PageControl1->setCurrentIndex(0);
        VelmoraSettings back;
        back.Load();
        QCOMPARE(back.tab_index, 0);
        QCOMPARE(back.devfile, std::string("/x/sample.dev"));
    }

    void plotWindowNames() {
        auto w = make();
        for (int i = 0; i < 3; ++i)
            w->A_Time->trigger();
        w->A_Spectra->trigger();
        w->A_Depth->setEnabled(true);
        w->OpenPlotWindow(MainController::PlotKind::Depth); // no CTD merged: nothing
        QCOMPARE(w->plotWindows().size(), std::size_t(4));
        QStringList windows;
        for (auto* p : w->plotWindows()) {
            windows << p->objectName();
            QCOMPARE(p->windowTitle(), QString("Plot Window"));
        }
        QCOMPARE(windows,
                 (QStringList{"TimeWindow0", "TimeWindow1", "TimeWindow2", "SpectralWindow0"}));
        QCOMPARE(viewNames(*w).mid(3),
                 (QStringList{"TimeGraph0", "TimeGraph1", "TimeGraph2", "SpectralGraph0"}));
        // A closed window is only hidden; its view stays; the next one counts on.
        w->plotWindows()[0]->close();
        QVERIFY(!w->plotWindows()[0]->isVisible());
        w->A_Time->trigger();
        QCOMPARE(w->plotWindows().back()->objectName(), QString("TimeWindow3"));
        QCOMPARE(w->viewList().views.size(), std::size_t(8));
        w->ws.data->ctd_merged = true;
        w->OpenPlotWindow(MainController::PlotKind::Depth);
        QCOMPARE(w->plotWindows().back()->objectName(), QString("DepthWindow0"));
        w->OpenPlotWindow(MainController::PlotKind::Reference);
        QCOMPARE(w->plotWindows().back()->objectName(), QString("ReferenceWindow0"));
    }

    void brevianModeRefusesToClose() {
        auto w = make();
        w->M_Brevian->trigger();
        QVERIFY(w->M_Brevian->isChecked());
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        w->M_Brevian->trigger();
        QVERIFY(w->close());
    }

    void waterMenuShowsWaterPanel() {
        auto w = make();
        w->M_WaterCorrections->trigger();
        QVERIFY(w->M_WaterCorrections->isChecked());
        QVERIFY(w->Fr_PostProcess1->Panel6->isVisibleTo(w->Fr_PostProcess1));
        w->M_WaterCorrections->trigger();
        QVERIFY(!w->Fr_PostProcess1->Panel6->isVisibleTo(w->Fr_PostProcess1));
    }

    void uncaughtErrorIsReportedAndTheWindowGoesOn() {
        auto w = make();
        QVERIFY(!w->Run([] { throw VelmoraError("Unable to write to registry!"); }));
        QCOMPARE(dialogs.messages.size(), std::size_t(1));
        QCOMPARE(dialogs.messages[0].text, std::string("Unable to write to registry!"));
        QCOMPARE(dialogs.messages[0].caption, std::string("Velmora"));
        QVERIFY(w->Run([] {}));
    }

    void ctrlOOpensOnPostProcessingTab() {
        auto w = make();
        std::string data = dir->file("cast.dat");
        write_text(data, hyp_data_file(6));
        dialogs.open_answers.push_back(data);
        w->FileOpen1->trigger();
        QCOMPARE(w->PageControl1->currentIndex(), 1);
        QVERIFY(w->ws.dataValid);
        QCOMPARE(w->Fr_PostProcess1->E_HYPFile->text().toStdString(), data);
        QCOMPARE(w->windowTitle().toStdString(), data);
        QVERIFY(w->A_LoadCTD->isEnabled());
        QVERIFY(w->Fr_PostProcess1->B_LoadCTD->isEnabled());
        // Every view holds the new data set.
        QCOMPARE(w->F_FData->Fr_Data1->controller().data(), w->ws.data.get());
        // While acquiring the command is off.
        w->ws.window.FileOpen.enabled = false;
        w->SyncWidgets();
        dialogs.open_answers.push_back(data);
        w->FileOpen1Execute();
        QCOMPARE(dialogs.opens.size(), std::size_t(1));
    }

    void droppedFilesLoadLikeTheirCommands() {
        auto w = make();
        std::string data = dir->file("cast.dat");
        write_text(data, hyp_data_file(6));
        std::string ctd = dir->file("cast_ctd.txt");
        write_text(ctd, "Time Pres Temp X Saln\n0 1 12 0 33\n900 2 13 0 34\n");
        std::string water = dir->file("blank.wcf");
        {
            HYP_Data d;
            write_text(dir->file("source.dat"), hyp_data_file(6));
            d.load_file(dir->file("source.dat"), false);
            d.save_water_cal(water, RecordIndices{1, 2}, 20.0);
        }

        // CTD or water before any data file: refused, and the status bar says why.
        w->OpenDroppedFile(ctd);
        QVERIFY(dialogs.ctd_paths.empty());
        w->OpenDroppedFile(water);
        QCOMPARE(w->statusBar()->currentMessage(),
                 QString("Load a data file before its water calibration."));
        QVERIFY(dialogs.messages.empty());
        QCOMPARE(classify_input_file(data), InputFileKind::Data);
        QCOMPARE(classify_input_file(ctd), InputFileKind::Ctd);
        QCOMPARE(classify_input_file(water), InputFileKind::Water);

        w->OpenDroppedFile(data);
        QVERIFY(w->ws.dataValid);
        QCOMPARE(w->PageControl1->currentIndex(), 1);
        dialogs.ctd_columns_answer = CtdColumns{1, 2, 3, 5};
        w->OpenDroppedFile(ctd);
        QCOMPARE(dialogs.ctd_paths.size(), std::size_t(1));
        QVERIFY(w->ws.data->ctd_merged);
        QVERIFY(w->A_Depth->isEnabled());
        QCOMPARE(w->Fr_PostProcess1->PD_Temp->currentText(), QString("CTD File"));
        // A water file after the data: loaded as the water calibration, its group shown.
        w->OpenDroppedFile(water);
        QVERIFY(dialogs.messages.empty());
        QVERIFY(w->ws.data->water_loaded);
        QVERIFY(w->M_WaterCorrections->isChecked());
        QVERIFY(w->Fr_PostProcess1->Panel6->isVisible());
    }

    // The window's size and splitters and the time-axis format come back in the next run.
    void layoutAndTimeAxisAreRemembered() {
        QList<int> sizes;
        {
            auto w = make();
            QCOMPARE(
                w->M_Exit->shortcuts(),
                (QList<QKeySequence>{QKeySequence("Ctrl+X"), QKeySequence(QKeySequence::Quit)}));
            w->resize(1200, 800);
            auto* split = w->findChild<QSplitter*>("Splitter2");
            split->setSizes({200, 500});
            sizes = split->sizes();
            auto* time = w->findChild<TFr_Time*>("BuiltinGraph2");
            emit time->iXYPlot1->timeFormatChosen(ChartWidget::TimeFormat::Elapsed);
            w->close();
        }
        auto w = make();
        QCOMPARE(w->size(), QSize(1200, 800));
        QCOMPARE(w->findChild<QSplitter*>("Splitter2")->sizes(), sizes);
        auto* time = w->findChild<TFr_Time*>("BuiltinGraph2");
        QCOMPARE(int(time->iXYPlot1->timeFormat()), int(ChartWidget::TimeFormat::Elapsed));
    }

    // A file of corrected data: the plots show it, the correction controls are off, and the
    // panel and the status bar say why; an instrument data file opens them again.
    void correctedFileHasItsCorrectionControlsOff() {
        auto w = make();
        const std::string data = dir->file("cast1.dat");
        write_text(data, hyp_data_file(6));
        w->OpenDroppedFile(data);
        const std::string corrected = dir->file("cast1_corrected.dat");
        w->ws.data->fill_corrected_records();
        w->ws.data->save_corrected(corrected, true, false);
        TFr_PostProcess* pp = w->Fr_PostProcess1;

        w->OpenDroppedFile(corrected);
        QCOMPARE(w->ws.data->records.size(), std::size_t(6));
        const QString note = QString::fromStdString(kAlreadyCorrectedNote);
        QVERIFY(pp->L_CorrectionsNote->isVisible());
        QCOMPARE(pp->L_CorrectionsNote->text(), note);
        QCOMPARE(w->statusBar()->currentMessage(), note);
        for (QWidget* c : std::initializer_list<QWidget*>{
                 pp->CB_Temp, pp->PD_Temp, pp->CB_Saln, pp->CB_ScatCorr, pp->E_ScatWL,
                 pp->B_LoadCTD, pp->B_LoadWater, pp->B_Save})
            QVERIFY2(!c->isEnabled(),
                     qPrintable(c->objectName() + " " + c->metaObject()->className()));
        QVERIFY(!w->A_LoadCTD->isEnabled());
        QVERIFY(pp->B_OpenHYP->isEnabled());

        w->OpenDroppedFile(data);
        QVERIFY(!pp->L_CorrectionsNote->isVisible());
        for (QWidget* c : std::initializer_list<QWidget*>{pp->CB_Temp, pp->CB_ScatCorr,
                                                          pp->B_LoadCTD, pp->B_Save})
            QVERIFY(c->isEnabled());
        QVERIFY(w->A_LoadCTD->isEnabled());
    }

    void loadRunsOnAWorkerThread() {
        auto w = make(true);
        std::string data = dir->file("big.dat");
        write_text(data, hyp_data_file(20000));
        w->OpenDroppedFile(data);
        QVERIFY(dialogs.messages.empty());
        QVERIFY(w->ws.dataValid);
        QCOMPARE(w->ws.data->records.size(), std::size_t(20000));
        // A failure on the worker reaches the command's own report.
        w->OpenDroppedFile(dir->file("missing.dat"));
        QCOMPARE(dialogs.messages.size(), std::size_t(1));
        QCOMPARE(dialogs.messages[0].caption, std::string("Error Opening File"));
        QVERIFY(!w->ws.dataValid);
    }

    void selectedRecordsShowTheWindow() {
        auto w = make();
        std::string data = dir->file("cast.dat");
        write_text(data, hyp_data_file(12));
        w->OpenDroppedFile(data);
        w->ShowSelectedRecord(true, 3);
        w->ShowSelectedRange(false, 5, 8);
        QVERIFY(w->F_FData->isVisible());
        auto* frame = w->F_FData->Fr_Data1;
        QCOMPARE(frame->SG_List->rowCount(), 2);
        QCOMPARE(frame->SG_List->item(0, 0)->text(), QString("Line 4"));
        QCOMPARE(frame->SG_List->item(1, 0)->text(), QString("Lines 6 - 9"));
        // a in red and c in blue, each with its own legend line.
        ChartWidget* plot = frame->iPlot1;
        QCOMPARE(plot->channelName(0), QString("Line 4 a"));
        QCOMPARE(plot->channelName(1), QString("Line 4 c"));
        QCOMPARE(plot->channelColour(0), QColor(214, 39, 40));
        QCOMPARE(plot->channelColour(1), QColor(31, 119, 180));
        QCOMPARE(plot->plot()->legend->itemCount(), 4);
        QVERIFY(frame->B_SaveDev->isEnabled());
        frame->SG_List->selectRow(1);
        frame->B_RemoveSelected->click();
        QCOMPARE(frame->SG_List->rowCount(), 1);
        QCOMPARE(frame->controller().singles(), std::vector<int>{3});
    }

    void ctdColumnDialogValidates() {
        TF_LoadCTD dlg;
        std::string p = dir->file("ctd.txt");
        write_text(p, "time(ms)\tpressure(dbar)  temperature(C)\n  1\t2   3\n4 5 6 7\n");
        dlg.Prepare(p, CtdColumns{1, 1, 1, 1});
        QCOMPARE(dlg.E_salncol->text(), QString("1"));
        // Every preview line a row, every field under its column number, titles on their own.
        QTableWidget* t = dlg.SG_Preview;
        QCOMPARE(t->rowCount(), 100);
        QCOMPARE(t->columnCount(), 4);
        QCOMPARE(t->horizontalHeaderItem(3)->text(), QString("4"));
        QCOMPARE(t->item(0, 2)->text(), QString("temperature(C)"));
        QCOMPARE(t->item(1, 0)->text(), QString("1"));
        QCOMPARE(t->item(1, 2)->text(), QString("3"));
        QCOMPARE(t->item(2, 3)->text(), QString("7"));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, dlg.Prepare(dir->file("none.txt"), CtdColumns{}));
        // The time format and lag come back with the columns.
        dlg.Prepare(p, CtdColumns{1, 1, 1, 1, CtdTimeFormat::Epoch, -2.5});
        QCOMPARE(dlg.PD_TimeFormat->currentIndex(), 2);
        QCOMPARE(dlg.E_Lag->text(), QString("-2.5"));
        dlg.PD_TimeFormat->setCurrentIndex(4);
        dlg.E_Lag->setText("1,5");
        dlg.OKClick();
        QCOMPARE(dlg.result(), int(mrOk));
        QCOMPARE(int(dlg.accepted.time_format), int(CtdTimeFormat::DateTime));
        QCOMPARE(dlg.accepted.lag_s, 1.5);
        // The time-shift tool's estimate goes into the lag field with one click.
        QVERIFY(!dlg.B_UseEstimate->isEnabled());
        CtdColumns offered{1, 1, 1, 1};
        offered.lag_estimate_s = -0.812;
        dlg.Prepare(p, offered);
        QVERIFY(dlg.B_UseEstimate->isEnabled());
        dlg.B_UseEstimate->click();
        QCOMPARE(dlg.E_Lag->text(), QString("-0.812"));
    }

    void fileFiltersMatchOnThisSystem() {
        QCOMPARE(qt_file_filter("All Files (*.*)|*.*"), QString("All Files (*)"));
        QCOMPARE(qt_file_filter("Device Files (*.dev)|*.DEV|All Files|*.*"),
                 QString("Device Files (*.DEV *.dev);;All Files (*)"));
        QCOMPARE(qt_file_filter("Water Calibration Files|*.wcf|All Files|*.*"),
                 QString("Water Calibration Files (*.wcf *.WCF);;All Files (*)"));
    }

    // The Processing group drives the products the plots show, on the sample cast.
    void processingGroupDrivesTheProducts() {
        auto w = make();
        w->OpenDroppedFile(std::string(VELMORA_DATA_DIR) + "/sample_hyp.dat");
        QVERIFY(w->ws.dataValid);
        TFr_PostProcess* pp = w->Fr_PostProcess1;
        TFr_Processing* pr = pp->Fr_Processing;
        auto* model = qobject_cast<QStandardItemModel*>(pp->PD_ScatType->model());
        QCOMPARE(pp->PD_ScatType->count(), 4);
        QCOMPARE(pp->PD_ScatType->itemText(3), QString("Residual temperature (Slade 2010)"));
        // On the native grid the residual temperature item is off, its reason the tooltip.
        QVERIFY(!model->item(3)->isEnabled());
        QCOMPARE(pp->PD_ScatType->toolTip(),
                 QString("The residual temperature correction needs a common wavelength grid "
                         "(--grid a)."));
        pr->PD_Grid->setCurrentIndex(1);
        emit pr->PD_Grid->activated(1);
        QVERIFY(model->item(3)->isEnabled());
        QCOMPARE(pp->PD_ScatType->toolTip(), QString());

        QVERIFY(!pr->B_Thresholds->isEnabled());
        pr->CB_QC->click();
        QVERIFY(pr->B_Thresholds->isEnabled());
        QVERIFY(w->ws.data->record_products);
        QVERIFY(w->ws.data->record_products->has_qc());
        auto* time = w->findChild<TFr_Time*>("BuiltinGraph2");
        QVERIFY(time->CB_HideFlagged->isVisibleTo(time));

        pr->PD_Bin->setCurrentIndex(1);
        emit pr->PD_Bin->activated(1);
        QVERIFY(w->ws.data->binned_products);
        QCOMPARE(w->ws.processing.binning.width, 60.0);
        w->A_Binned->trigger();
        auto* binned = w->findChild<TFr_Binned*>();
        QVERIFY(binned);
        QCOMPARE(binned->S_Bin->maximum(), 1); // two whole UTC minutes

        // The recipe commands sit in the File menu, the new views in Graphs.
        QVERIFY(w->M_OpenRecipe->isEnabled() && w->M_SaveRecipe->isEnabled());
        QVERIFY(w->A_Residual->isEnabled());
    }

    // A job that can stop offers Cancel in the progress window; pressing it stops the job.
    void progressWindowCancelsACancellableJob() {
        auto w = make(true);
        QTimer::singleShot(600, [] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            auto* cancel = box->findChild<QPushButton*>("B_CancelJob");
            QVERIFY(cancel);
            cancel->click();
        });
        bool cancelled = false;
        try {
            w->ws.run_cancellable_job(SessionState::Saving, "Saving", [&w] {
                for (int i = 0; i < 1000; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    w->ws.job_checkpoint();
                }
            });
        } catch (const JobCancelled&) {
            cancelled = true;
        }
        QVERIFY(cancelled);
        QVERIFY(!w->ws.job_cancellable);
    }

    void startTimeIsSetInUtc() {
        auto w = make();
        const std::string data = dir->file("cast1.dat");
        write_text(data, hyp_data_file(6));
        w->OpenDroppedFile(data);
        QLabel* label = w->Fr_PostProcess1->L_StartTime;
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QString("start time unknown"));
        dialogs.start_answers.push_back(1710504030250);
        w->M_SetStartTime->trigger();
        QCOMPARE(label->text(), QString("start time 2024-03-15T12:00:30.250Z"));

        // The field shows and returns UTC whatever the computer's time zone.
        const QByteArray tz = qgetenv("TZ");
        qputenv("TZ", "Pacific/Auckland");
        tzset();
        QtUserDialogs qt(nullptr, {});
        QString shown;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            auto* field = box->findChild<QDateTimeEdit*>("E_StartTime");
            QVERIFY(field);
            shown = field->text();
            field->setDateTime(field->dateTime().addDays(1));
            box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        const std::optional<std::int64_t> t = qt.start_time(1710504030250);
        qputenv("TZ", tz);
        tzset();
        QCOMPARE(shown, QString("2024-03-15 12:00:30.250"));
        QVERIFY(t.has_value());
        QCOMPARE(*t, 1710504030250 + 86400000);
    }

    void factoryTemperatureQueryResults() {
        TF_FacCalQuery q;
        q.E_Temp->setText("21.5");
        q.Button1Click();
        QCOMPARE(q.result(), int(mrFacCalValue));
        QCOMPARE(q.value, 21.5);
        q.Button2Click();
        QCOMPARE(q.result(), int(mrFacCalCancelled));
        q.reject();
        QCOMPARE(q.result(), int(mrCancel));
        TF_MakeWater m;
        m.E_Temp->setText("warm");
        m.B_OKClick();
        QCOMPARE(m.result(), int(mrOk));
        m.reject();
        QCOMPARE(m.result(), int(mrCancel));
        TF_ContSaving c;
        c.reject();
        QCOMPARE(c.result(), int(mrCancel));
    }

    void screenshotWritesAPng() {
        const QString png = QString::fromStdString(dir->file("shot.png"));
        std::string data = dir->file("cast.dat");
        write_text(data, hyp_data_file(40));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(VELMORA_BIN, {"--screenshot", png, "--tab", "1", QString::fromStdString(data)});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QImage img(png);
        QVERIFY(!img.isNull());
        QVERIFY(img.width() >= 600 && img.height() >= 400);
        // A file that is not data: the picture is still written, the exit code says it failed.
        write_text(data, "nothing\nhere\n");
        p.start(VELMORA_BIN, {"--screenshot", png, QString::fromStdString(data)});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);

        // A plot window of the sample cast processed by a recipe.
        ProcessingOptions o;
        o.qc.apply = true;
        o.binning.kind = BinKind::Time;
        o.binning.width = 10.0;
        o.save_recipe(dir->file("r.json"));
        const QString sample = QString(VELMORA_DATA_DIR) + "/sample_hyp.dat";
        p.start(VELMORA_BIN,
                {"--screenshot", png, "--recipe", QString::fromStdString(dir->file("r.json")),
                 "--view", "binned", sample});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QImage(png).size(), QSize(760, 480));

        // Arguments that name nothing are refused with the usage.
        for (const QStringList& args :
             {QStringList{"--tab", "9"}, QStringList{"--tab", "abc"},
              QStringList{"--screenshot", png, "--view", "pie"}, QStringList{"--view", "time"}}) {
            p.start(VELMORA_BIN, args);
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 2);
            QVERIFY(p.readAllStandardError().contains("usage: velmora"));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
