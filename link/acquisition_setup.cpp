#include "acquisition_setup.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "file_checks.h"
#include "flw_reader.h"
#include "hyp_reader.h"
#include "parallel.h"

void setup_data_from_devfile(HYP_Data& data, const devfile& dev) {
    data.instrument_type = dev.is_flw ? InstrumentType::FLW : InstrumentType::HYP;
    data.a_wavelengths = dev.a_wl;
    data.c_wavelengths = dev.c_wl;
    data.num_wavelengths = static_cast<std::int32_t>(dev.a_wl.size());
    if (dev.is_flw) {
        data.a_order = dev.a_order;
        data.c_order = dev.c_order;
        data.channel_is_a = dev.channel_is_a;
    } else {
        data.a_order.clear();
        data.c_order.clear();
        data.channel_is_a.clear();
    }
    data.header_lines = dev.lines;
}

namespace {

void append_onboard(std::vector<ctd_struct>& onboard, const std::vector<hyp_data>& records,
                    std::size_t first, const std::vector<double>& temps) {
    for (std::size_t i = 0; i < temps.size(); ++i) {
        ctd_struct e;
        e.time = records[first + i].time;
        e.temperature = temps[i];
        onboard.push_back(e);
    }
}

} // namespace

std::size_t take_decoded_records(HYP_Data& data, parent_reader& reader) {
    const std::size_t first = data.records.size();
    // The onboard list goes with the records only while it has kept pace with them.
    const bool onboard = data.onboard_list.samples.size() == first;
    std::vector<double> temps;
    const std::size_t n = reader.take_records(data.records, &temps);
    if (onboard && temps.size() == n)
        append_onboard(data.onboard_list.samples, data.records, first, temps);
    return n;
}

void replace_records(HYP_Data& data, TakenRecords&& taken) {
    data.records = std::move(taken.records);
    data.onboard_list.samples.clear();
    if (taken.external_temps.size() == data.records.size())
        append_onboard(data.onboard_list.samples, data.records, 0, taken.external_temps);
    taken.external_temps.clear();
}

namespace {

// One call, with a raised text counted and the decoder run on until it stops raising.
template <typename Call> void run_counted(Call&& call, CaptureFeed& feed) {
    for (;;) {
        try {
            call();
            return;
        } catch (const VelmoraError& e) {
            if (feed.decode_errors++ == 0)
                feed.first_error = e.what();
        }
    }
}

// One block; on a raised text the decoder resumes with the bytes already in its buffer.
void feed_one(parent_reader& reader, const std::uint8_t* bytes, std::size_t count,
              CaptureFeed& feed) {
    bool given = false;
    run_counted(
        [&] {
            if (given) {
                reader.process_bytes(nullptr, 0);
            } else {
                given = true;
                reader.process_bytes(bytes, count);
            }
        },
        feed);
}

void take_into(parent_reader& reader, TakenRecords* take) {
    if (take)
        reader.take_records(take->records, reader.dev.is_flw ? nullptr : &take->external_temps);
}

// Room for the records a capture of `bytes` holds at most, so that taking never regrows.
void reserve_records(const parent_reader& reader, std::size_t bytes, TakenRecords* take) {
    if (!take)
        return;
    std::size_t most = 0;
    if (reader.dev.is_flw)
        most = bytes / flw_reader::record_size * flw_reader::blocks_per_record;
    else if (!reader.dev.a_wl.empty())
        most = bytes / hyp_reader::record_size(reader.dev.a_wl.size());
    take->records.reserve(take->records.size() + most);
    if (!reader.dev.is_flw)
        take->external_temps.reserve(take->external_temps.size() + most);
}

// The FLW batch replay on more than one processor: while the capture is fed, the reader frames
// the records, sets their times and moves them out as always, and leaves their a and c values
// to be converted afterwards on every processor, each record by one thread into its own slot.
// The records are thus those of the one-thread replay, bit for bit.
class DeferredValues {
  public:
    DeferredValues(parent_reader& reader, TakenRecords* take) {
        if (take == nullptr || parallel::thread_count() < 2)
            return;
        flw_ = dynamic_cast<flw_reader*>(&reader);
        if (flw_ == nullptr)
            return;
        take_ = take;
        // Record number d (counted since start) lands at take->records[base_ + d] once taken.
        base_ = take->records.size() + reader.decoded_records.size() - reader.decoded_count;
        flw_->defer_values(&jobs_);
    }
    DeferredValues(const DeferredValues&) = delete;
    DeferredValues& operator=(const DeferredValues&) = delete;
    ~DeferredValues() {
        if (flw_)
            flw_->defer_values(nullptr);
    }

    // Converts every record noted so far; the reader converts at once again from here on.
    void convert() {
        if (flw_ == nullptr)
            return;
        flw_->defer_values(nullptr);
        const std::size_t n = jobs_.size();
        const std::size_t parts = std::min<std::size_t>(parallel::thread_count(), n);
        const std::vector<std::exception_ptr> errors = parallel::run_all(parts, [&](std::size_t k) {
            for (std::size_t i = n * k / parts; i < n * (k + 1) / parts; ++i)
                convert_one(jobs_[i]);
        });
        jobs_.clear();
        flw_ = nullptr;
        for (const std::exception_ptr& e : errors)
            if (e)
                std::rethrow_exception(e);
    }

  private:
    // A record is in the taken list, or still in the reader when decoding stopped before it was
    // taken.
    hyp_data* record(std::size_t number) const {
        const std::size_t at = base_ + number;
        if (at < take_->records.size())
            return &take_->records[at];
        const std::size_t first_kept = flw_->decoded_count - flw_->decoded_records.size();
        return &flw_->decoded_records[number - first_kept];
    }
    void convert_one(const flw_reader::DeferredRecord& d) const {
        hyp_data* records[flw_reader::blocks_per_record];
        for (std::size_t b = 0; b < std::size(records); ++b)
            records[b] = record(d.first_record + b);
        flw_->convert_deferred(d, records);
    }

    flw_reader* flw_ = nullptr;
    TakenRecords* take_ = nullptr;
    std::size_t base_ = 0;
    std::vector<flw_reader::DeferredRecord> jobs_;
};

// Runs a replay with the FLW values deferred as above, and converts them however it ends.
template <typename Feed>
CaptureFeed with_deferred_values(parent_reader& reader, TakenRecords* take, Feed&& feed) {
    DeferredValues deferred(reader, take);
    CaptureFeed result;
    try {
        result = feed();
    } catch (...) {
        deferred.convert();
        throw;
    }
    deferred.convert();
    return result;
}

} // namespace

CaptureFeed finish_stream(parent_reader& reader) {
    CaptureFeed feed;
    run_counted([&] { reader.finish(); }, feed);
    return feed;
}

namespace {

CaptureFeed feed_bytes_now(parent_reader& reader, const std::uint8_t* bytes, std::size_t size,
                           std::size_t block, TakenRecords* take) {
    CaptureFeed feed;
    feed.bytes = size;
    if (block == 0)
        block = 4096;
    reader.raw_bytes.reserve(reader.raw_bytes.size() + size);
    reserve_records(reader, size, take);
    std::size_t done = 0;
    while (size - done >= block) {
        feed_one(reader, bytes + done, block, feed);
        take_into(reader, take);
        done += block;
    }
    feed_one(reader, bytes + done, size - done, feed);
    run_counted([&] { reader.finish(); }, feed);
    take_into(reader, take);
    return feed;
}

CaptureFeed feed_capture_now(parent_reader& reader, const std::string& path, TakenRecords* take) {
    file_checks::refuse_folder(path);
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        throw VelmoraError("Unable to open binary file.");
    CaptureFeed feed;
    std::vector<std::uint8_t> block(4096);
    // The whole capture ends up in raw_bytes: one allocation instead of repeated doubling.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        reader.raw_bytes.reserve(reader.raw_bytes.size() + static_cast<std::size_t>(size));
        reserve_records(reader, static_cast<std::size_t>(size), take);
    }
    for (;;) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        feed.bytes += got;
        feed_one(reader, block.data(), got, feed);
        take_into(reader, take);
        if (got < block.size()) {
            if (in.bad())
                throw VelmoraError("Unable to open binary file.");
            break;
        }
    }
    run_counted([&] { reader.finish(); }, feed);
    take_into(reader, take);
    return feed;
}

} // namespace

CaptureFeed feed_bytes(parent_reader& reader, const std::uint8_t* bytes, std::size_t size,
                       std::size_t block, TakenRecords* take) {
    return with_deferred_values(reader, take,
                                [&] { return feed_bytes_now(reader, bytes, size, block, take); });
}

CaptureFeed feed_capture(parent_reader& reader, const std::string& path, TakenRecords* take) {
    return with_deferred_values(reader, take, [&] { return feed_capture_now(reader, path, take); });
}
