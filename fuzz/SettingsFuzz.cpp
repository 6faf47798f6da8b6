// Any bytes as a settings file. What the parser reads must read back the same
// when written out plainly as [Defaults] key=value lines: a value that moved
// or changed on the way would be a setting lost.
#include "platform/ScreenSaverDefaults.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto values = ScreenSaverDefaults::parseIntegers(reinterpret_cast<const char*>(data), size);
    std::string text = "[Defaults]\n";
    for (const auto& [key, value] : values)
        text += key + "=" + std::to_string(value) + "\n";
    if (ScreenSaverDefaults::parseIntegers(text.data(), text.size()) != values)
        std::abort();
    return 0;
}
