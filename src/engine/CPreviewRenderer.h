#pragma once

#include "document/CMorphTiming.h"
#include "platform/CImage.h"
#include "platform/CRect.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Renders preview frames on one worker thread, the latest request winning: a
// request made while a frame renders replaces any request still waiting, so
// a slow frame never builds a queue behind it. A finished frame waits in its
// own picture until it is taken; a newer finished frame replaces it. The
// owner is told through its ready function, on the worker thread, and takes
// the frame on its own thread.
class CPreviewRenderer
{
public:
    // What to render: the owner's key for it, the position and the part of
    // the frame: the whole exact frame (no scale, an empty rectangle), a
    // draft of the whole frame at fDraftScale, or the rectangle rcPart of
    // the exact frame.
    struct SRequest
    {
        int64_t nKey = 0;
        CMorphTiming::SPosition pos{0.0f, 0.0f};
        double fDraftScale = 0.0;
        CRect rcPart{};
        bool IsWholeFrame() const { return fDraftScale == 0.0 && rcPart == CRect(); }
        bool operator==(const SRequest&) const = default;
    };

    // render draws one request into a picture, of the size given to Resize
    // when it comes (a render of a part may make it anew at another size);
    // ready is called on the worker after each frame (also after a throw).
    CPreviewRenderer(std::function<void(CImage&, const SRequest&)> render, std::function<void()> ready);
    // Drops the waiting request and waits for the frame in hand: nothing the
    // render function reads may go before this returns.
    ~CPreviewRenderer();
    CPreviewRenderer(const CPreviewRenderer&) = delete;
    CPreviewRenderer& operator=(const CPreviewRenderer&) = delete;

    // Waits for the worker, drops any frame not taken, and makes the two
    // pictures frames render into; false when there is no memory for them.
    bool Resize(int32_t nWidth, int32_t nHeight);
    // Asks for a frame; false without pictures or without a thread, when the
    // owner must render it itself.
    bool Request(const SRequest& request);
    // Swaps the finished frame into out and gives its request; nothing when
    // no frame is finished. A render that threw throws here instead.
    std::optional<SRequest> Take(CImage& out);
    // Waits until nothing renders or waits to render.
    void Wait();
    // Whether a frame renders or waits to render.
    bool IsBusy() const;

private:
    void Run();

    const std::function<void(CImage&, const SRequest&)> m_fnRender;
    const std::function<void()> m_fnReady;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // a request or the end, for the worker
    std::condition_variable m_idle; // the worker has nothing in hand, for Wait
    std::optional<SRequest> m_pending;   // the latest request not yet started
    bool m_bRendering = false;
    bool m_bStop = false;
    bool m_bSized = false;               // Resize made the pictures
    CImage m_imgWork;                    // the worker's picture, its own while m_bRendering
    CImage m_imgDone;                    // the finished frame, until taken
    std::optional<SRequest> m_done;      // its request
    std::exception_ptr m_error;          // a render's exception, until taken
    std::thread m_thread;                // started at the first request
};
