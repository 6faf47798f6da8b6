// Veltrix media generator: the makers of every pack entry.
// Each maker appends named entries (pack paths such as "textures/light.jpg") with their bytes; an entry
// whose encoding failed is appended with no bytes, and the program reports it by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SAsset
{
    std::string m_Name;
    std::vector<uint8_t> m_Bytes;
};

using AssetList = std::vector<SAsset>;

void MakeGlowTextures(AssetList& out); // light.jpg, envmap.jpg, envmap2.jpg
void MakeFlareTextures(AssetList& out); // flare/f0.jpg .. f4.jpg
void MakeGalaxy(AssetList& out); // galaxy.jpg
void MakeErrorPicture(AssetList& out); // err.png
void MakeFontTexture(AssetList& out); // font.png, the text overlay's 16 x 16 glyph grid
void MakeCameraPaths(AssetList& out); // the ten camera flights
void MakeMusicTrack(int track, AssetList& out); // track 1 or 2: music/theme<track>.ogg
