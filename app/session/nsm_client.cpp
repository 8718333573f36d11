#include "session/nsm_client.h"

#include <lo/lo.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// The protocol version this client speaks.
constexpr int kApiMajor = 1;
constexpr int kApiMinor = 2;
// What the client can do: report unsaved changes.
constexpr char kCapabilities[] = ":dirty:";

// NSM's error codes, as the manager expects them.
constexpr int kErrGeneral = -1;
constexpr int kErrSaveFailed = -9;

std::string Text(lo_arg* arg) {
    return arg ? std::string(&arg->s) : std::string();
}

}  // namespace

struct NsmClient::Lo {
    lo_address manager = nullptr;
    lo_server_thread thread = nullptr;
    ~Lo() {
        if (thread) {
            lo_server_thread_stop(thread);
            lo_server_thread_free(thread);
        }
        if (manager) lo_address_free(manager);
    }
};

std::unique_ptr<NsmClient> NsmClient::FromEnvironment(const std::string& program,
                                                      const std::string& executable, Poster post,
                                                      Handlers handlers, std::string* error) {
    const char* url = std::getenv("NSM_URL");
    if (!url || !*url) return nullptr;
    std::unique_ptr<NsmClient> client(new NsmClient(std::move(post), std::move(handlers)));
    if (!client->Start(url, program, executable, error)) return nullptr;
    return client;
}

NsmClient::NsmClient(Poster post, Handlers handlers)
    : post_(std::move(post)), handlers_(std::move(handlers)), lo_(std::make_unique<Lo>()) {}

NsmClient::~NsmClient() {
    // liblo's thread stops before anything its handlers use goes.
    lo_.reset();
}

bool NsmClient::Start(const std::string& url, const std::string& program,
                      const std::string& executable, std::string* error) {
    lo_->manager = lo_address_new_from_url(url.c_str());
    if (!lo_->manager) {
        if (error) *error = "The session manager's address (NSM_URL) is not an OSC URL: " + url;
        return false;
    }
    lo_->thread =
        lo_server_thread_new_with_proto(nullptr, lo_address_get_protocol(lo_->manager), nullptr);
    if (!lo_->thread) {
        if (error) *error = "No port could be opened to talk to the session manager.";
        return false;
    }
    auto on = [this](const char* path, const char* types, lo_method_handler handler) {
        lo_server_thread_add_method(lo_->thread, path, types, handler, this);
    };
    on("/nsm/client/open", "sss",
       [](const char*, const char*, lo_arg** argv, int, lo_message, void* self) {
           static_cast<NsmClient*>(self)->Opened(Text(argv[0]), Text(argv[1]), Text(argv[2]));
           return 0;
       });
    on("/nsm/client/save", "", [](const char*, const char*, lo_arg**, int, lo_message, void* self) {
        static_cast<NsmClient*>(self)->Save();
        return 0;
    });
    on("/reply", "ssss", [](const char*, const char*, lo_arg** argv, int, lo_message, void* self) {
        static_cast<NsmClient*>(self)->Replied(Text(argv[0]), Text(argv[2]));
        return 0;
    });
    on("/error", "sis", [](const char*, const char*, lo_arg** argv, int, lo_message, void* self) {
        static_cast<NsmClient*>(self)->Failed(Text(argv[0]), argv[1]->i, Text(argv[2]));
        return 0;
    });
    if (lo_server_thread_start(lo_->thread) != 0) {
        if (error) *error = "The session manager's messages cannot be received.";
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (lo_send_from(lo_->manager, lo_server_thread_get_server(lo_->thread), LO_TT_IMMEDIATE,
                     "/nsm/server/announce", "sssiii", program.c_str(), kCapabilities,
                     executable.c_str(), kApiMajor, kApiMinor, int(::getpid())) < 0) {
        if (error)
            *error = "The session manager at " + url +
                     " cannot be reached: " + lo_address_errstr(lo_->manager);
        return false;
    }
    return true;
}

void NsmClient::Opened(std::string path, std::string displayName, std::string clientId) {
    post_([this, path, displayName, clientId] {
        const std::string error =
            handlers_.open ? handlers_.open(path, displayName, clientId) : "Nothing opens songs.";
        if (error.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            sessionPath_ = path;
            dirty_ = -1;
        }
        Reply("/nsm/client/open", error);
    });
}

void NsmClient::Save() {
    post_([this] {
        const std::string error = handlers_.save ? handlers_.save() : "Nothing saves songs.";
        Reply("/nsm/client/save", error);
        if (error.empty()) SetDirty(false);
    });
}

void NsmClient::Replied(const std::string& to, const std::string& manager) {
    if (to != "/nsm/server/announce" || !handlers_.announced) return;
    post_([this, manager] { handlers_.announced(manager); });
}

void NsmClient::Failed(const std::string& to, int code, const std::string& message) {
    if (to != "/nsm/server/announce" || !handlers_.refused) return;
    post_([this, code, message] {
        handlers_.refused(message + " (error " + std::to_string(code) + ")");
    });
}

void NsmClient::Reply(const std::string& to, const std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    lo_server server = lo_server_thread_get_server(lo_->thread);
    if (error.empty())
        lo_send_from(lo_->manager, server, LO_TT_IMMEDIATE, "/reply", "ss", to.c_str(), "OK");
    else
        lo_send_from(lo_->manager, server, LO_TT_IMMEDIATE, "/error", "sis", to.c_str(),
                     to == "/nsm/client/save" ? kErrSaveFailed : kErrGeneral, error.c_str());
}

void NsmClient::SetDirty(bool dirty) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Nothing is said before the session gave the song its place.
    if (sessionPath_.empty() || dirty_ == int(dirty)) return;
    dirty_ = int(dirty);
    lo_send_from(lo_->manager, lo_server_thread_get_server(lo_->thread), LO_TT_IMMEDIATE,
                 dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean", "");
}

std::string NsmClient::SessionPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessionPath_;
}
