#include "engine/CBandRunner.h"

#include <algorithm>
#include <system_error>

CBandRunner::~CBandRunner()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvStart.notify_all();
    for (std::thread& worker : m_aWorkers)
        worker.join();
}

void CBandRunner::Dispatch(int bands, Thunk thunk, void* context)
{
    try {
        while (int(m_aWorkers.size()) < bands - 1) {
            const int band = int(m_aWorkers.size()) + 1;
            // The worker starts from the current generation, so it cannot miss this call.
            m_aWorkers.emplace_back([this, band, generation = m_nGeneration] { WorkerLoop(band, generation); });
        }
    } catch (const std::system_error&) {
        // No more threads to be had: the bands without a worker run here.
    }
    const int parallel = std::min(bands, int(m_aWorkers.size()) + 1);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pThunk = thunk;
        m_pContext = context;
        m_nBands = parallel;
        m_nPending = parallel - 1;
        ++m_nGeneration;
    }
    m_cvStart.notify_all();
    std::exception_ptr error;
    try {
        thunk(context, 0);
        for (int band = parallel; band < bands; ++band)
            thunk(context, band);
    } catch (...) {
        // The workers still run on the caller's data: wait for them first.
        error = std::current_exception();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvDone.wait(lock, [this] { return m_nPending == 0; });
    if (!error)
        error = m_pError;
    m_pError = nullptr;
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
}

void CBandRunner::WorkerLoop(int band, uint64_t seen)
{
    for (;;) {
        Thunk thunk = nullptr;
        void* context = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cvStart.wait(lock, [&] { return m_bStop || m_nGeneration != seen; });
            if (m_bStop)
                return;
            seen = m_nGeneration;
            if (band >= m_nBands)
                continue;
            thunk = m_pThunk;
            context = m_pContext;
        }
        std::exception_ptr error;
        try {
            thunk(context, band);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (error && !m_pError)
                m_pError = error;
            --m_nPending;
        }
        m_cvDone.notify_one();
    }
}
