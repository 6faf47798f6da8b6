#include "host/app/RunSettings.h"

namespace {
double g_RunRenderScale = 0.0;
} // namespace

void ApplyRunSettings(const SSaverModule& module, const SOptions& options, bool soundOff)
{
    SSaverRunSettings settings = RunSettings(options);
    if (soundOff)
        settings.enable_sounds = 0;
    module.set_run_settings(&settings);
    SetRunRenderScale(RenderScaleOf(options));
}

void SetRunRenderScale(double scale)
{
    g_RunRenderScale = scale;
}

double RunRenderScale()
{
    return g_RunRenderScale;
}
