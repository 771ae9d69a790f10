// Corrected channel series of the records appended since the last redraw, so that a live view
// does not correct a whole day of records again on every tick.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class HYP_Data;

class SeriesWindow {
  public:
    SeriesWindow();
    ~SeriesWindow();

    // Everything the correction of one channel depends on apart from the records themselves;
    // equal keys mean that values corrected earlier are still right.
    static std::vector<double> settingsKey(const HYP_Data& data, int a_channel, int c_channel);

    // False when the records from `first` on cannot be corrected apart from the others (a
    // per-record list shorter than the records); then the whole series must be recomputed.
    static bool canCorrectFrom(const HYP_Data& data, std::size_t first);

    // correct_series(channel, is_a) of the records first..end of `data`, computed on a copy of
    // those records with the same settings.  Failures raise as correct_series does.
    std::vector<double> correctFrom(const HYP_Data& data, int channel, bool is_a,
                                    std::size_t first);

  private:
    void load(const HYP_Data& data, std::size_t first);
    std::unique_ptr<HYP_Data> scratch_;
};
