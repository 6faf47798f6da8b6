#include "host/record/FrameWriter.h"

#include "host/record/PngWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>

namespace {

// Enough to cover one slow write without holding many frames in memory.
constexpr int BufferCount = 3;

} // namespace

CFrameWriter::CFrameWriter(std::string folder, int width, int height, int count)
    : m_Folder(std::move(folder))
    , m_nWidth(width)
    , m_nHeight(height)
    , m_nCount(count)
    , m_Free(BufferCount)
    , m_Thread(&CFrameWriter::_Run, this)
{}

CFrameWriter::~CFrameWriter()
{
    std::string ignored;
    Finish(ignored);
}

std::string CFrameWriter::FramePath(const std::string& folder, int number, int count)
{
    const int digits = std::max(5, static_cast<int>(std::to_string(count).size()));
    char name[32];
    std::snprintf(name, sizeof name, "frame-%0*d.png", digits, number);
    return (std::filesystem::path(folder) / name).string();
}

int CFrameWriter::RemoveOldFrames(const std::string& folder, std::string& error)
{
    // Our names only: frame-<digits>.png, and the same with the ending of a
    // frame still being written.
    auto isFrame = [](const std::string& name) {
        std::string_view rest(name);
        if (!rest.starts_with("frame-"))
            return false;
        rest.remove_prefix(6);
        const size_t digits = rest.find_first_not_of("0123456789");
        if (digits == 0 || digits == std::string_view::npos)
            return false;
        rest.remove_prefix(digits);
        return rest == ".png" || rest == PartialPngPath(".png");
    };
    std::error_code ec;
    int removed = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isFrame(it->path().filename().string()) || !it->is_regular_file(ec))
            continue;
        if (!std::filesystem::remove(it->path(), ec))
            break;
        ++removed;
    }
    if (ec) {
        error = "cannot remove the frames of an earlier recording from " + folder + ": " + ec.message();
        return -1;
    }
    return removed;
}

bool CFrameWriter::Take(std::vector<unsigned char>& buffer, std::string& error)
{
    std::unique_lock lock(m_Mutex);
    m_Changed.wait(lock, [this] { return !m_Free.empty() || !m_Error.empty(); });
    if (!m_Error.empty()) {
        error = m_Error;
        return false;
    }
    buffer = std::move(m_Free.back());
    m_Free.pop_back();
    return true;
}

void CFrameWriter::Submit(int number, std::vector<unsigned char>&& buffer)
{
    {
        std::lock_guard lock(m_Mutex);
        m_Queue.push_back({number, std::move(buffer)});
    }
    m_Changed.notify_all();
}

bool CFrameWriter::Finish(std::string& error)
{
    {
        std::lock_guard lock(m_Mutex);
        m_bStop = true;
    }
    m_Changed.notify_all();
    if (m_Thread.joinable())
        m_Thread.join();
    std::lock_guard lock(m_Mutex);
    if (!m_Error.empty()) {
        error = m_Error;
        return false;
    }
    return true;
}

int CFrameWriter::Written() const
{
    std::lock_guard lock(m_Mutex);
    return m_nWritten;
}

void CFrameWriter::_Run()
{
    std::unique_lock lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [this] { return !m_Queue.empty() || m_bStop; });
        if (m_Queue.empty() || !m_Error.empty())
            return;
        SJob job = std::move(m_Queue.front());
        m_Queue.pop_front();
        lock.unlock();
        std::string error;
        const std::string path = FramePath(m_Folder, job.m_nNumber, m_nCount);
        const bool ok = WritePng(path, m_nWidth, m_nHeight, job.m_Pixels.data(), error);
        lock.lock();
        if (ok) {
            ++m_nWritten;
        } else {
            m_Error = error;
            m_Queue.clear();
        }
        m_Free.push_back(std::move(job.m_Pixels));
        m_Changed.notify_all();
    }
}
