// libjack, loaded when a JACK output is first asked for rather than at
// start: a program that renders or plays through SDL maps none of it (nor
// what it pulls in), and a machine without JACK still runs the program.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <string>

struct JackLibrary {
#define TRELLON_JACK_FUNCTION(name) decltype(&::name) name = nullptr;
    TRELLON_JACK_FUNCTION(jack_activate)
    TRELLON_JACK_FUNCTION(jack_client_close)
    TRELLON_JACK_FUNCTION(jack_client_open)
    TRELLON_JACK_FUNCTION(jack_connect)
    TRELLON_JACK_FUNCTION(jack_deactivate)
    TRELLON_JACK_FUNCTION(jack_frames_to_time)
    TRELLON_JACK_FUNCTION(jack_free)
    TRELLON_JACK_FUNCTION(jack_get_buffer_size)
    TRELLON_JACK_FUNCTION(jack_get_client_name)
    TRELLON_JACK_FUNCTION(jack_get_ports)
    TRELLON_JACK_FUNCTION(jack_get_sample_rate)
    TRELLON_JACK_FUNCTION(jack_get_time)
    TRELLON_JACK_FUNCTION(jack_last_frame_time)
    TRELLON_JACK_FUNCTION(jack_midi_clear_buffer)
    TRELLON_JACK_FUNCTION(jack_midi_event_get)
    TRELLON_JACK_FUNCTION(jack_midi_event_write)
    TRELLON_JACK_FUNCTION(jack_midi_get_event_count)
    TRELLON_JACK_FUNCTION(jack_on_info_shutdown)
    TRELLON_JACK_FUNCTION(jack_port_get_buffer)
    TRELLON_JACK_FUNCTION(jack_port_get_latency_range)
    TRELLON_JACK_FUNCTION(jack_port_name)
    TRELLON_JACK_FUNCTION(jack_port_register)
    TRELLON_JACK_FUNCTION(jack_release_timebase)
    TRELLON_JACK_FUNCTION(jack_set_buffer_size_callback)
    TRELLON_JACK_FUNCTION(jack_set_error_function)
    TRELLON_JACK_FUNCTION(jack_set_info_function)
    TRELLON_JACK_FUNCTION(jack_set_process_callback)
    TRELLON_JACK_FUNCTION(jack_set_sync_callback)
    TRELLON_JACK_FUNCTION(jack_set_xrun_callback)
    TRELLON_JACK_FUNCTION(jack_set_timebase_callback)
    TRELLON_JACK_FUNCTION(jack_transport_locate)
    TRELLON_JACK_FUNCTION(jack_transport_query)
    TRELLON_JACK_FUNCTION(jack_transport_start)
    TRELLON_JACK_FUNCTION(jack_transport_stop)
#undef TRELLON_JACK_FUNCTION
};

// The library, loaded on first use and kept; null (and why in *error)
// when it is not installed or lacks a function.
const JackLibrary* LoadJackLibrary(std::string* error = nullptr);
