// Counts the OpenAL calls the engine makes. The test program defines the
// OpenAL entry points below itself, so the engine's calls land here first and
// are passed on to the real library unchanged.
#pragma once

#include <cstdint>
#include <set>

namespace soundtest {

struct SAlCalls
{
    int m_nSourceCalls = 0; // every source operation a sound handle can reach
    std::multiset<uint32_t> m_GenBuffers; // buffer names handed out
    std::multiset<uint32_t> m_DelBuffers; // buffer names released (non-zero ones)
    int m_nGenSources = 0;
    int m_nDelSources = 0; // names passed to alDeleteSources
    int m_nSourcesLeft = 0; // of those, names still sources after the call
    int m_nBuffersLeft = 0; // names passed to alDeleteBuffers still buffers after it
    int m_nListenerCalls = 0; // alListenerf
    int m_nDevicesOpened = 0; // alcOpenDevice calls that gave a device
    int m_nDevicesClosed = 0; // alcCloseDevice calls
};

SAlCalls& AlCalls();
void ResetAlCalls();

} // namespace soundtest
