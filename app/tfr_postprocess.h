// The post-processing panel of the "Post Processing" tab.  It shows the workspace's panel state
// and forwards every user action; the commands themselves are PostProcessController's.
#pragma once

#include <QFrame>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;
class TFr_Processing;
struct PostPanelState;
struct ProcessingPanelState;

class TFr_PostProcess : public QFrame {
    Q_OBJECT
  public:
    explicit TFr_PostProcess(QWidget* parent = nullptr);

    // The corrections' state, and the Processing and Output groups' state.
    void attach(PostPanelState* state, ProcessingPanelState* processing = nullptr);
    // B_LoadCTD triggers this action and follows its enabled state.
    void bind_load_ctd(QAction* action);
    // Copies the state onto the controls; `water_visible` shows the water panel.
    void sync(bool water_visible);

    // Handlers the main window connects (each forwards to one command).
    std::function<void()> onOpenHYP, onLoadWater, onSave, onOptions, onLoadGPS;
    std::function<void(int)> onTempSource, onSalnSource;
    std::function<void(bool up)> onUpDown;
    std::function<void(int key)> onScatWLKey;

    QPushButton* B_OpenHYP = nullptr;
    QLineEdit* E_HYPFile = nullptr;
    QLabel* L_StartTime = nullptr;
    QWidget* Panel6 = nullptr;
    QPushButton* B_LoadWater = nullptr;
    QLineEdit* E_Water = nullptr;
    QLabel* L_WaterTemp = nullptr;
    QCheckBox* CB_Water = nullptr;
    QPushButton* B_LoadCTD = nullptr;
    QLineEdit* E_CTDFile = nullptr;
    QCheckBox* CB_Temp = nullptr;
    QComboBox* PD_Temp = nullptr;
    QLineEdit* E_Temp = nullptr;
    QCheckBox* CB_Saln = nullptr;
    QComboBox* PD_Saln = nullptr;
    QLineEdit* E_Saln = nullptr;
    QCheckBox* CB_ScatCorr = nullptr;
    QComboBox* PD_ScatType = nullptr;
    QLineEdit* E_ScatWL = nullptr;
    QToolButton* UpDown1_up = nullptr;
    QToolButton* UpDown1_down = nullptr;
    QPushButton* B_LoadGPS = nullptr;
    QLineEdit* E_GPSFile = nullptr;
    QLabel* L_CorrectionsNote = nullptr; // why the corrections are off, when they are
    // The Processing and Output groups, between the corrections and Save.
    TFr_Processing* Fr_Processing = nullptr;
    QPushButton* B_Save = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void edited();
    PostPanelState* state_ = nullptr;
    ProcessingPanelState* processing_ = nullptr;
    bool syncing_ = false;
    QWidget* options_ = nullptr; // the "CTD and Corrections" group
    QWidget* tempUnit_ = nullptr;
    QWidget* salnUnit_ = nullptr;
};
