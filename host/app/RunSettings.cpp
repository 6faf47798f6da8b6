#include "host/app/RunSettings.h"

void ApplyRunSettings(const SSaverModule& module, const SOptions& options, bool soundOff)
{
    SSaverRunSettings settings = RunSettings(options);
    if (soundOff)
        settings.enable_sounds = 0;
    module.set_run_settings(&settings);
}
