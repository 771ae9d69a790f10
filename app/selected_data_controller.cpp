#include "selected_data_controller.h"

#include <algorithm>

#include "post_process_controller.h"
#include "text.h"

namespace {

// Adds the corrected a and c values of the given records, channel by channel, into A and C
// (as many channels as each holds).
void sum_corrected(HYP_Data& d, const RecordIndices& indices, std::vector<double>& A,
                   std::vector<double>& C) {
    for (std::size_t i : indices) {
        const hyp_data r = d.correct_one_line(i);
        for (std::size_t j = 0; j < A.size() && j < r.a_values.size(); ++j)
            A[j] += r.a_values[j];
        for (std::size_t j = 0; j < C.size() && j < r.c_values.size(); ++j)
            C[j] += r.c_values[j];
    }
}

} // namespace

void SelectedDataController::AttachData(HYP_Data* data) {
    data_ = data;
    singles_.clear();
    ranges_.clear();
    rows.assign(1, Row{});
    curves.clear();
    save_buttons_enabled = false;
}

void SelectedDataController::AddRecord(int index) {
    if (!data_ || index < 0 || static_cast<std::size_t>(index) >= data_->records.size())
        return;
    singles_.push_back(index);
    Refresh();
}

void SelectedDataController::AddRange(int first, int end) {
    if (first > end)
        std::swap(first, end);
    if (first == end) {
        AddRecord(first);
        return;
    }
    if (!data_ || first < 0 || static_cast<std::size_t>(end) >= data_->records.size())
        return;
    ranges_.emplace_back(first, end);
    Refresh();
}

void SelectedDataController::Refresh() {
    curves.clear();
    rows.assign(std::max(1, row_count()), Row{});
    if (singles_.empty() && ranges_.empty()) {
        save_buttons_enabled = false;
        return;
    }
    save_buttons_enabled = true;
    HYP_Data& d = *data_;
    const std::size_t n_a = d.a_wavelengths.size();
    const std::size_t n_c = d.c_wavelengths.size();

    auto pressure = [&d](int i) {
        return static_cast<std::size_t>(i) < d.ctd_list.samples.size()
                   ? d.ctd_list.samples[i].pressure
                   : 0.0;
    };
    // Each curve of an entry has its own legend line, a in reds and c in blues.
    auto add_pair = [this](const std::string& title, int colour, const std::vector<double>& ax,
                           const std::vector<double>& ay, const std::vector<double>& cx,
                           const std::vector<double>& cy) {
        curves.push_back(Curve{title + " a", true, colour, ax, ay, true});
        curves.push_back(Curve{title + " c", true, colour, cx, cy, false});
    };
    // Records are numbered from 1, as the spectral view's "Line number" counts them.
    auto number = [](int i) { return std::to_string(i + 1); };

    for (std::size_t k = 0; k < singles_.size(); ++k) {
        const int i = singles_[k];
        Row& row = rows[k];
        row.cells[0] = "Line " + number(i);
        row.cells[1] = general_number(d.records[i].time);
        hyp_data r = d.correct_one_line(i);
        std::vector<double> ay(r.a_values.begin(),
                               r.a_values.begin() + std::min(n_a, r.a_values.size()));
        std::vector<double> cy(r.c_values.begin(),
                               r.c_values.begin() + std::min(n_c, r.c_values.size()));
        std::vector<double> ax(d.a_wavelengths.begin(), d.a_wavelengths.begin() + ay.size());
        std::vector<double> cx(d.c_wavelengths.begin(), d.c_wavelengths.begin() + cy.size());
        add_pair(row.cells[0], static_cast<int>(k), ax, ay, cx, cy);
    }

    for (std::size_t m = 0; m < ranges_.size(); ++m) {
        const auto [first, end] = ranges_[m];
        const std::size_t q = singles_.size() + m;
        const std::size_t channels = d.records.empty() ? 0 : d.records[0].a_values.size();
        std::vector<double> A(channels, 0.0), C(channels, 0.0);
        RecordIndices range(static_cast<std::size_t>(end - first));
        for (std::size_t k = 0; k < range.size(); ++k)
            range[k] = static_cast<std::size_t>(first) + k;
        sum_corrected(d, range, A, C);
        Row& row = rows[q];
        row.cells[0] = "Lines " + number(first) + " - " + number(end);
        row.cells[1] = text::format_fixed(d.records[first].time, 6) + " - " +
                       text::format_fixed(d.records[end].time, 6);
        row.cells[2] = d.ctd_merged ? text::format_fixed(pressure(first), 2) + " - " +
                                          text::format_fixed(pressure(end), 2)
                                    : "n/a";
        const double count = end - first;
        std::vector<double> ax, ay, cx, cy;
        for (std::size_t j = 0; j < std::min(n_a, channels); ++j) {
            ax.push_back(d.a_wavelengths[j]);
            ay.push_back(A[j] / count);
        }
        for (std::size_t j = 0; j < std::min(n_c, channels); ++j) {
            cx.push_back(d.c_wavelengths[j]);
            cy.push_back(C[j] / count);
        }
        add_pair(row.cells[0], static_cast<int>(q), ax, ay, cx, cy);
    }

    for (std::size_t k = 0; k < singles_.size(); ++k)
        rows[k].cells[2] = d.ctd_merged ? general_number(pressure(singles_[k])) : "n/a";
}

bool SelectedDataController::clamp_rows(int& top, int& bottom) const {
    if (top > bottom)
        std::swap(top, bottom);
    top = std::max(top, 0);
    bottom = std::min(bottom, row_count() - 1);
    return top <= bottom;
}

RecordIndices SelectedDataController::SelectedIndices(int top, int bottom) const {
    RecordIndices out;
    if (!clamp_rows(top, bottom))
        return out;
    const int singles = static_cast<int>(singles_.size());
    for (int row = bottom; row >= top; --row) {
        if (row < singles) {
            out.push_back(static_cast<std::size_t>(singles_[row]));
        } else {
            const auto [first, end] = ranges_[row - singles];
            for (int i = first; i < end; ++i)
                out.push_back(static_cast<std::size_t>(i));
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

void SelectedDataController::B_RemoveSelectedClick(int top, int bottom) {
    if (singles_.empty() && ranges_.empty())
        return;
    if (clamp_rows(top, bottom)) {
        // From the bottom up, so the rows not yet handled keep their numbers.
        const int singles = static_cast<int>(singles_.size());
        for (int row = bottom; row >= top; --row) {
            if (row < singles)
                singles_.erase(singles_.begin() + row);
            else
                ranges_.erase(ranges_.begin() + (row - singles));
        }
    }
    Refresh();
}

void SelectedDataController::B_RemoveAllClick() {
    singles_.clear();
    ranges_.clear();
    Refresh();
}

void SelectedDataController::B_SaveSelectedClick(int top, int bottom) {
    if (!data_)
        return;
    HYP_Data& d = *data_;
    auto path = ctx_.dialogs.save_file("Save Selected Range", ctx_.ws.window.save_filter,
                                       drop_last(d.file_name, 4) + "_chunk.dat");
    if (!path)
        return;
    const RecordIndices indices = SelectedIndices(top, bottom);
    naming_file(*path, [&] {
        ctx_.ws.run_job(SessionState::Saving, "Saving " + *path, [&d, &path, &indices] {
            d.fill_corrected_records();
            d.save_selection(*path, indices);
        });
    });
}

void SelectedDataController::B_SaveWaterClick(int top, int bottom) {
    if (!data_)
        return;
    HYP_Data& d = *data_;
    const RecordIndices indices = SelectedIndices(top, bottom);
    if (indices.empty())
        return;

    // The water calibration is the mean of the selection with no correction but the water
    // temperature's, which the saved file carries.
    ProcessingOptions o = ProcessingOptions::from(d);
    o.temperature = {TempSource::Constant,
                     text::parse_typed_number(ctx_.dialogs.water_temperature_text()), false};
    o.salinity.apply = o.scattering.apply = false;
    o.apply_to(d);

    // The mean corrected spectrum of the selection is the candidate water calibration.
    const std::size_t n_a = d.a_wavelengths.size();
    const std::size_t n_c = d.c_wavelengths.size();
    std::vector<double> A(n_a, 0.0), C(n_c, 0.0);
    sum_corrected(d, indices, A, C);
    for (double& v : A)
        v /= static_cast<double>(indices.size());
    for (double& v : C)
        v /= static_cast<double>(indices.size());

    WaterCalRequest request;
    request.a_wavelengths = d.a_wavelengths;
    request.a_mean = A;
    request.c_wavelengths = d.c_wavelengths;
    request.c_mean = C;
    request.scat_index = ctx_.ws.post.PD_ScatType;
    request.scat_wl_text = ctx_.ws.post.E_ScatWL;
    if (ctx_.dialogs.make_water(request) != mrOk)
        return;

    auto path = ctx_.dialogs.save_file("Save As Water File", ctx_.ws.window.save_filter,
                                       drop_last(d.file_name, 4) + "_water.wcf");
    if (!path)
        return;

    hyp_data mean;
    mean.a_values = std::move(A);
    mean.c_values = std::move(C);
    d.corrected_records.clear();
    d.corrected_records.push_back(std::move(mean));
    const double temperature = text::parse_typed_number(ctx_.dialogs.water_temperature_text());
    try {
        naming_file(*path, [&] { d.save_water_cal(*path, indices, temperature); });
    } catch (...) {
        d.corrected_records.clear();
        throw;
    }
    d.corrected_records.clear();
}

void SelectedDataController::B_SaveDevClick(int top, int bottom) {
    if (!data_)
        return;
    HYP_Data& d = *data_;
    auto path = ctx_.dialogs.save_file("Save As Dev File", ctx_.ws.window.save_filter,
                                       drop_last(d.file_name, 3) + "dev");
    if (!path)
        return;
    naming_file(*path, [&] { d.save_devfile(*path, SelectedIndices(top, bottom)); });
}
