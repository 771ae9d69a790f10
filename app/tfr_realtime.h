// The acquisition panel of the "Data Acquisition" tab.  It shows the controller's panel state
// and the workspace's preview options, and forwards every user action to the controller; it
// decides nothing itself.
#pragma once

#include <functional>

#include <QFrame>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

class AcquisitionController;
struct Workspace;

class TFr_RealTime : public QFrame {
    Q_OBJECT
  public:
    explicit TFr_RealTime(QWidget* parent = nullptr);

    // The controller and workspace the panel mirrors; both outlive the panel.
    void attach(AcquisitionController* controller, Workspace* workspace);
    // B_Start and B_Stop trigger these actions and follow their enabled state.
    void bind_actions(QAction* start, QAction* stop);
    // Every forwarded command runs through this (the main window catches errors and syncs all
    // widgets afterwards); unset, the command runs directly and the panel syncs itself.
    std::function<void(const std::function<void()>&)> run_command;

    // Copies the panel state and preview options onto the controls.
    void sync();

    QSpinBox* UD_Port = nullptr; // with its field E_CommPort
    QPushButton* B_Device = nullptr;
    QLineEdit* E_Device = nullptr;
    QPushButton* B_Start = nullptr;
    QPushButton* B_Stop = nullptr;
    QCheckBox* CB_Temp = nullptr;
    QCheckBox* CB_Saln = nullptr;
    QCheckBox* CB_ScatCorr = nullptr;
    QLineEdit* E_Temp = nullptr;
    QLineEdit* E_Saln = nullptr;
    QComboBox* PD_ScatType = nullptr;
    QLineEdit* E_ScatWL = nullptr;
    QToolButton* UpDown1_up = nullptr;
    QToolButton* UpDown1_down = nullptr;
    QLabel* L_Clock = nullptr;
    QLabel* L_TimeStamp = nullptr;
    QLabel* L_Serial = nullptr;
    QLabel* L_FacCalTemp = nullptr;
    QLabel* L_Progress = nullptr;
    QLabel* L_InternalTemp = nullptr;
    QLabel* L_ExternalTemp = nullptr;
    QLabel* L_DevFileTempCal = nullptr;
    QLabel* L_SizeOfFile = nullptr;

  private:
    void forward(const std::function<void()>& command);
    void preview_changed();

    AcquisitionController* controller_ = nullptr;
    Workspace* ws_ = nullptr;
    bool syncing_ = false;
};
