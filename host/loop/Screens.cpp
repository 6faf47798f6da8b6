#include "host/loop/Screens.h"

int MainScreenIndex(const std::vector<SScreenPlace>& screens)
{
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].m_bPrimary)
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].m_nX == 0 && screens[i].m_nY == 0)
            return static_cast<int>(i);
    }
    return screens.empty() ? -1 : 0;
}

void FrameOrigin(const SScreenPlace& main, const SScreenPlace& screen, bool isMain, double& x, double& y)
{
    x = isMain ? 0.0 : screen.m_nX - main.m_nX;
    y = isMain ? 0.0 : screen.m_nY - main.m_nY;
    if (!isMain && x == 0.0 && y == 0.0)
        x = 1.0;
}

bool KeyQuits(bool fullScreen, bool escapeOrQ)
{
    return fullScreen || escapeOrQ;
}

bool ButtonQuits(bool fullScreen)
{
    return fullScreen;
}

std::string ViewLine(int width, int height, const std::string& where, bool main, const std::string& detail)
{
    return "view " + std::to_string(width) + "x" + std::to_string(height) + where + ": " +
           (main ? "main screen" : "secondary screen") + detail;
}
