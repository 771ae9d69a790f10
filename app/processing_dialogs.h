// The Processing group's modal dialogs: the QC thresholds (with Restore defaults), the SeaBASS
// metadata (every required header keyword) and the list of a SeaBASS check's findings.
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "processing_options.h"

class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

class TF_QcThresholds : public QDialog {
    Q_OBJECT
  public:
    explicit TF_QcThresholds(QWidget* parent = nullptr);
    void show_values(const ProcessingOptions::Qc& qc);
    ProcessingOptions::Qc values() const;

  private:
    ProcessingOptions::Qc kept_; // apply and anything the dialog has no field for
    std::vector<QDoubleSpinBox*> numbers_;
    QSpinBox* flatSuspect_ = nullptr;
    QSpinBox* flatFail_ = nullptr;
};

class TF_SeabassMetadata : public QDialog {
    Q_OBJECT
  public:
    explicit TF_SeabassMetadata(QWidget* parent = nullptr);
    // One field per keyword, filled from `values`; `missing` ones are marked.
    void show_keywords(const std::vector<std::string>& keywords,
                       const std::map<std::string, std::string>& values,
                       const std::vector<std::string>& missing);
    std::map<std::string, std::string> values() const;

  private:
    std::vector<std::pair<std::string, QLineEdit*>> fields_;
};

// A list of lines (the SeaBASS check's errors and warnings) with a Close button.
void show_findings(QWidget* parent, const QString& title, const std::vector<std::string>& lines);
