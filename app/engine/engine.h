// The engine: the open song and everything done to it, without a window.
// It owns the song, the loop shown (the selected loop), every edit as an
// undoable command, whether the song differs from its file, the renderings
// of the loops, playback (through the Player, on a thread of its own),
// and the long work done on worker threads (opening, saving, keeping the
// song for recovery, importing, exporting). The window is views over it:
// it calls the engine and redraws from what the engine says changed. The
// command line's --render and the tests drive it the same way.
//
// An Engine is used from one thread, its owner's (the user-interface
// thread in the program). What the player and the workers finish
// meanwhile is posted to that thread: Wake says something waits, and
// RunPosted runs it there.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/background_work.h"
#include "engine/link_watch.h"
#include "engine/loop_feed.h"
#include "engine/player.h"
#include "engine/serial_thread.h"
#include "engine/transport_watch.h"
#include "engine/undo_stack.h"
#include "files/file_lock.h"
#include "import/audio_import.h"
#include "import/midi_file.h"
#include "live/live_kit.h"
#include "live/live_voices.h"
#include "midi/sequencer_clock.h"
#include "midi/sequencer_input.h"
#include "song/song.h"
#include "song/song_export.h"
#include "song/song_recovery.h"

// What changed, for the views to redraw.
enum Change : unsigned {
    kChangeLoop = 1u << 0,       // the loop shown, or its ticks
    kChangeTracks = 1u << 1,     // tracks, captions, sounds, mix
    kChangeSettings = 1u << 2,   // tempo, swing, arrangement
    kChangeTransport = 1u << 3,  // playing or not, the queued loop, arrangement mode
    kChangeDocument = 1u << 4,   // the file, modified or not, what Undo and Redo do
    kChangeWork = 1u << 5,       // long work started, went on or ended
    kChangeSong = 0xFFu,         // another song: everything
};

// What the engine tells the window (or a test).
class EngineView {
  public:
    virtual ~EngineView() = default;
    virtual void Changed(unsigned /*what*/) {}
    // The light of tick is the one to be lit (the tick being played).
    virtual void TickLit(LONG /*tick*/) {}
    // Work that went on by itself failed (playback, saving, importing):
    // the error's text, for the user.
    virtual void Report(const std::string& /*error*/) {}
};

class Engine {
  public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void SetView(EngineView* view) { view_ = view; }
    // Called from any thread when something was posted (may be null).
    void SetWake(std::function<void()> wake);
    // Runs what the player and the workers posted, in order.
    void RunPosted();

    // ---- the song -----------------------------------------------------
    const std::shared_ptr<Song>& GetSong() const { return song_; }
    std::uint8_t SelectedLoop() const { return selected_; }
    // The ticks of the loop shown (the grid's width).
    LONG TicksPerLoop() const;
    // Loop k's length and resolution (the default for a loop not made).
    LoopFormat FormatOf(std::uint8_t k) const;
    // Of loop k's last rendering: its peak magnitude and how many of its
    // values reach full scale (a pass's clipped samples).
    struct Level {
        LONG peak = 0;
        LONG clipped = 0;
    };
    Level LoopLevel(std::uint8_t k) const;
    // The tracks shown and rendered: the song's, 1 to 64.
    LONG NumTracks() const;
    static constexpr LONG kMaxTracks = 64;
    // The selected loop's rendering and its frames per tick.
    ComPtr<IWav> LoopWav() const;
    LONG TickLength() const;

    // ---- documents ----------------------------------------------------
    // Makes song current, with path as its file ("" for none): nothing
    // to undo, nothing owed to the file. Loop 0 is shown and, with
    // render, rendered (a song only exported needs no rendering shown).
    void ShowSong(std::shared_ptr<Song> song, const std::string& path, bool render = true);
    // Reads the song file at path (ours, or another program's format:
    // exchange/any_song.h) and shows it. Throws AppError;
    // the current song stays then. notice, when given, gets what of the
    // file was left out.
    void OpenSong(const std::string& path, std::string* notice = nullptr);
    // Shows a song read by ReadAnySong: one of another program's format
    // (foreign) as a new song that differs from any file, else as ShowSong.
    void ShowForeign(std::shared_ptr<Song> song, const std::string& path, bool foreign);
    // An empty song of one track, loop 0 shown.
    void StartEmpty();
    // Writes the song to path and makes path its file. Throws AppError;
    // the file and the song's state stay as they were then.
    void SaveSong(const std::string& path);
    const std::string& FilePath() const { return filePath_; }
    // "Untitled" for a song without a file of its own, else the file's name.
    std::string DocumentName() const;
    bool IsModified() const { return !undo_.IsClean() || changedOutsideUndo_; }
    // A change that is no edit (a loop made by selecting it, a restored
    // song): the song differs from its file, and nothing undoes it.
    void ChangedOutsideUndo();
    UndoStack& Undo() { return undo_; }
    // Whether the song's file has changed on disk (another program or
    // another Trellon saved it) since it was opened or saved here.
    bool ChangedOnDisk() const;
    // Songs open in this program are marked in folder (the recovery
    // folder), so that another Trellon opening one can say so.
    void SetOpenMarks(std::string folder);
    // Whether another Trellon has the song at path open.
    bool OpenElsewhere(const std::string& path) const;
    // Counts every change of the song, for keeping it.
    unsigned Revision() const { return revision_; }

    // Keeping the song for recovery (recovery/song_recovery.h); none
    // until a folder is given.
    void SetRecovery(std::unique_ptr<SongRecovery> recovery) { recovery_ = std::move(recovery); }
    SongRecovery* Recovery() const { return recovery_.get(); }
    // Writes the song to the recovery folder on a worker when it changed
    // since it was last kept; true when that started. After a failure it
    // tries again only once the song has changed again or a minute has
    // passed, and the failure is reported once, not at every try.
    bool AutosaveNow();
    // Why the song is not being kept for recovery now; "" when it is.
    const std::string& RecoveryProblem() const { return recoveryProblem_; }
    // At once, on this thread: a signal ends the program.
    void KeepForRecovery();

    // ---- long work ----------------------------------------------------
    // The work under way that the user started, or null.
    const BackgroundWork* Work() const { return work_.get(); }
    void CancelWork();
    // Waits for the work under way (and the autosave) to end, and runs
    // what they posted.
    void FinishWork();
    // Opens the song file at path on a worker; done runs afterwards on
    // this thread with "" or the error.
    void OpenSongInBackground(const std::string& path,
                              std::function<void(const std::string& error)> done);
    // Saves to path on a worker, playback paused meanwhile.
    void SaveSongInBackground(const std::string& path,
                              std::function<void(const std::string& error)> done);
    // One file imported: its sound, or why there is none.
    struct Imported {
        ImportedAudio sound;  // no Wav when it failed
        std::string error;
    };
    // Imports the audio files on a worker; done gets one result per file,
    // in order (nothing when the user cancelled).
    void ImportInBackground(std::string title, std::vector<std::string> paths,
                            std::function<void(std::vector<Imported> results)> done);
    // Throws AppError when path is the song's own file (by any name).
    void CheckExportTarget(const std::string& path) const;
    // Exports as choice says to path (a MIDI file, the stems into the
    // folder path, or the mix), on this thread; false when progress
    // cancelled it (path stays as it was). Throws AppError.
    bool Export(const ExportChoice& choice, const std::string& path, const Progress& progress = {});
    // How many values the last export wrote at full scale (clipped).
    std::uint64_t ExportClipped() const { return exportClipped_; }
    // Exports as choice says to path on a worker.
    void ExportInBackground(const ExportChoice& choice, const std::string& path,
                            std::function<void(const std::string& error)> done);

    // ---- edits (each an undoable command) ------------------------------
    // Throw AppError before anything changes when the edit cannot be made.
    void SetTick(std::uint8_t loop, LONG track, short tick, bool on);
    // How hard a tick that is on plays (1 to 127); changes of one tick in
    // a row are one edit (a drag).
    void SetVelocity(std::uint8_t loop, LONG track, short tick, int velocity);
    void SetSample(LONG track, ComPtr<IWav> wav, std::u16string caption,
                   const std::string& text = "Load Sample");
    void RenameTrack(LONG track, std::u16string caption);
    void AddTrack();
    void AddTracks(const std::vector<ImportedAudio>& sounds);
    void RemoveTrack(LONG track);
    // The kit's sounds on tracks 0 on, as many as the song may hold.
    void ImportDrumKit(const std::vector<ImportedAudio>& sounds);
    // Every loop emptied, the samples and tempo kept, no file.
    void New();
    // Tempo in beats per minute (30 to 300, steps of 0.1); while playing
    // it takes over at the end of the pass.
    void SetTempo(double bpm);
    void SetSwing(int percent);
    void SetTrackVolume(LONG track, int percent);
    void SetTrackMute(LONG track, bool on);
    void SetTrackSolo(LONG track, bool on);
    void SetArrangement(std::vector<ArrangementStep> steps);
    // The MIDI notes of the tracks (notes[k] for track k, -1 for the
    // default 36 + k; missing ones stay) and the channel listened to (0
    // all, else 1 to 16): one edit.
    struct MidiMap {
        std::vector<int> notes;
        int channel = 0;
        bool operator==(const MidiMap&) const = default;
    };
    MidiMap GetMidiMap() const;
    void SetMidiMap(const MidiMap& map);

    // ---- grooves (each an undoable command) ----------------------------
    // Loop's length and resolution; ticks past a shorter end are dropped.
    // While the loop plays, the new length takes over at the end of the pass.
    void SetLoopFormat(std::uint8_t loop, LoopFormat format);
    // The clipboard holds a loop (its format, every track's ticks and
    // velocities) or one row; it outlives the song, so it pastes into
    // another one.
    void CopyLoop(std::uint8_t loop);
    void CopyRow(std::uint8_t loop, LONG track);
    bool HasClip() const { return !clipboard_.tracks.empty(); }
    bool ClipIsRow() const { return clipboard_.row; }
    // Pastes the copied loop over loop (a copied row onto its first
    // track); returns what was left out ("" when nothing was).
    std::string PasteLoop(std::uint8_t loop);
    // Pastes the copied row (or a copied loop's first track) onto track.
    std::string PasteRow(std::uint8_t loop, LONG track);
    // Copies loop into the next loop after it that holds no tick and
    // shows it; returns its index. Throws AppError when none is free.
    std::uint8_t DuplicateLoop(std::uint8_t loop);
    // Every tick of loop off; its length stays.
    void ClearLoop(std::uint8_t loop);
    // Moves a row's ticks by ticks (negative: left), wrapping round.
    void ShiftRow(std::uint8_t loop, LONG track, int by);
    // Pan, pitch, trim, reverse and choke group of a track.
    TrackSound SoundOf(LONG track) const;
    void SetTrackSound(LONG track, const TrackSound& sound);
    // The master level in hundredths of a dB (clamped to -60 to +12 dB).
    void SetMasterLevel(int hundredthsOfDb);
    void SetHumanize(const Humanize& humanize);

    // ---- MIDI files in --------------------------------------------------
    // Lays the notes of file (named name) into loop as one edit, adding a
    // track without a sound for each note no track plays when addTracks;
    // returns what was done for the user (exchange/midi_import.h).
    std::string ImportMidi(std::uint8_t loop, const MidiFileContent& file, const std::string& name,
                           bool addTracks);
    // The notes of file that no track plays (those ImportMidi would add).
    std::vector<int> UnplayedMidiNotes(std::uint8_t loop, const MidiFileContent& file,
                                       const std::string& name) const;

    // ---- playback -----------------------------------------------------
    // Shows loop v (made when the song lacks it) and, while a loop plays,
    // queues it to take over at the end of the pass.
    void SelectLoop(std::uint8_t v);
    // Plays the loop shown, or the arrangement in arrangement mode, over
    // and over; stops what plays. Throws AppError (no device ...).
    void PlayOrStop();
    void Play();
    void Stop();
    bool IsPlaying() const { return state_.playing; }
    // Follows the output's transport (JACK's, with the output following
    // it: SetTransportRole): playback starts, stops and moves with it,
    // each pass starting on its bars, and takes its timebase master's
    // tempo at the end of the pass. Off: the engine plays by itself.
    void FollowTransport(bool on);
    bool FollowsTransport() const { return bool(transportWatch_); }
    // Plays in a Link session with peers on the local network: the
    // session's tempo is the song's (either may change it, at once),
    // each pass of a loop starts on the session's bars, and a beat that
    // drifts off them is put back. Off: the engine plays by itself.
    void FollowLink(bool on);
    bool FollowsLink() const { return bool(link_); }
    // Whether playing and stopping are shared with the session (kept while
    // Link is off).
    void ShareLinkStartStop(bool on);
    bool SharesLinkStartStop() const { return linkStartStop_; }
    // The peers met; -1 while not in a session.
    int LinkPeers() const;
    // The session's beat phase within a bar of quantum beats at the steady
    // clock's microsecond us; 0 while not in a session.
    double LinkPhaseAt(std::int64_t us, double quantum) const;
    // How far the beat heard was from the session's bars at the last
    // period seen, in microseconds (positive: late).
    double LinkPhaseErrorUs() const;
    // The loop whose pass plays now; -1 when stopped.
    int PlayingLoop() const { return state_.playing ? state_.playingLoop : -1; }
    // The loop that takes over at the end of the pass; -1 for none.
    int QueuedLoop() const { return state_.queuedLoop; }
    // Play plays the arrangement; switched on while a loop plays, the
    // arrangement takes over at the end of the pass.
    void SetArrangementMode(bool on);
    bool ArrangementMode() const { return arrangementMode_; }
    bool PlayingArrangement() const { return state_.playing && state_.arrangement; }
    // The tick whose light is lit last (kept when playback stops).
    LONG LastLitTick() const { return lastLitTick_; }
    // Looks whether the output went away while playing (its sound server
    // ended); if so playback stops and the view is told. Called now and
    // then by whoever drives the engine.
    void CheckOutput();
    // Plays a sound once (listening to a file before loading it).
    void Preview(ComPtr<IWav> wav);
    // Halts the output around work that must not be heard over (Save).
    void Pause() { GetPlayer().Pause(); }
    void UnPause() { GetPlayer().UnPause(); }
    // Playback's own thread, made on first use.
    Player& GetPlayer();

    // ---- live play ----------------------------------------------------
    // Opens the output now and keeps it open while the engine lives, with
    // the live voices on it: MIDI and PlayHit play the song's tracks
    // whether or not a loop plays. Only an output with a callback of its
    // own (JACK) plays them; another is opened when chosen (CheckOutput
    // looks). Throws AppError when a JACK output is chosen and none opens.
    void StartLive();
    bool LiveStarted() const { return liveWanted_; }
    // Plays track at velocity (1 to 127) now (keys and pads).
    void PlayHit(LONG track, int velocity);
    const std::shared_ptr<LiveVoices>& Live() const { return live_; }
    // The ALSA sequencer's port, when this machine has a sequencer; why
    // it would not open otherwise ("" when it did or there is none).
    const SequencerInput* Sequencer() const { return sequencer_.get(); }
    const std::string& SequencerProblem() const { return sequencerProblem_; }
    // The sequencer port the MIDI clock goes out on besides clock_out.
    const SequencerClock* SequencerClockPort() const { return sequencerClock_.get(); }
    // The state of the output the live voices play on (zero when none).
    OutputStatus LiveOutputStatus() const;
    // Waits until the voices play the song's tracks as they are now.
    void WaitForLiveKit();

    // ---- recording ------------------------------------------------------
    // With Record on, every hit played live (MIDI, keys, pads) goes into
    // the loop heard when it was played, at the nearest tick, with its
    // velocity (a tick already on keeps the louder); it is heard from the
    // next pass on. A take, Record on to Record off, is one edit; Stop ends
    // it. Turned on while stopped with the count-in on, playback starts and
    // hits of its first pass are heard but not kept. Throws AppError when
    // the output plays no live hits.
    void SetRecording(bool on);
    bool Recording() const { return recording_; }
    // Whether the count-in is heard now.
    bool CountingIn();
    void SetCountIn(bool on) { countIn_ = on; }
    bool CountIn() const { return countIn_; }
    // Takes the hits played since the last call into the song (the window
    // calls it several times a second).
    void RecordPlayedHits();

    // ---- what the commands apply -----------------------------------------
    // The tracks as a whole: the sample slots and each loop's tracks.
    struct TrackLayout {
        std::vector<std::shared_ptr<Sample>> samples;
        std::vector<std::shared_ptr<SequenceLoop::TrackList>> loops;
    };
    TrackLayout CaptureTracks() const;
    void ApplyTracks(const TrackLayout& layout);
    void ApplyTick(std::uint8_t loop, LONG track, short tick, bool on);
    void ApplyVelocity(std::uint8_t loop, LONG track, short tick, int velocity);
    // A hit of a take: where it went and what the tick held before.
    struct RecordedHit {
        std::uint8_t loop = 0;
        LONG track = 0;
        std::uint8_t tick = 0;
        bool wasOn = false;
        std::uint8_t before = 0, velocity = 0;
    };
    void ApplyRecordedHits(const std::vector<RecordedHit>& hits, bool undo);
    void ApplySample(LONG track, const ComPtr<IWav>& wav, const std::u16string& caption);
    void ApplyNew();
    void RestoreLoops(std::vector<std::shared_ptr<SequenceLoop>> loops, const std::string& path,
                      std::uint8_t selected);
    void ApplyTempo(std::int64_t bpm);
    void ApplySwing(std::uint16_t swing);
    void ApplyMix(LONG track, const TrackMix& mix);
    void ApplyArrangement(const std::vector<ArrangementStep>& steps);
    void ApplyMidiMap(const MidiMap& map);
    // A loop's whole content: its format and its tracks.
    struct LoopContent {
        bool existed = true;  // whether the song had the loop before
        LoopFormat format;
        std::vector<LoopTrack> tracks;
    };
    // Loop (made when missing, 0 to 9); throws AppError for another.
    LoopContent CaptureLoop(std::uint8_t loop);
    void ApplyLoop(std::uint8_t loop, const LoopContent& content);
    // Drops loop from the song when it is not shown, played or loop 0.
    void ForgetLoop(std::uint8_t loop);
    void ApplySound(LONG track, const TrackSound& sound);
    void ApplyMasterLevel(int level);
    void ApplyHumanize(const Humanize& humanize);

  private:
    // Changes made while a Batch lives are told once, when the outermost
    // one ends.
    class Batch {
      public:
        explicit Batch(Engine& engine) : engine_(engine) { ++engine_.batch_; }
        ~Batch() {
            if (--engine_.batch_ == 0) engine_.Flush();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        Engine& engine_;
    };
    void Notify(unsigned what);
    void Flush();
    void Post(std::function<void()> work);
    // Acts on what the transport followed did (the engine's thread).
    void FollowTransportView(const TransportView& view,
                             std::chrono::steady_clock::time_point seenAt, bool relocated);
    // The frame of the loop shown that the transport's place `since`
    // frames after the view falls on: by its bar and beat (byBars, when
    // its timebase master gives them) or by its frame.
    LONG TransportPlace(const TransportView& view, double since, bool byBars);
    // Plays the loop shown from that place: on the frame a starting
    // transport waits at (no seenAt), or a moment after a rolling one was
    // seen at seenAt.
    void PlaceOnTransport(const TransportView& view,
                          std::optional<std::chrono::steady_clock::time_point> seenAt, bool byBars);
    // Acts on what the Link session did (the engine's thread).
    void FollowLinkEvent(LinkWatch::Event event);
    // Plays the loop shown from where the session's bar stands when its
    // first frame is heard (throws AppError); MoveIntoPhase reports
    // instead.
    void PlayInPhase();
    void MoveIntoPhase();
    // The song's tempo told to the session; playback's stop too, when shared.
    void TellLinkTempo();
    void TellLinkStopped();
    // A tempo edit, in the song's units (1/10000 bpm).
    void SetTempoValue(std::int64_t value);
    // The selected loop becomes v, rendered when it has no rendering.
    void ShowLoop(std::uint8_t v);
    // Renders loop k afresh: into its feed, at the feed's length, when it
    // has one and keep is set; else a new feed at the song's tempo.
    void Render(std::uint8_t k, bool keep);
    void RenderLoop(std::uint8_t k, bool keep);
    // The feed of loop k, rendered when missing.
    std::shared_ptr<LoopFeed> FeedOf(std::uint8_t k);
    // After a change every loop hears: loops playing, queued or in the
    // arrangement playing are rendered again at once; the others when
    // they are next needed.
    void RenderAll();
    bool InUse(std::uint8_t k) const;
    // Every loop has one track per track of the song, after the tracks changed.
    void FitLoopsToTracks();
    // The feeds of the loops the arrangement plays.
    Player::Feeds ArrangementFeeds();
    // Throws AppError when the arrangement cannot play.
    void CheckArrangement() const;
    void StartPlaying();
    void TakeState(const TransportState& state);
    void MarkSaved(const std::string& path);
    // The song's file is path now (its stamp and its open mark follow).
    void BelongTo(const std::string& path);
    // Starts work on a worker as the user's work under way.
    void StartWork(std::unique_ptr<BackgroundWork> work);
    // The track row of tick in loop; throws AppError when the song lacks it.
    std::shared_ptr<LoopTrack> RowOfTick(std::uint8_t loop, LONG track, short tick) const;
    // A change of a loop's ticks: shown where it is made, and heard.
    void ApplyTickChange(std::uint8_t loop, const std::function<void()>& change);
    // The live voices play the song's tracks as they are now.
    void UpdateLiveKit();
    // A live output whose server went away, or another output chosen, is
    // opened again.
    void RefreshLiveOutput();
    void OpenLiveOutput();
    std::string sequencerProblem_;
    // An edit of a track's mix.
    void EditMix(LONG track, const std::string& text, int mergeKey,
                 const std::function<void(TrackMix&)>& change);

    EngineView* view_ = nullptr;
    int batch_ = 0;         // Batches alive
    unsigned pending_ = 0;  // changes not told yet
    std::shared_ptr<Song> song_;
    std::uint8_t selected_ = 0;
    std::map<std::uint8_t, Level> levels_;
    struct Clip {
        LoopFormat format;
        std::vector<LoopTrack> tracks;
        bool row = false;
    };
    Clip clipboard_;
    std::uint64_t exportClipped_ = 0;
    std::map<std::uint8_t, std::shared_ptr<LoopFeed>> feeds_;

    std::string filePath_;
    UndoStack undo_;
    bool changedOutsideUndo_ = false;
    unsigned revision_ = 0;
    unsigned keptRevision_ = 0;  // the revision the recovery folder holds
    // The song's file as it was when opened or saved here.
    struct FileStamp {
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0;  // nanoseconds
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const std::string& path);
    std::string OpenMarkOf(const std::string& path) const;
    FileStamp stamp_;
    std::string openMarks_;
    FileLock openMark_;  // on the song's file, while it is this song's
    std::string recoveryProblem_;
    unsigned failedRevision_ = 0;  // the revision an autosave failed for, and when
    std::chrono::steady_clock::time_point failedAt_;
    std::unique_ptr<SongRecovery> recovery_;

    bool arrangementMode_ = false;
    TransportState state_;
    LONG lastLitTick_ = 0;

    // What the player and workers posted, for RunPosted.
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    std::function<void()> wake_;

    std::shared_ptr<LiveVoices> live_ = std::make_shared<LiveVoices>();
    LiveKitMaker liveKits_;
    bool liveWanted_ = false;
    std::shared_ptr<SoundDevice> liveDevice_;         // null while none opens
    std::unique_ptr<SequencerInput> sequencer_;       // when the machine has one
    std::shared_ptr<SequencerClock> sequencerClock_;  // the same
    unsigned long liveGeneration_ = 0;
    bool recording_ = false, countIn_ = false;
    unsigned take_ = 0;
    std::uint64_t recordFrom_ = 0;  // the first pass of the take kept

    std::unique_ptr<BackgroundWork> work_, autosave_;
    std::unique_ptr<Player> player_;  // it ends before what is above; made on first use
    // Makes the live kits (liveKits_ is its own), once an output plays
    // them; it ends first.
    std::unique_ptr<SerialThread> liveKitThread_;
    // Watches the transport followed; it ends first of all.
    std::unique_ptr<TransportWatch> transportWatch_;
    // The transport frame the loop was readied to roll with (-1: none),
    // and the loop's frame placed there.
    std::int64_t heldFor_ = -1;
    LONG heldFrom_ = 0;
    // The Link session and its watcher, which ends before it.
    bool linkStartStop_ = false;
    std::unique_ptr<LinkSession> link_;
    std::unique_ptr<LinkWatch> linkWatch_;
};
