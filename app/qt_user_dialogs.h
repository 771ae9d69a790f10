// The user's answers on the screen: message boxes, the file dialogs and the small dialogs.
#pragma once

#include <QString>

#include "app_services.h"

class QWidget;
class TF_FacCalQuery;
class TF_ContSaving;
class TF_MakeWater;
class TAboutBox1;
class TF_LoadCTD;

// "Name|*.a;*.b|All Files|*.*" as a Qt filter list; patterns match either case and "*.*" also
// matches names without an extension.
QString qt_file_filter(const std::string& filter);

class QtUserDialogs : public UserDialogs {
  public:
    struct Windows {
        TF_LoadCTD* loadCtd = nullptr;
        TF_ContSaving* contSaving = nullptr;
        TF_MakeWater* makeWater = nullptr;
        TF_FacCalQuery* facCalQuery = nullptr;
        TAboutBox1* about = nullptr;
    };
    QtUserDialogs(QWidget* parent, Windows windows) : parent_(parent), w_(windows) {}

    int message(const std::string& text, const std::string& caption, bool ok_cancel) override;
    std::optional<std::string> open_file(const std::string& title,
                                         const std::string& filter) override;
    std::optional<std::string> save_file(const std::string& title, const std::string& filter,
                                         const std::string& proposed_name) override;
    int fac_cal_query(double& value) override;
    int continue_saving() override;
    int load_ctd_columns(const std::string& path, CtdColumns& columns) override;
    std::string water_temperature_text() override;
    int water_scat_index() override;
    int make_water(const WaterCalRequest& request) override;
    void about() override;
    std::optional<std::int64_t> start_time(std::int64_t proposed) override;
    int qc_thresholds(ProcessingOptions::Qc& qc) override;
    int seabass_metadata(const std::vector<std::string>& keywords,
                         std::map<std::string, std::string>& values,
                         const std::vector<std::string>& missing) override;
    void findings(const std::string& title, const std::vector<std::string>& lines) override;

  private:
    QWidget* parent_;
    Windows w_;
    QString lastDir_;
};
