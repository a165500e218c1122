#include "platform/CSequenceWriter.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

CSequenceWriter::CSequenceWriter(int nJobs, Encoder encoder, Finished finished)
    : m_nJobs(std::max(1, nJobs)), m_encoder(std::move(encoder)), m_finished(std::move(finished))
{
}

CSequenceWriter::~CSequenceWriter()
{
    m_aPending.clear();
}

int CSequenceWriter::DefaultJobs()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, unsigned(kMaxDefaultJobs)));
}

int CSequenceWriter::JobsThatFit(int nJobs, int64_t pixels, int64_t availableBytes)
{
    nJobs = std::max(1, nJobs);
    if (availableBytes < 0 || pixels <= 0)
        return nJobs;
    const int64_t fit = availableBytes / kBytesPerPixelPerJob / pixels;
    return int(std::clamp<int64_t>(fit, 1, nJobs));
}

void CSequenceWriter::Add(int index, const QImage& image, const QString& path)
{
    while (int(m_aPending.size()) >= m_nJobs)
        FinishOldest();

    const auto encode = [this](const QImage& picture, const QString& name) {
        SResult r;
        r.nResult = m_encoder(picture, name, r.strError);
        return r;
    };
    std::future<SResult> result;
    try {
        // The picture is shared, not copied: the worker only reads it.
        result = std::async(std::launch::async, encode, image, path);
    } catch (const std::system_error&) {
        // No thread to be had: encode here, which is slower but just as correct.
        std::promise<SResult> done;
        done.set_value(encode(image, path));
        result = done.get_future();
    }
    m_aPending.push_back({index, path, std::move(result)});
}

void CSequenceWriter::Finish()
{
    while (!m_aPending.empty())
        FinishOldest();
}

void CSequenceWriter::FinishOldest()
{
    SPending oldest = std::move(m_aPending.front());
    m_aPending.pop_front();
    const SResult result = oldest.result.get();
    m_finished(oldest.nIndex, oldest.strPath, result.nResult, result.strError);
}
