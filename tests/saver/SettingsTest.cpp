// The stored settings: what readDefaults makes of the store, the settings of
// one run in front of it, damaged files, and writing that keeps what it does
// not know and never leaves a half-written file.
#include "saver/VeltrixScreenSaverView.h"

#include "tests/saver/SaverTestSupport.h"

#include <csignal>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using SettingsTest = SettingsFolderTest;

struct SValues
{
    int enable, volume, density, staticCamera;
    bool operator==(const SValues&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SValues& v)
{
    return out << v.enable << ", " << v.volume << ", " << v.density << ", " << v.staticCamera;
}

SValues ReadDefaults()
{
    VeltrixScreenSaverView view(SSaverTarget{SAVER_TARGET_HEADLESS, nullptr, 0, nullptr});
    view.readDefaults();
    const SCONFIG& s = view.settingsRecord();
    return {s.m_nEnableSounds, s.m_nSoundVolume, s.m_nPlasmaDensity, s.m_nStaticCamera};
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr SValues Defaults{1, 30, 100, 0};

} // namespace

TEST_F(SettingsTest, VolumeMarksTheStoredSettingsAndMissingKeysReadAsZero)
{
    EXPECT_EQ(ReadDefaults(), Defaults);
    WriteSettings("[Defaults]\nPlasmaDensity=50\n");
    EXPECT_EQ(ReadDefaults(), Defaults);
    WriteSettings("[Defaults]\nSoundVolume=80\n");
    EXPECT_EQ(ReadDefaults(), (SValues{0, 80, 0, 0}));
    WriteSettings("# mine\n[Defaults]\nSoundVolume = 55\nEnableSounds=0\nStaticCamera=1\nPlasmaDensity=-20\n");
    EXPECT_EQ(ReadDefaults(), (SValues{0, 55, -20, 1}));
    // A volume that is no integer is no volume, so nothing stored counts.
    WriteSettings("[Defaults]\nSoundVolume=loud\nPlasmaDensity=50\n");
    EXPECT_EQ(ReadDefaults(), Defaults);
    WriteSettings("[Defaults]\nSoundVolume=70\nPlasmaDensity=99999999999999999999\n");
    EXPECT_EQ(ReadDefaults(), (SValues{0, 70, 0, 0}));
}

TEST_F(SettingsTest, RunSettingsTakeEffectWithOrWithoutAStore)
{
    SSaverRunSettings run{0, -1, -1, -1, 0}; // --no-sound
    ScreenSaverDefaults::setArgumentDomain(&run);
    EXPECT_EQ(ReadDefaults(), (SValues{0, 30, 100, 0}));

    WriteSettings("[Defaults]\nSoundVolume=80\nEnableSounds=1\nStaticCamera=1\nPlasmaDensity=50\n");
    run = {-1, -1, 7, -1, 0}; // --density 7
    ScreenSaverDefaults::setArgumentDomain(&run);
    EXPECT_EQ(ReadDefaults(), (SValues{1, 80, 7, 1}));

    ScreenSaverDefaults::setArgumentDomain(nullptr);
    EXPECT_EQ(ReadDefaults(), (SValues{1, 80, 50, 1}));
    EXPECT_EQ(ReadFile(SettingsFile()),
              "[Defaults]\nSoundVolume=80\nEnableSounds=1\nStaticCamera=1\nPlasmaDensity=50\n");
}

TEST_F(SettingsTest, ADamagedFileReadsAsAnEmptyStore)
{
    const std::string whole = "[Defaults]\nSoundVolume=80\nPlasmaDensity=50\n";
    const char garbage[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\n[Defaults]\nSoundVolume=80\n";
    WriteSettings(std::string(garbage, sizeof garbage - 1));
    EXPECT_EQ(ReadDefaults(), Defaults);
    WriteSettings(whole.substr(0, whole.size() - 2)); // cut inside the last value
    EXPECT_EQ(ReadDefaults(), Defaults);
    WriteSettings("SoundVolume=80\n"); // outside any group
    EXPECT_EQ(ReadDefaults(), Defaults);
    std::filesystem::remove(SettingsFile());
    std::filesystem::create_directories(SettingsFile()); // a folder where the file belongs
    EXPECT_EQ(ReadDefaults(), Defaults);
}

TEST_F(SettingsTest, SynchronizeKeepsWhatItDoesNotKnow)
{
    // The folder does not exist yet.
    ScreenSaverDefaults fresh = ScreenSaverDefaults::defaultsForModuleWithName("org.veltrix.Veltrix");
    fresh.setIntegerForKey(40, "SoundVolume");
    ASSERT_TRUE(fresh.synchronize());
    EXPECT_EQ(ReadDefaults(), (SValues{0, 40, 0, 0}));

    WriteSettings("# kept\n[Window]\nx=12\n[Defaults]\nSoundVolume=10\nTheme=dark\n");
    ScreenSaverDefaults store = ScreenSaverDefaults::defaultsForModuleWithName("org.veltrix.Veltrix");
    EXPECT_EQ(store.integerForKey("SoundVolume"), 10);
    EXPECT_FALSE(store.hasObjectForKey("Theme")); // not an integer
    store.setIntegerForKey(80, "SoundVolume");
    store.setIntegerForKey(3, "PlasmaDensity");
    EXPECT_EQ(store.integerForKey("SoundVolume"), 80);
    std::string error;
    ASSERT_TRUE(store.synchronize(&error)) << error;

    const std::string text = ReadFile(SettingsFile());
    for (const char* kept : {"# kept\n", "[Window]\nx=12\n", "Theme=dark\n", "SoundVolume=80\n", "PlasmaDensity=3\n"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;
    EXPECT_EQ(ReadDefaults(), (SValues{0, 80, 3, 0}));
}

TEST_F(SettingsTest, AFailedWriteLeavesTheOldFileWhole)
{
    const std::string old = "[Defaults]\nSoundVolume=10\nEnableSounds=1\nStaticCamera=0\nPlasmaDensity=100\n";
    WriteSettings(old);
    ScreenSaverDefaults store = ScreenSaverDefaults::defaultsForModuleWithName("org.veltrix.Veltrix");
    store.setIntegerForKey(99, "SoundVolume");

    // Writes past 16 bytes fail (even for root), so the new file cannot be written.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny{16, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &tiny);
    std::string error;
    const bool written = store.synchronize(&error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(SettingsFile()), old);
    const auto folder = std::filesystem::path(SettingsFile()).parent_path();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    EXPECT_EQ(ReadDefaults().volume, 10);
}

TEST_F(SettingsTest, AFolderThatCannotBeWrittenOrAFolderInPlaceOfTheFileKeepsWhatIsThere)
{
    const std::string old = "[Defaults]\nSoundVolume=10\n";
    WriteSettings(old);
    namespace fs = std::filesystem;
    const auto folder = fs::path(SettingsFile()).parent_path();
    for (fs::path up = folder.parent_path(); up.string().size() >= m_Config.Path().size(); up = up.parent_path())
        fs::permissions(up, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(folder,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    // Permissions do not bind root, so the write is tried by a child that
    // has become nobody; a lone child writing is safe in a threaded test.
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0)
            _exit(2);
        ScreenSaverDefaults store = ScreenSaverDefaults::defaultsForModuleWithName("org.veltrix.Veltrix");
        store.setIntegerForKey(99, "SoundVolume");
        std::string error;
        _exit(store.synchronize(&error) || error.empty() ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(SettingsFile()), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    fs::remove(SettingsFile());
    fs::create_directories(fs::path(SettingsFile()) / "inside");
    ScreenSaverDefaults store = ScreenSaverDefaults::defaultsForModuleWithName("org.veltrix.Veltrix");
    store.setIntegerForKey(99, "SoundVolume");
    EXPECT_FALSE(store.synchronize());
    EXPECT_TRUE(fs::is_directory(fs::path(SettingsFile()) / "inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}
