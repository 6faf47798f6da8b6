// The view's settings sheet through the module's hooks, with the module and
// the sheet library loaded from a copy of the bundle and the real widgets
// under the test's Xvfb: what the controls show, what every way of closing
// stores, the sheet being loaded once but tried again while its file is
// missing; and the message box showing its text as written.
#include "platform/MessageBox.h"
#include "platform/SaverModule.h"
#include "platform/ScreenSaverDefaults.h"
#include "tests/sheet/TestDisplay.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {
GtkWidget* FindById(GtkWidget* widget, const char* id)
{
    const char* name = GTK_IS_BUILDABLE(widget) ? gtk_buildable_get_name(GTK_BUILDABLE(widget)) : nullptr;
    if (name && std::string(name) == id)
        return widget;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* it = children; it && !found; it = it->next)
            found = FindById(GTK_WIDGET(it->data), id);
        g_list_free(children);
    }
    return found;
}

struct SMessage
{
    std::string title, text;
};

// Presses OK on the next message box that shows up, noting what it said.
void AnswerNextMessageBox(SMessage* seen)
{
    g_timeout_add(
        10,
        [](gpointer data) -> gboolean {
            GList* windows = gtk_window_list_toplevels();
            bool answered = false;
            for (GList* it = windows; it && !answered; it = it->next)
                if (GTK_IS_MESSAGE_DIALOG(it->data) && gtk_widget_get_visible(GTK_WIDGET(it->data))) {
                    gchar *title = nullptr, *text = nullptr;
                    g_object_get(it->data, "text", &title, "secondary-text", &text, nullptr);
                    static_cast<SMessage*>(data)->title = title ? title : "";
                    static_cast<SMessage*>(data)->text = text ? text : "";
                    g_free(title);
                    g_free(text);
                    gtk_dialog_response(GTK_DIALOG(it->data), GTK_RESPONSE_OK);
                    answered = true;
                }
            g_list_free(windows);
            return answered ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        seen);
}

class ConfigureSheetTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(sheet_test::Display().empty());
        s_pBundleRoot = new CTempDir;
        const fs::path built = VELTRIX_BINARY_DIR "/Veltrix.saver";
        s_Bundle = fs::path(s_pBundleRoot->Path()) / "Veltrix.saver";
        fs::create_directories(s_Bundle / "Contents/Resources");
        fs::copy(built / "Contents/Linux", s_Bundle / "Contents/Linux");
        fs::copy(built / "Contents/Info.ini", s_Bundle / "Contents/Info.ini");
        fs::create_symlink(built / "Contents/Resources/media.dat", s_Bundle / "Contents/Resources/media.dat");
        fs::copy(built / "Contents/Resources/ConfigureSheet.ui", s_Bundle / "Contents/Resources/ConfigureSheet.ui");
        void* module = dlopen((s_Bundle / "Contents/Linux/Veltrix.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto entry = reinterpret_cast<PFNVELTRIXSAVERMODULE>(dlsym(module, VELTRIX_SAVER_MODULE_SYMBOL));
        ASSERT_NE(entry, nullptr);
        s_pModule = entry(VELTRIX_SAVER_MODULE_ABI);
    }

    // The module stays loaded; its files can go.
    static void TearDownTestSuite()
    {
        delete s_pBundleRoot;
        s_pBundleRoot = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_pModule, nullptr);
        setenv("XDG_CONFIG_HOME", m_Config.Path().c_str(), 1);
        const SSaverTarget headless{SAVER_TARGET_HEADLESS, nullptr, 0, nullptr};
        m_pView = s_pModule->create(&headless, 0, 0, 64, 40, 1);
        ASSERT_NE(m_pView, nullptr);
        s_pModule->set_frame_size(m_pView, 64, 40);
    }

    void TearDown() override
    {
        if (m_pView)
            s_pModule->destroy(m_pView);
        gdk_display_sync(gdk_display_get_default());
        unsetenv("XDG_CONFIG_HOME");
    }

    // Starting reads the stored settings, which the sheet shows at its first request.
    void StartAndStop()
    {
        s_pModule->start(m_pView);
        s_pModule->stop(m_pView);
    }

    GtkWidget* Sheet()
    {
        m_pSheet = static_cast<GtkWidget*>(s_pModule->configure_sheet(m_pView));
        return m_pSheet;
    }
    GtkWidget* Control(const char* id) { return FindById(m_pSheet, id); }
    void Click(const char* id) { gtk_button_clicked(GTK_BUTTON(Control(id))); }
    void Key(guint keyval)
    {
        GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(m_pSheet)));
        event->key.keyval = keyval;
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(m_pSheet, event);
        gdk_event_free(event);
    }
    void Slide(const char* id, double value) { gtk_range_set_value(GTK_RANGE(Control(id)), value); }
    int Value(const char* id) { return int(gtk_range_get_value(GTK_RANGE(Control(id)))); }
    bool Checked(const char* id) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Control(id))); }

    static std::string SettingsFile() { return DefaultsPathForModule("org.veltrix.Veltrix"); }
    static void WriteSettings(int sounds, int volume, int density, int camera)
    {
        fs::create_directories(fs::path(SettingsFile()).parent_path());
        std::ofstream(SettingsFile()) << "[Defaults]\nEnableSounds=" << sounds << "\nSoundVolume=" << volume
                                      << "\nPlasmaDensity=" << density << "\nStaticCamera=" << camera << "\n";
    }
    static std::vector<int64_t> Stored()
    {
        const ScreenSaverDefaults d = ScreenSaverDefaults::defaultsForModuleWithName("org.veltrix.Veltrix");
        return {d.integerForKey("EnableSounds"), d.integerForKey("SoundVolume"), d.integerForKey("PlasmaDensity"),
                d.integerForKey("StaticCamera")};
    }

    static inline CTempDir* s_pBundleRoot = nullptr;
    static inline fs::path s_Bundle;
    static inline const SSaverModule* s_pModule = nullptr;
    CTempDir m_Config;
    SSaverView* m_pView = nullptr;
    GtkWidget* m_pSheet = nullptr;
};
} // namespace

TEST_F(ConfigureSheetTest, SoundOffDisablesTheVolumeAndClosingStoresWhatIsShown)
{
    ASSERT_NE(Sheet(), nullptr);
    EXPECT_TRUE(Checked("IBEnableSounds"));
    EXPECT_TRUE(gtk_widget_get_sensitive(Control("IBSoundVolume")));
    Slide("IBSoundVolume", 64);
    Click("IBEnableSounds");
    EXPECT_FALSE(gtk_widget_get_sensitive(Control("IBSoundVolume")));
    EXPECT_FALSE(gtk_widget_get_sensitive(Control("IBSoundVolumeLabel")));
    EXPECT_EQ(Value("IBSoundVolume"), 64);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(Control("IBVersionTextField"))), s_pModule->version);
    Click("closeButton");
    EXPECT_FALSE(gtk_widget_get_visible(m_pSheet));
    EXPECT_EQ(Stored(), (std::vector<int64_t>{0, 64, 100, 0}));
}

TEST_F(ConfigureSheetTest, ResetThenCloseStoresTheDefaults)
{
    WriteSettings(0, 80, 250, 1);
    StartAndStop();
    ASSERT_NE(Sheet(), nullptr);
    EXPECT_FALSE(Checked("IBEnableSounds"));
    EXPECT_FALSE(gtk_widget_get_sensitive(Control("IBSoundVolumeLabel")));
    EXPECT_EQ(Value("IBSoundVolume"), 80);
    EXPECT_EQ(Value("IBPlasmaDensity"), 250);
    EXPECT_TRUE(Checked("IBStaticCamera"));
    Click("resetButton");
    EXPECT_EQ(Stored(), (std::vector<int64_t>{0, 80, 250, 1})); // reset stores nothing
    EXPECT_TRUE(gtk_widget_get_sensitive(Control("IBSoundVolumeLabel")));
    Click("closeButton");
    EXPECT_EQ(Stored(), (std::vector<int64_t>{1, 30, 100, 0}));
}

TEST_F(ConfigureSheetTest, ASecondRequestShowsTheControlsAsTheyWereLeft)
{
    GtkWidget* first = Sheet();
    ASSERT_NE(first, nullptr);
    Slide("IBPlasmaDensity", 200);
    Click("IBStaticCamera");
    WriteSettings(1, 10, 20, 0);
    StartAndStop();
    EXPECT_EQ(Sheet(), first);
    EXPECT_EQ(Value("IBPlasmaDensity"), 200);
    EXPECT_TRUE(Checked("IBStaticCamera"));
}

TEST_F(ConfigureSheetTest, EscapeEnterAndTheWindowsCloseButtonStoreAsCloseDoes)
{
    ASSERT_NE(Sheet(), nullptr);
    gtk_widget_show(m_pSheet);
    Slide("IBSoundVolume", 41);
    Key(GDK_KEY_Escape);
    EXPECT_FALSE(gtk_widget_get_visible(m_pSheet));
    EXPECT_EQ(Stored()[1], 41);

    gtk_widget_show(m_pSheet);
    gtk_widget_grab_focus(Control("IBPlasmaDensity"));
    Slide("IBPlasmaDensity", 120);
    Key(GDK_KEY_Return);
    EXPECT_FALSE(gtk_widget_get_visible(m_pSheet));
    EXPECT_EQ(Stored()[2], 120);

    gtk_widget_show(m_pSheet);
    Slide("IBSoundVolume", 42);
    gtk_window_close(GTK_WINDOW(m_pSheet));
    while (gtk_events_pending())
        gtk_main_iteration();
    EXPECT_FALSE(gtk_widget_get_visible(m_pSheet));
    EXPECT_EQ(Stored(), (std::vector<int64_t>{1, 42, 120, 0}));
}

TEST_F(ConfigureSheetTest, MissingInterfaceFileGivesNilAndALaterRequestTriesAgain)
{
    const fs::path ui = s_Bundle / "Contents/Resources/ConfigureSheet.ui";
    const fs::path aside = s_Bundle / "ConfigureSheet.ui.aside";
    fs::rename(ui, aside);
    EXPECT_EQ(Sheet(), nullptr);
    EXPECT_EQ(s_pModule->run_sheet(m_pView, 0, nullptr, nullptr), 0);
    fs::rename(aside, ui);
    ASSERT_NE(Sheet(), nullptr);
    EXPECT_TRUE(Checked("IBEnableSounds"));
}

TEST_F(ConfigureSheetTest, SettingsThatCannotBeStoredAreReportedAndTheSheetStillCloses)
{
    // A folder where the file should be: the write fails whoever runs the test.
    fs::create_directories(SettingsFile());
    SMessage seen;
    AnswerNextMessageBox(&seen);
    // The user presses Close while the sheet runs; the message comes up over it.
    g_idle_add(
        [](gpointer sheet) -> gboolean {
            gtk_window_close(GTK_WINDOW(sheet));
            return G_SOURCE_REMOVE;
        },
        Sheet());
    EXPECT_EQ(s_pModule->run_sheet(m_pView, 0, nullptr, nullptr), 1);
    EXPECT_NE(seen.text.find(SettingsFile()), std::string::npos) << seen.text;
    EXPECT_TRUE(fs::is_directory(SettingsFile()));
    EXPECT_FALSE(gtk_widget_get_visible(m_pSheet));
}

TEST(MessageBox, ShowsPercentSignsAsWrittenAndAnswersOk)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    SMessage seen;
    AnswerNextMessageBox(&seen);
    EXPECT_EQ(SaverMessageBox("Veltrix %d", "%s%n 100% kept"), 1);
    gdk_display_sync(gdk_display_get_default());
    EXPECT_EQ(seen.title, "Veltrix %d");
    EXPECT_EQ(seen.text, "%s%n 100% kept");
}
