#include "ordered_jobs.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

int machineCores() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void runInOrder(int count, int jobs, const std::function<void(int worker, int i)>& work,
                const std::function<void(int i)>& take) {
    if (count <= 1) {
        for (int i = 0; i < count; ++i) {
            work(0, i);
            take(i);
        }
        return;
    }
    jobs = std::max(1, std::min(jobs, count));
    // Items started and not yet taken: a worker waits rather than run further ahead of a
    // slow item, as every finished item holds its results (a photo's images) until taken.
    const int maxAhead = 2 * jobs;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> finished(count, 0);
    std::vector<std::exception_ptr> failure(count);
    int taken = 0;
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
    auto run = [&](int worker) {
        for (int i; !stop && (i = next++) < count;) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || i < taken + maxAhead; });
            }
            if (stop) break;
            std::exception_ptr e;
            try {
                work(worker, i);
            } catch (...) {
                e = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(mutex);
            failure[i] = e;
            finished[i] = 1;
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < jobs; ++w) threads.emplace_back(run, w);
    std::exception_ptr raised;
    for (int i = 0; i < count && !raised; ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return finished[i] != 0; });
            raised = failure[i];
        }
        try {
            if (!raised) take(i);
        } catch (...) {
            raised = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++taken;
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    changed.notify_all();
    for (std::thread& t : threads) t.join();
    if (raised) std::rethrow_exception(raised);
}
