#include "engine/CPreviewRenderer.h"

#include <system_error>
#include <utility>

CPreviewRenderer::CPreviewRenderer(std::function<void(CImage&, const SRequest&)> render,
                                   std::function<void()> ready)
    : m_fnRender(std::move(render)), m_fnReady(std::move(ready))
{
}

CPreviewRenderer::~CPreviewRenderer()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
        m_pending.reset();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool CPreviewRenderer::Resize(int32_t nWidth, int32_t nHeight)
{
    Wait();
    std::lock_guard lock(m_mutex);
    m_done.reset();
    m_error = nullptr;
    m_imgWork.Destroy();
    m_imgDone.Destroy();
    m_bSized = m_imgWork.Create(nWidth, nHeight) && m_imgDone.Create(nWidth, nHeight);
    if (!m_bSized)
        m_imgWork.Destroy();
    return m_bSized;
}

bool CPreviewRenderer::Request(const SRequest& request)
{
    {
        std::lock_guard lock(m_mutex);
        // Not the work picture's emptiness: a taken frame may swap an
        // empty picture in, which the render function makes anew.
        if (!m_bSized)
            return false;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread(&CPreviewRenderer::Run, this);
            } catch (const std::system_error&) {
                return false;
            }
        }
        m_pending = request;
    }
    m_wake.notify_one();
    return true;
}

std::optional<CPreviewRenderer::SRequest> CPreviewRenderer::Take(CImage& out)
{
    std::lock_guard lock(m_mutex);
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
    if (!m_done)
        return std::nullopt;
    out.Swap(m_imgDone);
    return std::exchange(m_done, std::nullopt);
}

void CPreviewRenderer::Wait()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_bRendering && !m_pending; });
}

bool CPreviewRenderer::IsBusy() const
{
    std::lock_guard lock(m_mutex);
    return m_bRendering || m_pending;
}

void CPreviewRenderer::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || m_pending; });
        if (m_bStop)
            return;
        const SRequest request = *std::exchange(m_pending, std::nullopt);
        m_bRendering = true;
        lock.unlock();
        // The work picture is the worker's alone while m_bRendering is set:
        // Resize and Take wait for or never touch it.
        std::exception_ptr error;
        try {
            m_fnRender(m_imgWork, request);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error) {
            m_error = error;
        } else {
            m_imgWork.Swap(m_imgDone);
            m_done = request;
        }
        m_bRendering = false;
        if (!m_pending)
            m_idle.notify_all();
        lock.unlock();
        m_fnReady();
        lock.lock();
    }
}
