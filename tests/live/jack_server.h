// A private JACK server for a test: jackd with the dummy driver under a
// name of its own (JACK_DEFAULT_SERVER points every client of this process
// at it), ended with the test.
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
    static bool Available() { return ::access("/usr/bin/jackd", X_OK) == 0; }

    PrivateJackServer(unsigned rate, unsigned period) {
        name_ = "trellon-test-" + std::to_string(::getpid()) + "-" + std::to_string(++count_);
        ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const std::vector<std::string> args = {"jackd",
                                               "--no-realtime",
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
            jack_status_t status{};
            if (jack_client_t* c = jack_client_open("probe-up", JackNoStartServer, &status)) {
                jack_client_close(c);
                up_ = true;
            }
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
    std::string name_;
    pid_t pid_ = 0;
    bool up_ = false;
    static inline int count_ = 0;
};
