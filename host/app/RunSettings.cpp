#include "host/app/RunSettings.h"

#include <sys/resource.h>

namespace {

// Set once per run, before the loop starts; the loop only reads them.
double g_RunRenderScale = 0.0;
SRunPacing g_Pacing;

} // namespace

void ApplyRunSettings(const SSaverModule& module, const SOptions& options, bool soundOff)
{
    SSaverRunSettings settings = RunSettings(options);
    if (soundOff)
        settings.enable_sounds = 0;
    module.set_run_settings(&settings);
    SetRunRenderScale(RenderScaleOf(options));
    g_Pacing = {options.m_nFrameRate, options.m_Power};
}

void SetRunRenderScale(double scale)
{
    g_RunRenderScale = scale;
}

double RunRenderScale()
{
    return g_RunRenderScale;
}

const SRunPacing& RunPacing()
{
    return g_Pacing;
}

void LowerSaverPriority()
{
    const int current = getpriority(PRIO_PROCESS, 0);
    setpriority(PRIO_PROCESS, 0, current + 10 > 19 ? 19 : current + 10);
}
