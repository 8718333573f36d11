#include "sound/jack_library.h"

#include <dlfcn.h>

#include <mutex>

namespace {

struct Loaded {
    JackLibrary library;
    bool ok = false;
    std::string error;
};

Loaded Load() {
    Loaded l;
    void* handle = ::dlopen("libjack.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        l.error = "JACK is not installed here (libjack.so.0 would not load).";
        return l;
    }
    bool all = true;
    const auto take = [&](auto& function, const char* name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
        if (!function) {
            all = false;
            l.error = std::string("The JACK library lacks ") + name + ".";
        }
    };
#define TRELLON_TAKE(name) take(l.library.name, #name);
    TRELLON_TAKE(jack_activate)
    TRELLON_TAKE(jack_client_close)
    TRELLON_TAKE(jack_client_open)
    TRELLON_TAKE(jack_connect)
    TRELLON_TAKE(jack_deactivate)
    TRELLON_TAKE(jack_frames_to_time)
    TRELLON_TAKE(jack_free)
    TRELLON_TAKE(jack_get_buffer_size)
    TRELLON_TAKE(jack_get_client_name)
    TRELLON_TAKE(jack_get_ports)
    TRELLON_TAKE(jack_get_sample_rate)
    TRELLON_TAKE(jack_get_time)
    TRELLON_TAKE(jack_last_frame_time)
    TRELLON_TAKE(jack_midi_clear_buffer)
    TRELLON_TAKE(jack_midi_event_get)
    TRELLON_TAKE(jack_midi_event_write)
    TRELLON_TAKE(jack_midi_get_event_count)
    TRELLON_TAKE(jack_on_info_shutdown)
    TRELLON_TAKE(jack_port_get_buffer)
    TRELLON_TAKE(jack_port_get_latency_range)
    TRELLON_TAKE(jack_port_name)
    TRELLON_TAKE(jack_port_register)
    TRELLON_TAKE(jack_release_timebase)
    TRELLON_TAKE(jack_set_buffer_size_callback)
    TRELLON_TAKE(jack_set_error_function)
    TRELLON_TAKE(jack_set_info_function)
    TRELLON_TAKE(jack_set_process_callback)
    TRELLON_TAKE(jack_set_sync_callback)
    TRELLON_TAKE(jack_set_xrun_callback)
    TRELLON_TAKE(jack_set_timebase_callback)
    TRELLON_TAKE(jack_transport_locate)
    TRELLON_TAKE(jack_transport_query)
    TRELLON_TAKE(jack_transport_start)
    TRELLON_TAKE(jack_transport_stop)
#undef TRELLON_TAKE
    // The library stays loaded for the program's life: clients and their
    // threads may outlive any one device.
    l.ok = all;
    return l;
}

}  // namespace

const JackLibrary* LoadJackLibrary(std::string* error) {
    static const Loaded loaded = Load();
    if (!loaded.ok && error) *error = loaded.error;
    return loaded.ok ? &loaded.library : nullptr;
}
