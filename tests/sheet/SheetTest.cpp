// The sheet's platform side with the real widgets of the saver's interface
// file under a private Xvfb: outlets and actions connected by name, control
// readings, every way of closing going through the closing action, the modal
// run, and the message box showing its text as written.
#include "platform/Bundle.h"
#include "platform/MessageBox.h"
#include "platform/Sheet.h"
#include "tests/sheet/TestDisplay.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

namespace
{
struct SOwner
{
    Control sheet, sound, volume, volumeLabel, density, camera, version;
    int soundChecks = 0, resets = 0, closes = 0;

    void soundCheck(Control) { ++soundChecks; }
    void resetSheet(Control) { ++resets; }
    void closeSheet(Control)
    {
        ++closes;
        endSheet(sheet);
    }

    bool Load(const Bundle& bundle, const char* name = "ConfigureSheet")
    {
        const SOutlet outlets[] = {{"IBConfigSheet", &sheet},        {"IBEnableSounds", &sound},
                                   {"IBSoundVolume", &volume},       {"IBSoundVolumeLabel", &volumeLabel},
                                   {"IBPlasmaDensity", &density},    {"IBStaticCamera", &camera},
                                   {"IBVersionTextField", &version}};
        const SAction actions[] = {MakeAction<SOwner, &SOwner::soundCheck>("soundCheck:"),
                                   MakeAction<SOwner, &SOwner::resetSheet>("resetSheet:"),
                                   MakeAction<SOwner, &SOwner::closeSheet>("closeSheet:")};
        return loadNibNamed(bundle, name, this, outlets, std::size(outlets), actions, std::size(actions));
    }
};

// Later tests read the screen back: what GTK removed must be gone from the server.
void Flush() { gdk_display_sync(gdk_display_get_default()); }

GtkWidget* Widget(Control c) { return GTK_WIDGET(c.widget()); }

void SendKey(Control window, guint keyval)
{
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(Widget(window))));
    event->key.keyval = keyval;
    event->key.send_event = TRUE;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
    gtk_widget_event(Widget(window), event);
    gdk_event_free(event);
}

class SheetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(sheet_test::Display().empty()) << "Xvfb did not start";
        ASSERT_TRUE(m_Owner.Load(m_Bundle));
    }
    void TearDown() override
    {
        releaseSheet(m_Owner.sheet);
        Flush();
    }

    Bundle m_Bundle = Bundle::bundleWithPath(VELTRIX_BINARY_DIR "/Veltrix.saver");
    SOwner m_Owner;
};
} // namespace

TEST_F(SheetTest, ConnectsEveryOutletAndReadsTheControls)
{
    for (Control c : {m_Owner.sheet, m_Owner.sound, m_Owner.volume, m_Owner.volumeLabel, m_Owner.density,
                      m_Owner.camera, m_Owner.version})
        ASSERT_TRUE(c);
    m_Owner.camera.setState(1);
    EXPECT_EQ(m_Owner.camera.state(), 1);
    m_Owner.volume.setIntValue(64);
    EXPECT_EQ(m_Owner.volume.intValue(), 64);
    // The controls' ranges are what keeps stored values sane.
    m_Owner.volume.setIntValue(250);
    EXPECT_EQ(m_Owner.volume.intValue(), 100);
    m_Owner.density.setIntValue(1);
    EXPECT_EQ(m_Owner.density.intValue(), 10);
    m_Owner.volumeLabel.setEnabled(false);
    EXPECT_FALSE(gtk_widget_get_sensitive(Widget(m_Owner.volumeLabel)));
    m_Owner.version.setStringValue("1.0 %s%n");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(m_Owner.version.widget())), "1.0 %s%n");
}

TEST_F(SheetTest, ActionsReachTheOwnerByName)
{
    gtk_button_clicked(GTK_BUTTON(m_Owner.sound.widget()));
    EXPECT_EQ(m_Owner.soundChecks, 1);
    EXPECT_EQ(m_Owner.sound.state(), 1);
    GtkWidget* buttons = gtk_widget_get_parent(gtk_window_get_default_widget(GTK_WINDOW(m_Owner.sheet.widget())));
    GList* children = gtk_container_get_children(GTK_CONTAINER(buttons));
    for (GList* it = children; it; it = it->next)
        gtk_button_clicked(GTK_BUTTON(it->data));
    g_list_free(children);
    EXPECT_EQ(m_Owner.resets, 1);
    EXPECT_EQ(m_Owner.closes, 1);
}

TEST_F(SheetTest, EscapeEnterAndTheCloseButtonAllClose)
{
    gtk_widget_show(Widget(m_Owner.sheet));
    SendKey(m_Owner.sheet, GDK_KEY_Escape);
    EXPECT_EQ(m_Owner.closes, 1);
    EXPECT_FALSE(gtk_widget_get_visible(Widget(m_Owner.sheet)));

    gtk_widget_show(Widget(m_Owner.sheet));
    gtk_widget_grab_focus(Widget(m_Owner.density));
    SendKey(m_Owner.sheet, GDK_KEY_Return);
    EXPECT_EQ(m_Owner.closes, 2);

    gtk_widget_show(Widget(m_Owner.sheet));
    gtk_window_close(GTK_WINDOW(m_Owner.sheet.widget()));
    while (gtk_events_pending())
        gtk_main_iteration();
    EXPECT_EQ(m_Owner.closes, 3);
    EXPECT_EQ(m_Owner.resets, 0);
    EXPECT_FALSE(gtk_widget_get_visible(Widget(m_Owner.sheet)));
}

TEST_F(SheetTest, RunSheetTicksUntilTheSheetIsEnded)
{
    struct STicks
    {
        SOwner* owner;
        int count = 0;
    } ticks{&m_Owner};
    auto tick = [](void* context) {
        auto* t = static_cast<STicks*>(context);
        if (++t->count == 3)
            gtk_window_close(GTK_WINDOW(t->owner->sheet.widget()));
    };
    EXPECT_TRUE(runSheet(m_Owner.sheet, 0, 0.001, tick, &ticks));
    EXPECT_EQ(ticks.count, 3);
    EXPECT_EQ(m_Owner.closes, 1);
}

TEST(SheetLoading, MissingInterfaceFileLoadsNothing)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    SOwner owner;
    EXPECT_FALSE(owner.Load(Bundle::bundleWithPath(VELTRIX_BINARY_DIR "/Veltrix.saver"), "NoSuchSheet"));
    EXPECT_FALSE(owner.Load(Bundle(), "ConfigureSheet"));
    EXPECT_FALSE(owner.sheet);
    EXPECT_FALSE(owner.sound);
}

TEST(MessageBox, ShowsPercentSignsAsWrittenAndAnswersOk)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    static std::string s_Title, s_Message;
    g_timeout_add(10, [](gpointer) -> gboolean {
        GList* windows = gtk_window_list_toplevels();
        for (GList* it = windows; it; it = it->next)
            if (GTK_IS_MESSAGE_DIALOG(it->data) && gtk_widget_get_visible(GTK_WIDGET(it->data)))
            {
                gchar *title = nullptr, *message = nullptr;
                g_object_get(it->data, "text", &title, "secondary-text", &message, nullptr);
                s_Title = title ? title : "";
                s_Message = message ? message : "";
                g_free(title);
                g_free(message);
                gtk_dialog_response(GTK_DIALOG(it->data), GTK_RESPONSE_OK);
                g_list_free(windows);
                return G_SOURCE_REMOVE;
            }
        g_list_free(windows);
        return G_SOURCE_CONTINUE;
    }, nullptr);
    EXPECT_EQ(SaverMessageBox("Veltrix %d", "%s%n 100% kept"), 1);
    Flush();
    EXPECT_EQ(s_Title, "Veltrix %d");
    EXPECT_EQ(s_Message, "%s%n 100% kept");
}
