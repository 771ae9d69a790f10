#include "acquisition_setup.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "atomic_file.h"
#include "clock_time.h"
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
// to other threads, each record converted by one thread into its own slot.  The records are
// thus those of the one-thread replay, bit for bit.  Conversion threads start on the records
// framed so far while the feeding thread frames the next, as long as the capture, the taken
// records and the list of deferred records have the room reserved for them (a list that grew
// would move what those threads read); the rest is converted on every processor at the end.
class DeferredValues {
  public:
    DeferredValues(parent_reader& reader, TakenRecords* take) {
        threads_ = parallel::thread_count();
        if (take == nullptr || threads_ < 2)
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
        stop_workers();
        if (flw_)
            flw_->defer_values(nullptr);
    }

    // Room for the records a capture of `bytes` holds.
    void reserve(std::size_t bytes) {
        if (flw_)
            jobs_.reserve(jobs_.size() + bytes / flw_reader::record_size + 1);
    }

    // After a block has been fed and its records taken, before `next_block` more bytes are fed:
    // hands the records framed so far to the conversion threads.
    void taken(std::size_t next_block) {
        if (flw_ == nullptr || closed_)
            return;
        const std::size_t most = next_block / flw_reader::record_size + 3;
        const bool room = jobs_.capacity() - jobs_.size() >= most &&
                          take_->records.capacity() - take_->records.size() >=
                              most * flw_reader::blocks_per_record &&
                          flw_->raw_bytes.capacity() - flw_->raw_bytes.size() >= next_block;
        if (!room) {
            stop_workers();
            closed_ = true;
            return;
        }
        std::size_t ready = published_;
        while (ready < jobs_.size() &&
               base_ + jobs_[ready].first_record + flw_reader::blocks_per_record <=
                   take_->records.size())
            ++ready;
        if (ready - published_ < batch)
            return;
        {
            std::lock_guard<std::mutex> lock(m_);
            published_ = ready;
            shared_jobs_ = jobs_.data();
            shared_capture_ = flw_->raw_bytes.data();
            shared_capture_size_ = flw_->raw_bytes.size();
            shared_records_ = take_->records.data();
        }
        changed_.notify_all();
        if (workers_.empty() && !closed_) {
            for (unsigned k = 1; k < threads_; ++k) {
                try {
                    workers_.emplace_back([this] { work(); });
                } catch (...) {
                    break; // no thread to be had: the end converts the rest
                }
            }
        }
    }

    // Converts every record noted so far; the reader converts at once again from here on.
    void convert() {
        if (flw_ == nullptr)
            return;
        stop_workers();
        flw_->defer_values(nullptr);
        std::exception_ptr error = worker_error_;
        const std::size_t first = next_, n = jobs_.size() - first;
        const std::size_t parts = std::min<std::size_t>(threads_, n);
        const std::vector<std::exception_ptr> errors = parallel::run_all(parts, [&](std::size_t k) {
            for (std::size_t i = first + n * k / parts; i < first + n * (k + 1) / parts; ++i)
                convert_one(jobs_[i], flw_->raw_bytes.data(), flw_->raw_bytes.size(),
                            [&](std::size_t number) { return record(number); });
        });
        jobs_.clear();
        flw_ = nullptr;
        if (error)
            std::rethrow_exception(error);
        for (const std::exception_ptr& e : errors)
            if (e)
                std::rethrow_exception(e);
    }

  private:
    static constexpr std::size_t batch = 64; // records handed on at a time
    static constexpr std::size_t chunk = 16; // records a conversion thread takes at a time

    void work() {
        for (;;) {
            std::size_t from = 0, to = 0;
            const flw_reader::DeferredRecord* jobs = nullptr;
            const std::uint8_t* capture = nullptr;
            std::size_t capture_size = 0;
            hyp_data* records = nullptr;
            {
                std::unique_lock<std::mutex> lock(m_);
                changed_.wait(lock, [&] { return stop_ || next_ < published_; });
                if (stop_)
                    return;
                from = next_;
                to = std::min(published_, from + chunk);
                next_ = to;
                jobs = shared_jobs_;
                capture = shared_capture_;
                capture_size = shared_capture_size_;
                records = shared_records_;
            }
            try {
                for (std::size_t i = from; i < to; ++i)
                    convert_one(jobs[i], capture, capture_size,
                                [&](std::size_t number) { return records + (base_ + number); });
            } catch (...) {
                std::lock_guard<std::mutex> lock(m_);
                if (!worker_error_)
                    worker_error_ = std::current_exception();
                stop_ = true;
            }
        }
    }

    void stop_workers() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        workers_.clear();
        closed_ = true;
    }

    // A record is in the taken list, or still in the reader when decoding stopped before it was
    // taken (only once every conversion thread has stopped).
    hyp_data* record(std::size_t number) const {
        const std::size_t at = base_ + number;
        if (at < take_->records.size())
            return &take_->records[at];
        const std::size_t first_kept = flw_->decoded_count - flw_->decoded_records.size();
        return &flw_->decoded_records[number - first_kept];
    }
    template <typename Locate>
    void convert_one(const flw_reader::DeferredRecord& d, const std::uint8_t* capture,
                     std::size_t size, Locate&& locate) const {
        hyp_data* records[flw_reader::blocks_per_record];
        for (std::size_t b = 0; b < std::size(records); ++b)
            records[b] = locate(d.first_record + b);
        flw_->convert_deferred(d, capture, size, records);
    }

    flw_reader* flw_ = nullptr;
    TakenRecords* take_ = nullptr;
    std::size_t base_ = 0;
    unsigned threads_ = 1;
    std::vector<flw_reader::DeferredRecord> jobs_;
    bool closed_ = false; // no more records handed to conversion threads

    // Shared with the conversion threads, under m_.
    std::mutex m_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::size_t published_ = 0; // jobs_[0, published_) may be converted
    std::size_t next_ = 0;      // the first not yet taken by a thread
    const flw_reader::DeferredRecord* shared_jobs_ = nullptr;
    const std::uint8_t* shared_capture_ = nullptr;
    std::size_t shared_capture_size_ = 0;
    hyp_data* shared_records_ = nullptr;
    std::exception_ptr worker_error_;
    std::vector<std::thread> workers_;
};

// Runs a replay with the FLW values deferred as above, and converts them however it ends.
template <typename Feed>
CaptureFeed with_deferred_values(parent_reader& reader, TakenRecords* take, Feed&& feed) {
    DeferredValues deferred(reader, take);
    CaptureFeed result;
    try {
        result = feed(deferred);
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
                           std::size_t block, TakenRecords* take, DeferredValues& deferred) {
    CaptureFeed feed;
    feed.bytes = size;
    if (block == 0)
        block = 4096;
    reader.raw_bytes.reserve(reader.raw_bytes.size() + size);
    reserve_records(reader, size, take);
    deferred.reserve(size);
    std::size_t done = 0;
    while (size - done >= block) {
        feed_one(reader, bytes + done, block, feed);
        take_into(reader, take);
        done += block;
        deferred.taken(std::min(block, size - done));
    }
    feed_one(reader, bytes + done, size - done, feed);
    run_counted([&] { reader.finish(); }, feed);
    take_into(reader, take);
    return feed;
}

CaptureFeed feed_capture_now(parent_reader& reader, const std::string& path, TakenRecords* take,
                             DeferredValues& deferred) {
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
        deferred.reserve(static_cast<std::size_t>(size));
    }
    for (;;) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        feed.bytes += got;
        feed_one(reader, block.data(), got, feed);
        take_into(reader, take);
        deferred.taken(block.size());
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
    return with_deferred_values(reader, take, [&](DeferredValues& deferred) {
        return feed_bytes_now(reader, bytes, size, block, take, deferred);
    });
}

CaptureFeed feed_capture(parent_reader& reader, const std::string& path, TakenRecords* take) {
    return with_deferred_values(reader, take, [&](DeferredValues& deferred) {
        return feed_capture_now(reader, path, take, deferred);
    });
}

std::string capture_start_path(const std::string& capture) {
    return capture + ".start";
}

void save_capture_start(const std::string& capture, std::optional<std::int64_t> start) {
    const std::string path = capture_start_path(capture);
    if (!start) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return;
    }
    AtomicFile file(path,
                    "Unable to open file for saving.  Is this file opened in another program?");
    file.stream() << clock_time::start_field(*start) << '\n';
    file.commit();
}

std::optional<std::int64_t> read_capture_start(const std::string& capture) {
    std::ifstream in(capture_start_path(capture), std::ios::binary);
    std::string line;
    if (!in.is_open() || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    constexpr std::string_view kKey = "start=";
    if (line.compare(0, kKey.size(), kKey) != 0)
        return std::nullopt;
    return clock_time::parse_iso(std::string_view(line).substr(kKey.size()));
}
