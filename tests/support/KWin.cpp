#include "tests/support/KWin.h"

#include "fake-input-client-protocol.h"
#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>
#include <unistd.h>

struct CKWinControl::SState
{
    struct SDevice
    {
        kde_output_device_v2* device = nullptr;
        std::string name;
        std::vector<kde_output_device_mode_v2*> modes; // the compositor makes them; the client frees them
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    org_kde_kwin_fake_input* input = nullptr;
    kde_output_management_v2* management = nullptr;
    std::vector<std::unique_ptr<SDevice>> devices;

    kde_output_device_v2* Find(const std::string& name) const
    {
        for (const auto& d : devices) {
            if (d->name == name)
                return d->device;
        }
        return nullptr;
    }
};

namespace {

using SState = CKWinControl::SState;

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* state = static_cast<SState*>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && !state->input) {
        state->input = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, std::min(version, 4u)));
    } else if (std::strcmp(interface, kde_output_management_v2_interface.name) == 0 && !state->management) {
        state->management = static_cast<kde_output_management_v2*>(
            wl_registry_bind(registry, name, &kde_output_management_v2_interface, std::min(version, 3u)));
    } else if (std::strcmp(interface, kde_output_device_v2_interface.name) == 0 && version >= 2) {
        static const kde_output_device_v2_listener listener = {
            [](void*, kde_output_device_v2*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
               int32_t) {},
            [](void*, kde_output_device_v2*, kde_output_device_mode_v2*) {},
            [](void* device, kde_output_device_v2*, kde_output_device_mode_v2* mode) {
                static_cast<SState::SDevice*>(device)->modes.push_back(mode);
            },
            [](void*, kde_output_device_v2*) {},
            [](void*, kde_output_device_v2*, wl_fixed_t) {},
            [](void*, kde_output_device_v2*, const char*) {},
            [](void*, kde_output_device_v2*, int32_t) {},
            [](void*, kde_output_device_v2*, const char*) {},
            [](void*, kde_output_device_v2*, const char*) {},
            [](void*, kde_output_device_v2*, const char*) {},
            [](void*, kde_output_device_v2*, uint32_t) {},
            [](void*, kde_output_device_v2*, uint32_t) {},
            [](void*, kde_output_device_v2*, uint32_t) {},
            [](void*, kde_output_device_v2*, uint32_t) {},
            [](void* device, kde_output_device_v2*, const char* name) {
                static_cast<SState::SDevice*>(device)->name = name;
            },
        };
        auto device = std::make_unique<SState::SDevice>();
        device->device =
            static_cast<kde_output_device_v2*>(wl_registry_bind(registry, name, &kde_output_device_v2_interface, 2));
        kde_output_device_v2_add_listener(device->device, &listener, device.get());
        state->devices.push_back(std::move(device));
    }
}

const wl_registry_listener RegistryListener = {OnGlobal, [](void*, wl_registry*, uint32_t) {}};

GDBusConnection* Bus(const std::string& address)
{
    return g_dbus_connection_new_for_address_sync(address.c_str(),
                                                  GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                       G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                                  nullptr, nullptr, nullptr);
}

} // namespace

size_t SKWinShot::Colours() const
{
    std::set<uint32_t> seen;
    for (int y = 0; y < height; y += 8) {
        for (int x = 0; x < width; x += 8)
            seen.insert(pixels[size_t(y) * size_t(width) + size_t(x)] & 0xffffff);
    }
    return seen.size();
}

long SKWinShot::WhiteIn(int left, int top, int w, int h) const
{
    long n = 0;
    for (int y = std::max(top, 0); y < std::min(top + h, height); ++y) {
        for (int x = std::max(left, 0); x < std::min(left + w, width); ++x) {
            const uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
            n += ((p >> 16) & 0xff) > 160 && ((p >> 8) & 0xff) > 160 && (p & 0xff) > 160;
        }
    }
    return n;
}

CKWinControl::CKWinControl(const CCompositor& kwin)
    : m_pState(std::make_unique<SState>())
    , m_SessionBus(kwin.SessionBus())
{
    m_pState->display = wl_display_connect(kwin.Socket().c_str());
    if (!m_pState->display)
        return;
    m_pState->registry = wl_display_get_registry(m_pState->display);
    wl_registry_add_listener(m_pState->registry, &RegistryListener, m_pState.get());
    wl_display_roundtrip(m_pState->display);
    wl_display_roundtrip(m_pState->display); // the devices' names
    if (m_pState->input)
        org_kde_kwin_fake_input_authenticate(m_pState->input, "veltrix tests", "drives the program under test");
    wl_display_roundtrip(m_pState->display);
}

CKWinControl::~CKWinControl()
{
    SState& s = *m_pState;
    for (const auto& d : s.devices) {
        // The mode objects have no destroy request: only the proxies go.
        for (kde_output_device_mode_v2* mode : d->modes)
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(mode));
        kde_output_device_v2_destroy(d->device);
    }
    if (s.management)
        kde_output_management_v2_destroy(s.management);
    if (s.input)
        org_kde_kwin_fake_input_destroy(s.input);
    if (s.registry)
        wl_registry_destroy(s.registry);
    if (s.display)
        wl_display_disconnect(s.display);
}

bool CKWinControl::Ok() const
{
    return m_pState->input && m_pState->management && !m_pState->devices.empty() && !m_SessionBus.empty();
}

std::vector<std::string> CKWinControl::Outputs() const
{
    std::vector<std::string> names;
    for (const auto& d : m_pState->devices)
        names.push_back(d->name);
    return names;
}

SKWinShot CKWinControl::Screenshot(const std::string& output) const
{
    SKWinShot shot;
    GDBusConnection* bus = Bus(m_SessionBus);
    int fds[2];
    if (!bus || pipe(fds) != 0) {
        if (bus)
            g_object_unref(bus);
        return shot;
    }
    // KWin writes after it answers, more than a pipe holds: read meanwhile.
    std::string bytes;
    std::thread reader([&bytes, in = fds[0]] {
        char buffer[65536];
        for (ssize_t n; (n = read(in, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, size_t(n));
        close(in);
    });
    GUnixFDList* list = g_unix_fd_list_new_from_array(&fds[1], 1); // takes the write end
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "native-resolution", g_variant_new_boolean(TRUE));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
        g_variant_new("(sa{sv}h)", output.c_str(), &options, 0), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE,
        10000, list, nullptr, nullptr, &error);
    g_object_unref(list); // our write end closes: the reader ends when KWin's does
    guint32 width = 0, height = 0, stride = 0;
    if (reply) {
        GVariant* results = g_variant_get_child_value(reply, 0);
        g_variant_lookup(results, "width", "u", &width);
        g_variant_lookup(results, "height", "u", &height);
        g_variant_lookup(results, "stride", "u", &stride);
        g_variant_unref(results);
        g_variant_unref(reply);
    } else {
        g_error_free(error);
    }
    reader.join();
    g_object_unref(bus);
    if (width == 0 || stride < width * 4 || bytes.size() < size_t(stride) * height)
        return shot;
    shot.width = int(width);
    shot.height = int(height);
    shot.pixels.resize(size_t(width) * height);
    for (guint32 y = 0; y < height; ++y)
        std::memcpy(&shot.pixels[size_t(y) * width], bytes.data() + size_t(y) * stride, size_t(width) * 4);
    return shot;
}

void CKWinControl::MovePointer(double x, double y)
{
    org_kde_kwin_fake_input_pointer_motion_absolute(m_pState->input, wl_fixed_from_double(x), wl_fixed_from_double(y));
    wl_display_roundtrip(m_pState->display);
}

void CKWinControl::Click()
{
    org_kde_kwin_fake_input_button(m_pState->input, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    org_kde_kwin_fake_input_button(m_pState->input, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    wl_display_roundtrip(m_pState->display);
}

void CKWinControl::Key(uint32_t evdevCode)
{
    org_kde_kwin_fake_input_keyboard_key(m_pState->input, evdevCode, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(m_pState->input, evdevCode, WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(m_pState->display);
}

namespace {

// Applies one change through a fresh configuration; whether KWin applied it.
template <class F> bool Apply(SState& s, const std::string& output, F change)
{
    kde_output_device_v2* device = s.Find(output);
    if (!device || !s.management)
        return false;
    kde_output_configuration_v2* config = kde_output_management_v2_create_configuration(s.management);
    int result = 0; // 1 applied, -1 failed
    static const kde_output_configuration_v2_listener listener = {
        [](void* r, kde_output_configuration_v2*) { *static_cast<int*>(r) = 1; },
        [](void* r, kde_output_configuration_v2*) { *static_cast<int*>(r) = -1; },
    };
    kde_output_configuration_v2_add_listener(config, &listener, &result);
    change(config, device);
    kde_output_configuration_v2_apply(config);
    for (int i = 0; i < 100 && result == 0; ++i) {
        if (wl_display_roundtrip(s.display) < 0)
            break;
        if (result == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kde_output_configuration_v2_destroy(config);
    wl_display_roundtrip(s.display);
    return result == 1;
}

} // namespace

bool CKWinControl::SetScale(const std::string& output, double scale)
{
    return Apply(*m_pState, output, [scale](kde_output_configuration_v2* c, kde_output_device_v2* d) {
        kde_output_configuration_v2_scale(c, d, wl_fixed_from_double(scale));
    });
}

bool CKWinControl::SetEnabled(const std::string& output, bool enabled)
{
    return Apply(*m_pState, output, [enabled](kde_output_configuration_v2* c, kde_output_device_v2* d) {
        kde_output_configuration_v2_enable(c, d, enabled ? 1 : 0);
    });
}

bool CKWinControl::SetPosition(const std::string& output, int x, int y)
{
    return Apply(*m_pState, output, [x, y](kde_output_configuration_v2* c, kde_output_device_v2* d) {
        kde_output_configuration_v2_position(c, d, x, y);
    });
}
