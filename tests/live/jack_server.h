// A private JACK server for a test: jackd with the dummy driver under a
// name of its own (JACK_DEFAULT_SERVER points every client of this process
// at it), ended with the test. When TRELLON_TEST_JACK_SERVER=running, the
// caller started the server (PipeWire's JACK server, under pw-jack): it is
// used as it is, and not ended.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class PrivateJackServer {
  public:
    // Whether jackd can be run here at all.
    static bool Available() { return Running() || ::access("/usr/bin/jackd", X_OK) == 0; }
    // Whether the server is the caller's, already running.
    static bool Running() {
        const char* given = ::getenv("TRELLON_TEST_JACK_SERVER");
        return given && std::string(given) == "running";
    }

    // Without real-time scheduling unless asked (tests run where it may
    // not be allowed; a measurement of xruns wants it).
    PrivateJackServer(unsigned rate, unsigned period, bool realtime = false) {
        if (Running()) {
            up_ = Answers();
            return;
        }
        name_ = "trellon-test-" + std::to_string(::getpid()) + "-" + std::to_string(++count_);
        ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const std::vector<std::string> args = {"jackd",
                                               realtime ? "--realtime" : "--no-realtime",
                                               "--sync",
                                               "-n",
                                               name_,
                                               "-d",
                                               "dummy",
                                               "-r",
                                               std::to_string(rate),
                                               "-p",
                                               std::to_string(period)};
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, "/usr/bin/jackd", &actions, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        // Up once a client gets in.
        for (int i = 0; pid_ && i < 100 && !up_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            up_ = Answers();
        }
    }
    ~PrivateJackServer() { Stop(); }
    // Ends the server, as a crash or a user's kill would.
    void Stop() {
        if (!pid_) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
    }
    bool Up() const { return up_; }
    const std::string& Name() const { return name_; }

  private:
    static bool Answers() {
        jack_status_t status{};
        jack_client_t* c = jack_client_open("probe-up", JackNoStartServer, &status);
        if (c) jack_client_close(c);
        return c != nullptr;
    }

    std::string name_;
    pid_t pid_ = 0;
    bool up_ = false;
    static inline int count_ = 0;
};
