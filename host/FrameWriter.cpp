#include "host/FrameWriter.h"

#include "host/PngWriter.h"

#include <cstdio>
#include <filesystem>
#include <utility>

namespace {

// Enough to cover one slow write without holding many frames in memory.
constexpr int BufferCount = 3;

} // namespace

CFrameWriter::CFrameWriter(std::string folder, int width, int height)
    : m_Folder(std::move(folder)),
      m_nWidth(width),
      m_nHeight(height),
      m_Free(BufferCount),
      m_Thread(&CFrameWriter::_Run, this)
{
}

CFrameWriter::~CFrameWriter()
{
    std::string ignored;
    Finish(ignored);
}

std::string CFrameWriter::FramePath(const std::string& folder, int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", number);
    return (std::filesystem::path(folder) / name).string();
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
        const bool ok = WritePng(FramePath(m_Folder, job.m_nNumber), m_nWidth, m_nHeight, job.m_Pixels.data(), error);
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
