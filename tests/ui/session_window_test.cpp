// The window as a client of a session manager: a test manager speaking
// the NSM protocol over OSC announces it, opens its song in the session's
// folder, is told of unsaved changes and saves.
#include <lo/lo.h>

#include <QStatusBar>
#include <filesystem>

#include "common/ui_fixture.h"

namespace {

struct OscMessage {
    std::string path;
    std::vector<std::string> texts;
    std::vector<int> numbers;
};

// A session manager's end of the protocol: it receives on a port of its
// own and answers the client at the address it last heard from.
class TestManager {
  public:
    TestManager() {
        server_ = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
        lo_server_add_method(server_, nullptr, nullptr, &TestManager::Receive, this);
    }
    ~TestManager() {
        if (client_) lo_address_free(client_);
        lo_server_free(server_);
    }
    std::string Url() const {
        char* url = lo_server_get_url(server_);
        std::string s = url;
        std::free(url);
        return s;
    }
    // Waits (the window's events going on) for a message to path.
    const OscMessage* WaitFor(const std::string& path, int timeoutMs = 10000) {
        for (int i = 0; i < timeoutMs / 5; ++i) {
            lo_server_recv_noblock(server_, 0);
            for (std::size_t k = seen_; k < messages_.size(); ++k)
                if (messages_[k].path == path) {
                    seen_ = k + 1;
                    return &messages_[k];
                }
            QApplication::processEvents();
            QTest::qWait(5);
        }
        return nullptr;
    }
    // The first reply (or error) to request after the last one waited for.
    const OscMessage* WaitForAnswer(const std::string& request) {
        for (int i = 0; i < 2000; ++i) {
            lo_server_recv_noblock(server_, 0);
            for (std::size_t k = seen_; k < messages_.size(); ++k)
                if ((messages_[k].path == "/reply" || messages_[k].path == "/error") &&
                    !messages_[k].texts.empty() && messages_[k].texts[0] == request) {
                    seen_ = k + 1;
                    return &messages_[k];
                }
            QApplication::processEvents();
            QTest::qWait(5);
        }
        return nullptr;
    }
    // Where the messages stand now, and whether one to path came after.
    std::size_t Mark() const { return messages_.size(); }
    bool HeardSince(std::size_t mark, const std::string& path) const {
        for (std::size_t k = mark; k < messages_.size(); ++k)
            if (messages_[k].path == path) return true;
        return false;
    }
    void Open(const std::string& path, const std::string& id) {
        lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/nsm/client/open", "sss", path.c_str(),
                     "Trellon", id.c_str());
    }
    void Save() { lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/nsm/client/save", ""); }
    void Welcome() {
        lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/reply", "ssss", "/nsm/server/announce",
                     "Welcome", "Test Manager", ":server-control:");
    }

  private:
    static int Receive(const char* path, const char* types, lo_arg** argv, int argc,
                       lo_message message, void* self) {
        auto* me = static_cast<TestManager*>(self);
        OscMessage m{path, {}, {}};
        for (int i = 0; i < argc; ++i) {
            if (types[i] == 's') m.texts.emplace_back(&argv[i]->s);
            if (types[i] == 'i') m.numbers.push_back(argv[i]->i);
        }
        me->messages_.push_back(m);
        if (!me->client_) {
            char* url = lo_address_get_url(lo_message_get_source(message));
            me->client_ = lo_address_new_from_url(url);
            std::free(url);
        }
        return 0;
    }

    lo_server server_ = nullptr;
    lo_address client_ = nullptr;
    std::vector<OscMessage> messages_;
    std::size_t seen_ = 0;
};

}  // namespace

class Session : public MainWindow {
  protected:
    void TearDown() override {
        MainWindow::TearDown();
        ::unsetenv("NSM_URL");
    }
};

TEST_F(Session, TheManagerOpensSavesAndHearsOfChangesWithoutAQuestionAsked) {
    TestManager manager;
    ::setenv("NSM_URL", manager.Url().c_str(), 1);
    UseDefaultSong();
    MainForm& form = Start(SongPath());

    const OscMessage* announce = manager.WaitFor("/nsm/server/announce");
    ASSERT_NE(announce, nullptr) << "Trellon did not announce itself";
    ASSERT_EQ(announce->texts.size(), 3u);
    EXPECT_EQ(announce->texts[0], "Trellon");
    EXPECT_EQ(announce->texts[1], ":dirty:");
    EXPECT_FALSE(announce->texts[2].empty());
    ASSERT_EQ(announce->numbers.size(), 3u);
    EXPECT_EQ(announce->numbers[0], 1);
    EXPECT_EQ(announce->numbers[2], int(::getpid()));
    manager.Welcome();
    for (int i = 0; i < 200 && form.statusBar()->currentMessage().isEmpty(); ++i) QTest::qWait(5);
    EXPECT_EQ(form.statusBar()->currentMessage(), "In a session of Test Manager");

    // A new client of the session: the default song, kept there at once.
    std::filesystem::create_directories(Folder("session"));
    const std::string path = Folder("session/Trellon.nABCD");
    manager.Open(path, "nABCD");
    const OscMessage* opened = manager.WaitForAnswer("/nsm/client/open");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->path, "/reply");
    ASSERT_TRUE(std::filesystem::exists(path + ".loop"));
    EXPECT_EQ(form.FilePath(), path + ".loop");
    const LONG tracks = ReadSongFile(path + ".loop")->NumTracks();
    EXPECT_EQ(form.NumTracks(), tracks);

    // A change: the manager hears the song is dirty; a save makes it clean.
    const bool was = form.Row(0)->Value(3);
    ClickTick(0, 3);
    ASSERT_NE(manager.WaitFor("/nsm/client/is_dirty"), nullptr);
    const std::size_t beforeSave = manager.Mark();
    manager.Save();
    const OscMessage* saved = manager.WaitForAnswer("/nsm/client/save");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->path, "/reply");
    EXPECT_TRUE(manager.HeardSince(beforeSave, "/nsm/client/is_clean"));
    EXPECT_FALSE(form.IsModified());
    EXPECT_EQ(ReadSongFile(path + ".loop")->Sequence(0)->Track(0)->Value(3), !was);

    // Another song of the session, opened over unsaved changes: no question.
    std::shared_ptr<Song> other = ReadSongFile(SongPath());
    other->SetBpm(97 * 10000);
    WriteSong(*other, Folder("session/Other.loop"));
    ClickTick(0, 5);
    manager.Open(Folder("session/Other"), "nOTHR");
    const OscMessage* reopened = manager.WaitForAnswer("/nsm/client/open");
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->path, "/reply");
    EXPECT_EQ(form.GetSong()->Bpm(), 97 * 10000);
    EXPECT_FALSE(form.IsModified());
    EXPECT_TRUE(prompts_->asked.empty());

    // A place that cannot hold a song: an error with the reason, the song
    // shown is kept.
    manager.Open(Folder("no such folder/Trellon.nX"), "nX");
    const OscMessage* refused = manager.WaitForAnswer("/nsm/client/open");
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->path, "/error");
    ASSERT_EQ(refused->texts.size(), 2u);
    EXPECT_FALSE(refused->texts[1].empty());
    EXPECT_EQ(form.FilePath(), Folder("session/Other.loop"));
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}
