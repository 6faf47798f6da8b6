// VeltrixSheet.so: the GTK side of the configuration sheet and the message
// box. Loaded by the module on demand (SheetLibrary.cpp); nothing else in the
// saver sees GTK. Every call is on the host's main thread.
//
// A sheet window behaves as a dialog whose default button is its way out:
// Enter presses the default button (unless another push button has the
// focus), and so do Escape and the window's close button, so every way of
// closing goes through the owner's closing action.
#include "platform/SheetLibrary.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// The window run_sheet is running, so a message box shown meanwhile sits on it.
GtkWindow* g_pRunningSheet = nullptr;
GMainLoop* g_pSheetLoop = nullptr;

bool OpenDisplay()
{
    static int s_nOpened = -1;
    if (s_nOpened < 0 && gdk_display_get_default())
        s_nOpened = 1; // the process started GTK itself
    if (s_nOpened < 0) {
        // The host's numbers and key files must not change with the user's locale.
        gtk_disable_setlocale();
        s_nOpened = gtk_init_check(nullptr, nullptr) ? 1 : 0;
    }
    return s_nOpened == 1;
}

struct SActionBinding
{
    void (*m_pPerform)(void*, void*);
    void* m_pOwner;
};

void PerformAction(GObject* sender, gpointer data)
{
    auto* binding = static_cast<SActionBinding*>(data);
    binding->m_pPerform(binding->m_pOwner, sender);
}

void FreeBinding(gpointer data, GClosure*)
{
    delete static_cast<SActionBinding*>(data);
}

struct SConnectContext
{
    void* m_pOwner;
    const SSheetAction* m_pActions;
    int m_nActions;
};

void ConnectAction(GtkBuilder*, GObject* object, const gchar* signal, const gchar* handler, GObject*,
                   GConnectFlags flags, gpointer data)
{
    const auto* context = static_cast<const SConnectContext*>(data);
    for (int i = 0; i < context->m_nActions; ++i)
        if (std::strcmp(context->m_pActions[i].name, handler) == 0) {
            auto* binding = new SActionBinding{context->m_pActions[i].perform, context->m_pOwner};
            g_signal_connect_data(object, signal, G_CALLBACK(PerformAction), binding, FreeBinding,
                                  GConnectFlags(flags & G_CONNECT_AFTER));
            return;
        }
}

// Clicks at once: activating a button would click it only after its pressed look has shown.
void ActivateDefault(GtkWindow* window)
{
    GtkWidget* button = gtk_window_get_default_widget(window);
    if (GTK_IS_BUTTON(button) && gtk_widget_is_sensitive(button))
        gtk_button_clicked(GTK_BUTTON(button));
}

gboolean OnDelete(GtkWidget* window, GdkEvent*, gpointer)
{
    ActivateDefault(GTK_WINDOW(window));
    return TRUE; // the closing action hides it; the sheet lives as long as its owner
}

gboolean OnKey(GtkWidget* window, GdkEventKey* event, gpointer)
{
    const guint key = event->keyval;
    const bool enter = key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter;
    if (key != GDK_KEY_Escape && !enter)
        return FALSE;
    // A focused push button (Reset) takes its own Enter; check boxes and sliders do not.
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    if (enter && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus))
        return FALSE;
    ActivateDefault(GTK_WINDOW(window));
    return TRUE;
}

int LoadInterface(const char* path, void* owner, const SSheetOutlet* outlets, int outletCount,
                  const SSheetAction* actions, int actionCount)
{
    if (!path || !OpenDisplay())
        return 0;
    GtkBuilder* builder = gtk_builder_new();
    if (!gtk_builder_add_from_file(builder, path, nullptr)) {
        // Whatever was built before the error is dropped with the builder.
        GSList* built = gtk_builder_get_objects(builder);
        for (GSList* it = built; it; it = it->next)
            if (GTK_IS_WINDOW(it->data))
                gtk_widget_destroy(GTK_WIDGET(it->data));
        g_slist_free(built);
        g_object_unref(builder);
        return 0;
    }
    SConnectContext context{owner, actions, actionCount};
    gtk_builder_connect_signals_full(builder, ConnectAction, &context);

    GSList* objects = gtk_builder_get_objects(builder);
    for (GSList* it = objects; it; it = it->next)
        if (GTK_IS_WINDOW(it->data)) {
            g_signal_connect(it->data, "delete-event", G_CALLBACK(OnDelete), nullptr);
            g_signal_connect(it->data, "key-press-event", G_CALLBACK(OnKey), nullptr);
        }
    g_slist_free(objects);

    for (int i = 0; i < outletCount; ++i)
        *outlets[i].slot = gtk_builder_get_object(builder, outlets[i].name);
    // Toplevel windows stay alive in GTK's own list; their children with them.
    g_object_unref(builder);
    return 1;
}

void DestroyWindow(void* window)
{
    if (window && GTK_IS_WIDGET(window))
        gtk_widget_destroy(GTK_WIDGET(window));
}

int State(void* control)
{
    return GTK_IS_TOGGLE_BUTTON(control) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(control)) ? 1 : 0;
}

void SetState(void* control, int state)
{
    if (GTK_IS_TOGGLE_BUTTON(control))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control), state != 0);
}

int IntValue(void* control)
{
    if (GTK_IS_SPIN_BUTTON(control))
        return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(control));
    if (GTK_IS_RANGE(control))
        return int(std::lround(gtk_range_get_value(GTK_RANGE(control))));
    return State(control);
}

void SetIntValue(void* control, int value)
{
    if (GTK_IS_SPIN_BUTTON(control))
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(control), value);
    else if (GTK_IS_RANGE(control))
        gtk_range_set_value(GTK_RANGE(control), value);
    else
        SetState(control, value);
}

void SetEnabled(void* control, int enabled)
{
    if (GTK_IS_WIDGET(control))
        gtk_widget_set_sensitive(GTK_WIDGET(control), enabled != 0);
}

void SetStringValue(void* control, const char* text)
{
    if (GTK_IS_LABEL(control))
        gtk_label_set_text(GTK_LABEL(control), text ? text : "");
    else if (GTK_IS_ENTRY(control))
        gtk_entry_set_text(GTK_ENTRY(control), text ? text : "");
}

struct STick
{
    void (*m_pTick)(void*);
    void* m_pContext;
};

gboolean OnTick(gpointer data)
{
    auto* tick = static_cast<STick*>(data);
    tick->m_pTick(tick->m_pContext);
    return G_SOURCE_CONTINUE;
}

void SetParent(GtkWindow* window, unsigned long parent)
{
    GdkDisplay* display = gdk_display_get_default();
    if (!parent || !GDK_IS_X11_DISPLAY(display))
        return;
    gtk_widget_realize(GTK_WIDGET(window));
    gdk_x11_display_error_trap_push(display);
    GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, parent);
    if (foreign) {
        gdk_window_set_transient_for(gtk_widget_get_window(GTK_WIDGET(window)), foreign);
        g_object_unref(foreign);
    }
    gdk_x11_display_error_trap_pop_ignored(display);
}

int RunSheet(void* window, unsigned long parent, double interval, void (*tick)(void*), void* context)
{
    if (!window || !GTK_IS_WINDOW(window) || g_pSheetLoop)
        return 0;
    GtkWindow* sheet = GTK_WINDOW(window);
    SetParent(sheet, parent);
    gtk_window_present(sheet);

    STick ticker{tick, context};
    guint source = tick ? g_timeout_add(guint(std::max(1.0, interval * 1000.0)), OnTick, &ticker) : 0;
    g_pRunningSheet = sheet;
    g_pSheetLoop = g_main_loop_new(nullptr, FALSE);
    // The closing action may already have ended the sheet (a test, a quick user).
    if (gtk_widget_get_visible(GTK_WIDGET(sheet)))
        g_main_loop_run(g_pSheetLoop);
    g_main_loop_unref(g_pSheetLoop);
    g_pSheetLoop = nullptr;
    g_pRunningSheet = nullptr;
    if (source)
        g_source_remove(source);
    return 1;
}

void EndSheet(void* window)
{
    if (!window || !GTK_IS_WIDGET(window))
        return;
    gtk_widget_hide(GTK_WIDGET(window));
    if (g_pSheetLoop && window == g_pRunningSheet)
        g_main_loop_quit(g_pSheetLoop);
}

int MessageBox(const char* title, const char* message)
{
    if (!OpenDisplay())
        return 0;
    // Both texts go through "%s": a % in them is shown, never read as a format.
    GtkWidget* dialog = gtk_message_dialog_new(g_pRunningSheet, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                                               "%s", title ? title : "");
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message ? message : "");
    gtk_window_set_title(GTK_WINDOW(dialog), title ? title : "");
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_OK ? 1 : 0;
}

const SSheetLibrary kLibrary = {
    VELTRIX_SHEET_LIBRARY_ABI,
    LoadInterface,
    DestroyWindow,
    State,
    SetState,
    IntValue,
    SetIntValue,
    SetEnabled,
    SetStringValue,
    RunSheet,
    EndSheet,
    MessageBox,
};
} // namespace

extern "C" __attribute__((visibility("default"))) const SSheetLibrary* veltrix_sheet_library(int abi)
{
    return abi == VELTRIX_SHEET_LIBRARY_ABI ? &kLibrary : nullptr;
}
