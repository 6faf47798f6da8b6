#include "host/app/PackCheck.h"

#include "pack/PackReader.h"

namespace {

// What the scene loads when it starts, in its order: textures, then camera paths.
const char* const SceneEntries[] = {
    "textures/light.jpg",     "textures/envmap.jpg",   "textures/envmap2.jpg",   "textures/galaxy.jpg",
    "textures/flare/f0.jpg",  "textures/flare/f1.jpg", "textures/flare/f2.jpg",  "textures/flare/f3.jpg",
    "textures/flare/f4.jpg",  "cameras/camera01.path", "cameras/camera01m.path", "cameras/camera02.path",
    "cameras/camera02m.path", "cameras/camera03.path", "cameras/camera03m.path", "cameras/camera04.path",
    "cameras/camera04m.path", "cameras/camera05.path", "cameras/camera05m.path",
};

} // namespace

std::string FirstUnloadableSceneEntry(const std::string& packPath)
{
    if (!CPackReader::Init(packPath.c_str()))
        return std::string();
    std::string missing;
    for (const char* name : SceneEntries) {
        const std::unique_ptr<IData> data = CPackReader::LoadData(name);
        if (!data || data->GetSize() <= 0) {
            missing = name;
            break;
        }
    }
    CPackReader::Done();
    return missing;
}
