#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// Runs one job on several bands at once: band 0 on the calling thread, the
// others on worker threads that are started once and kept for later calls, so
// a call allocates nothing. Run returns when every band is done.
// A band that throws is caught on its own thread; Run waits for every band
// that started and then rethrows the first exception on the caller (bands left
// to run on the caller after its own band threw are skipped).
class CBandRunner
{
public:
    CBandRunner() = default;
    ~CBandRunner();
    CBandRunner(const CBandRunner&) = delete;
    CBandRunner& operator=(const CBandRunner&) = delete;

    // Calls job(band) for band = 0 … bands − 1. Falls back to running the bands
    // one after another when worker threads cannot be started.
    template <class Job>
    void Run(int bands, Job& job)
    {
        Dispatch(bands, [](void* context, int band) { (*static_cast<Job*>(context))(band); }, &job);
    }

private:
    using Thunk = void (*)(void*, int);
    void Dispatch(int bands, Thunk thunk, void* context);
    void WorkerLoop(int band, uint64_t seen);

    std::vector<std::thread> m_aWorkers; // worker k runs band k + 1
    std::mutex m_mutex;
    std::condition_variable m_cvStart;
    std::condition_variable m_cvDone;
    uint64_t m_nGeneration = 0;
    int m_nBands = 0;
    int m_nPending = 0;
    Thunk m_pThunk = nullptr;
    void* m_pContext = nullptr;
    std::exception_ptr m_pError; // the first exception of a worker's band in this call
    bool m_bStop = false;
};
