// Threads for the file readers and writers: large files are split at line boundaries and their
// pieces parsed or formatted on every processor, then joined in file order, so the result is the
// one a single thread gives, byte for byte.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace parallel {

// How the readers and writers split their work.  The defaults suit real files; tests lower the
// sizes to split small fixtures, and set one thread to get the unsplit result.
struct Tuning {
    unsigned threads = 0;                 // 0: one per processor
    std::size_t min_part_bytes = 1 << 20; // a reader splits no piece smaller than this
    std::size_t block_bytes = 2 << 20;    // a writer formats about this much per block
    std::size_t min_part_records = 1024;  // records corrected per thread at least
};

inline Tuning& tuning() {
    static Tuning t;
    return t;
}

inline unsigned thread_count() {
    unsigned n = tuning().threads;
    if (n == 0)
        n = std::thread::hardware_concurrency();
    return std::clamp(n, 1u, 16u);
}

// Runs task(k) for k = 0 .. count - 1, each on its own thread (task 0 on the calling one), and
// waits for all.  The exception of each task is kept in its slot of the result.
template <class Task> std::vector<std::exception_ptr> run_all(std::size_t count, Task&& task) {
    std::vector<std::exception_ptr> errors(count);
    auto guarded = [&](std::size_t k) {
        try {
            task(k);
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(count > 0 ? count - 1 : 0);
    for (std::size_t k = 1; k < count; ++k) {
        try {
            threads.emplace_back(guarded, k);
        } catch (...) {
            guarded(k); // no thread to be had: this one does the work
        }
    }
    if (count > 0)
        guarded(0);
    for (std::thread& t : threads)
        t.join();
    return errors;
}

// Produces blocks 0 .. count - 1 on worker threads, at most `workers + 1` ahead of the consumer,
// and consumes them in order on the calling thread.  produce(block, buffer) fills a buffer (a
// reused one: produce empties it first); consume(block, buffer) takes it.  An exception of produce
// reaches consume's caller once the blocks before it have been consumed, after consume has taken
// the same block's buffer (what produce had put there before it failed); an exception of consume
// ends the run at once.  Either way every worker has stopped before this returns or raises.
template <class Buffer, class Produce, class Consume>
void ordered_blocks(std::size_t count, unsigned workers, Produce&& produce, Consume&& consume) {
    if (workers <= 1 || count <= 1) {
        Buffer buffer;
        for (std::size_t b = 0; b < count; ++b) {
            std::exception_ptr error;
            try {
                produce(b, buffer);
            } catch (...) {
                error = std::current_exception();
            }
            consume(b, buffer);
            if (error)
                std::rethrow_exception(error);
        }
        return;
    }

    struct Slot {
        Buffer buffer;
        std::exception_ptr error;
        std::size_t block = 0;
        bool ready = false;
    };
    const std::size_t slots = workers + 1;
    std::vector<Slot> ring(slots);
    std::mutex m;
    std::condition_variable changed;
    std::size_t next = 0;     // the next block a worker takes
    std::size_t consumed = 0; // blocks the consumer has finished
    bool stop = false;

    auto work = [&] {
        for (;;) {
            std::size_t b = 0;
            {
                std::unique_lock<std::mutex> lock(m);
                changed.wait(lock,
                             [&] { return stop || next >= count || next < consumed + slots; });
                if (stop || next >= count)
                    return;
                b = next++;
            }
            Slot& s = ring[b % slots];
            std::exception_ptr error;
            try {
                produce(b, s.buffer);
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(m);
                s.error = error;
                s.block = b;
                s.ready = true;
                if (error)
                    stop = true; // the blocks after a failed one are never consumed
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    auto finish = [&] {
        {
            std::lock_guard<std::mutex> lock(m);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
        threads.clear();
    };
    for (unsigned w = 0; w < workers; ++w) {
        try {
            threads.emplace_back(work);
        } catch (...) {
            break; // fewer threads than asked for: those there are do the work
        }
    }
    if (threads.empty()) {
        ordered_blocks<Buffer>(count, 1, produce, consume);
        return;
    }

    try {
        for (std::size_t b = 0; b < count; ++b) {
            Slot& s = ring[b % slots];
            std::unique_lock<std::mutex> lock(m);
            changed.wait(lock, [&] { return s.ready && s.block == b; });
            lock.unlock();
            consume(b, s.buffer);
            if (s.error) {
                const std::exception_ptr error = s.error;
                finish();
                std::rethrow_exception(error);
            }
            lock.lock();
            s.ready = false;
            ++consumed;
            lock.unlock();
            changed.notify_all();
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

} // namespace parallel
