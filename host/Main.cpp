// veltrix: the saver's program. For now it has the recording mode only; the
// windowed and XScreenSaver modes come with the desktop host.
#include "host/Options.h"
#include "host/Recorder.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    SOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    if (options.m_bHelp) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (!options.m_bHeadless) {
        std::fprintf(stderr, "veltrix: only the recording mode exists so far; run with --headless (see --help)\n");
        return 1;
    }

    const std::string pack = options.m_Pack.empty() ? DefaultPackPath() : options.m_Pack;
    SRecordResult result;
    if (!Record(options, pack, result, error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", FormatSummary(result).c_str());
    return 0;
}
