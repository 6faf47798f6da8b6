// CFrameWriter: writes recorded frames as PNG files on a thread of its own, so
// encoding overlaps with rendering the next frame. A few pixel buffers go
// round between the two threads; when all are waiting to be written, taking
// the next one waits, which keeps memory bounded. The first failed write stops
// the writer; its one-line reason comes back from the next call.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFrameWriter
{
public:
    // count: the frames the recording will have, for the width of their numbers.
    CFrameWriter(std::string folder, int width, int height, int count = 1);
    ~CFrameWriter(); // waits for the queued frames
    CFrameWriter(const CFrameWriter&) = delete;
    CFrameWriter& operator=(const CFrameWriter&) = delete;

    // A buffer to read a frame into (width * height * 4 bytes); false once a write failed.
    bool Take(std::vector<unsigned char>& buffer, std::string& error);
    // Queues the buffer as FramePath(folder, number, count).
    void Submit(int number, std::vector<unsigned char>&& buffer);
    // Waits until every queued frame is written; false with the first failure.
    bool Finish(std::string& error);

    int Written() const; // frames on disk so far

    // folder/frame-00001.png onwards: numbers from 1, padded to five digits or
    // to the digits of count, so the names sort in frame order.
    static std::string FramePath(const std::string& folder, int number, int count = 1);
    // Removes the frames (and partly written frames) of earlier recordings
    // from the folder, never other files: the number removed, or -1 and the
    // reason when one cannot be removed.
    static int RemoveOldFrames(const std::string& folder, std::string& error);

private:
    struct SJob
    {
        int m_nNumber;
        std::vector<unsigned char> m_Pixels;
    };

    void _Run();

    const std::string m_Folder;
    const int m_nWidth;
    const int m_nHeight;
    const int m_nCount;
    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<SJob> m_Queue;
    std::vector<std::vector<unsigned char>> m_Free;
    int m_nWritten = 0;
    bool m_bStop = false;
    std::string m_Error;
    std::thread m_Thread; // last: starts once the rest exists
};
