#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

#include <deque>
#include <functional>
#include <future>

// Encodes the frames of a numbered sequence on worker threads while the caller
// renders the next ones. At most a fixed number of frames are encoding at once,
// so memory stays bounded whatever the count; each frame's result is handed
// back on the caller's thread in the order the frames were added, so failures
// are reported in frame order as if the frames had been written one by one.
class CSequenceWriter
{
public:
    // Writes one picture to one file: 0 on success, negative on failure, with
    // the reason in error. Runs on a worker thread.
    using Encoder = std::function<int(const QImage& image, const QString& path, QString& error)>;
    // Told the result of each frame and the encoder's reason, on the thread that adds frames.
    using Finished = std::function<void(int index, const QString& path, int result, const QString& error)>;

    // nJobs below 1 counts as 1.
    CSequenceWriter(int nJobs, Encoder encoder, Finished finished);
    // Waits for frames still encoding without reporting them.
    ~CSequenceWriter();
    CSequenceWriter(const CSequenceWriter&) = delete;
    CSequenceWriter& operator=(const CSequenceWriter&) = delete;

    // Starts encoding one frame. When nJobs frames are already encoding it
    // first waits for the oldest and reports it (and any others already done).
    void Add(int index, const QImage& image, const QString& path);
    // Waits for every frame still encoding and reports each.
    void Finish();

    int GetJobs() const { return m_nJobs; }
    // Frames a sequence holds for the encoders by default, at most: each
    // costs a 32-bit copy and its encoded bytes.
    static constexpr int kMaxDefaultJobs = 4;
    // One job per processor unit, from 1 to kMaxDefaultJobs.
    static int DefaultJobs();
    // What one frame in flight holds per pixel: a 32-bit copy and its encoded bytes.
    static constexpr int64_t kBytesPerPixelPerJob = 8;
    // The most of nJobs frames of the given pixel count that fit in
    // availableBytes at once, at least 1; all of them when the memory is
    // unknown (negative).
    static int JobsThatFit(int nJobs, int64_t pixels, int64_t availableBytes);

private:
    struct SResult
    {
        int nResult;
        QString strError;
    };
    struct SPending
    {
        int nIndex;
        QString strPath;
        std::future<SResult> result;
    };
    void FinishOldest();

    int m_nJobs;
    Encoder m_encoder;
    Finished m_finished;
    // Declared last so it is destroyed first: its futures wait for the workers,
    // which use m_encoder.
    std::deque<SPending> m_aPending;
};
