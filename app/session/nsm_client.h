// Being one client of a session manager's session (the NSM protocol over
// OSC, through liblo). Started when the environment names a manager
// (NSM_URL): the client announces itself; the manager then tells it where
// its song lives (open) and when to save it, and the client tells the
// manager whether its song has unsaved changes. The manager ends the
// client with SIGTERM, which the program already takes as "end now".
//
// liblo's thread receives the manager's messages; what they ask is run
// through post on the program's own thread, and answered from there.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class NsmClient {
  public:
    // Runs work on the program's thread, later.
    using Poster = std::function<void(std::function<void()>)>;
    struct Handlers {
        // Opens (or makes, when none is there) the song kept under path, a
        // path the song's own extension is added to; "" when done, else
        // why not.
        std::function<std::string(const std::string& path, const std::string& displayName,
                                  const std::string& clientId)>
            open;
        // Saves the song where open put it; "" or why not.
        std::function<std::string()> save;
        // The manager answered the announcement (its name), or refused it.
        std::function<void(const std::string& manager)> announced;
        std::function<void(const std::string& error)> refused;
    };

    // The manager NSM_URL names, if any: null when the variable is unset;
    // null and why in *error when it names nothing that can be reached.
    static std::unique_ptr<NsmClient> FromEnvironment(const std::string& program,
                                                      const std::string& executable, Poster post,
                                                      Handlers handlers, std::string* error);
    ~NsmClient();
    NsmClient(const NsmClient&) = delete;
    NsmClient& operator=(const NsmClient&) = delete;

    // Says whether the song has unsaved changes; only a change is sent.
    void SetDirty(bool dirty);
    // The session's path for the song (without its extension), once opened.
    std::string SessionPath() const;

  private:
    struct Lo;
    NsmClient(Poster post, Handlers handlers);
    bool Start(const std::string& url, const std::string& program, const std::string& executable,
               std::string* error);
    // The manager's messages, on liblo's thread.
    void Opened(std::string path, std::string displayName, std::string clientId);
    void Save();
    void Replied(const std::string& to, const std::string& manager);
    void Failed(const std::string& to, int code, const std::string& message);
    // Answers the manager (any thread).
    void Reply(const std::string& to, const std::string& error);
    void Send(const char* path);

    Poster post_;
    Handlers handlers_;
    std::unique_ptr<Lo> lo_;
    mutable std::mutex mutex_;  // the socket's sends, and what follows
    std::string sessionPath_;
    int dirty_ = -1;  // -1 before the first report
};
