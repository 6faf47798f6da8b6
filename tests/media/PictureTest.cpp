// The pictures decode with the saver's image decoder and suit the way each is drawn: additive sprites end
// in black (the textures repeat, so anything at the border would bleed in from the opposite edge), the
// galaxy's core lies under the flare's light, and the glow shell brightens toward its silhouette.
#include "tests/media/MediaPack.h"

#include <gtest/gtest.h>

#include <SOIL/SOIL.h>

#include <cmath>

namespace {
// A decoded picture, rows from the top as stored in the file, RGB.
struct SPicture
{
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> rgb;

    float Luma(int x, int y) const
    {
        const unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
        return (0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2]) / 255.0f;
    }
    int MaxChannel(int x, int y) const
    {
        const unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
        return std::max(p[0], std::max(p[1], p[2]));
    }
    // Mean luma over the pixels whose distance from the centre, in units of the half-size, is in [lo, hi).
    float RingMean(float lo, float hi) const
    {
        double sum = 0;
        int count = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                float dx = (x + 0.5f) / width * 2 - 1, dy = (y + 0.5f) / height * 2 - 1;
                float r = std::sqrt(dx * dx + dy * dy);
                if (r >= lo && r < hi) {
                    sum += Luma(x, y);
                    ++count;
                }
            }
        return count ? float(sum / count) : 0.0f;
    }
};

SPicture Decode(const char* name)
{
    SPicture pic;
    std::unique_ptr<IData> blob = media_test::Load(name);
    if (!blob)
        return pic;
    unsigned char* data = SOIL_load_image_from_memory(blob->GetData(), blob->GetSize(), &pic.width, &pic.height,
                                                      &pic.channels, SOIL_LOAD_RGB);
    if (!data)
        return SPicture{};
    pic.rgb.assign(data, data + size_t(pic.width) * pic.height * 3);
    SOIL_free_image_data(data);
    return pic;
}

bool IsPowerOfTwo(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

int BorderMax(const SPicture& pic)
{
    int top = 0;
    for (int i = 0; i < pic.width; ++i)
        top = std::max({top, pic.MaxChannel(i, 0), pic.MaxChannel(i, pic.height - 1)});
    for (int i = 0; i < pic.height; ++i)
        top = std::max({top, pic.MaxChannel(0, i), pic.MaxChannel(pic.width - 1, i)});
    return top;
}

const char* const kPictures[] = {"textures/light.jpg",    "textures/envmap.jpg",   "textures/envmap2.jpg",
                                 "textures/galaxy.jpg",   "textures/flare/f0.jpg", "textures/flare/f1.jpg",
                                 "textures/flare/f2.jpg", "textures/flare/f3.jpg", "textures/flare/f4.jpg",
                                 "textures/err.png"};
} // namespace

TEST(MediaPictures, EveryPictureDecodesWithPowerOfTwoSidesForMipmaps)
{
    for (const char* name : kPictures) {
        SPicture pic = Decode(name);
        ASSERT_FALSE(pic.rgb.empty()) << name << ": " << SOIL_last_result();
        EXPECT_TRUE(IsPowerOfTwo(pic.width) && IsPowerOfTwo(pic.height))
            << name << " " << pic.width << "x" << pic.height;
        EXPECT_EQ(pic.channels, 3) << name;
    }
}

TEST(MediaPictures, LightIsABrightRoundGlowOnExactBlack)
{
    SPicture pic = Decode("textures/light.jpg");
    ASSERT_FALSE(pic.rgb.empty());
    EXPECT_EQ(BorderMax(pic), 0);
    EXPECT_GE(pic.MaxChannel(pic.width / 2, pic.height / 2), 250);
    // Round and smooth: equal distances in four directions look the same, and brightness only falls outward.
    const int c = pic.width / 2, d = pic.width / 8;
    EXPECT_NEAR(pic.Luma(c + d, c), pic.Luma(c - d - 1, c), 0.03f);
    EXPECT_NEAR(pic.Luma(c, c + d), pic.Luma(c, c - d - 1), 0.03f);
    for (int x = c + 2; x < pic.width; x += 4)
        EXPECT_LE(pic.Luma(x, c), pic.Luma(x - 4, c) + 0.01f) << "at column " << x;
    // The bolts' ribbons sample the middle column: bright at its centre, black at both ends.
    EXPECT_GE(pic.Luma(c, c), 0.95f);
    EXPECT_EQ(pic.MaxChannel(c, 0), 0);
    EXPECT_EQ(pic.MaxChannel(c, pic.height - 1), 0);
}

TEST(MediaPictures, FlareSpritesFadeToBlackBeforeTheirBorders)
{
    for (const char* name : {"textures/flare/f0.jpg", "textures/flare/f1.jpg", "textures/flare/f2.jpg",
                             "textures/flare/f3.jpg", "textures/flare/f4.jpg"}) {
        SPicture pic = Decode(name);
        ASSERT_FALSE(pic.rgb.empty()) << name;
        EXPECT_LE(BorderMax(pic), 2) << name;
        int brightest = 0;
        for (int y = 0; y < pic.height; ++y)
            for (int x = 0; x < pic.width; ++x)
                brightest = std::max(brightest, pic.MaxChannel(x, y));
        EXPECT_GE(brightest, 200) << name; // dimmed by the flare's colours when drawn, so stored bright
    }
}

TEST(MediaPictures, GalaxyCoreSitsWhereTheFlaresLightFalls)
{
    SPicture pic = Decode("textures/galaxy.jpg");
    ASSERT_FALSE(pic.rgb.empty());
    // The brightest 15 x 15 patch: single stars are too small to win against the core's glow.
    const int r = 7;
    float best = -1;
    int bestX = 0, bestY = 0;
    for (int y = r; y < pic.height - r; y += 2)
        for (int x = r; x < pic.width - r; x += 2) {
            float sum = 0;
            for (int j = -r; j <= r; j += 2)
                for (int i = -r; i <= r; i += 2)
                    sum += pic.Luma(x + i, y + j);
            if (sum > best) {
                best = sum;
                bestX = x;
                bestY = y;
            }
        }
    // Texture coordinate (0.68, 0.705) with rows flipped on load: 68 % from the left, 29.5 % from the top.
    EXPECT_NEAR(bestX, 0.68 * pic.width, 0.01 * pic.width);
    EXPECT_NEAR(bestY, 0.295 * pic.height, 0.01 * pic.height);
    // Deep space: most of the sky is dark.
    EXPECT_LT(pic.RingMean(0.0f, 2.0f), 0.12f);
}

TEST(MediaPictures, BallGlassHasALighterRimAndShellGlowBrightensTowardItsSilhouette)
{
    SPicture ball = Decode("textures/envmap.jpg");
    ASSERT_FALSE(ball.rgb.empty());
    EXPECT_GT(ball.RingMean(0.93f, 0.99f), ball.RingMean(0.55f, 0.75f) * 1.3f);

    SPicture shell = Decode("textures/envmap2.jpg");
    ASSERT_FALSE(shell.rgb.empty());
    const float centre = shell.RingMean(0.0f, 0.3f), rim = shell.RingMean(0.9f, 1.0f);
    EXPECT_GT(rim, centre * 1.8f);
    EXPECT_GT(rim, 0.35f); // added at a small fraction of its brightness, so it must be bright
}

TEST(MediaPictures, ErrorPictureHasBrightLettersOnADarkPanel)
{
    SPicture pic = Decode("textures/err.png");
    ASSERT_FALSE(pic.rgb.empty());
    EXPECT_GT(pic.width, pic.height); // drawn into a wide box
    int bright = 0, dark = 0;
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            float l = pic.Luma(x, y);
            bright += l > 0.6f;
            dark += l < 0.12f;
        }
    const int total = pic.width * pic.height;
    EXPECT_GT(bright, total / 50); // enough ink for several lines of text
    EXPECT_GT(dark, total / 2);
}
