// The engine's long work, each on a worker thread of its own: opening,
// saving, keeping the song for recovery, importing and exporting. The
// song is copied for the work (its audio shared, never changed), so the
// user goes on editing and playing meanwhile; what the work brings back
// is applied on the engine's thread when it ends.
#include "engine/engine.h"
#include "exchange/any_song.h"
#include "exchange/midi_export.h"
#include "files/folders.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"

void Engine::StartWork(std::unique_ptr<BackgroundWork> work) {
    work_ = std::move(work);
    Notify(kChangeWork);
}

void Engine::CancelWork() {
    if (work_) work_->Cancel();
}

void Engine::FinishWork() {
    if (work_) work_->Wait();
    if (autosave_) autosave_->Wait();
    RunPosted();
}

namespace {

[[noreturn]] void ThrowBusy(const BackgroundWork& work) {
    ThrowError(kErrInvalidArgument,
               work.Title() + " is under way: wait for it to finish, or cancel it first");
}

}  // namespace

void Engine::OpenSongInBackground(const std::string& path,
                                  std::function<void(const std::string&)> done) {
    if (work_) ThrowBusy(*work_);
    auto song = std::make_shared<std::shared_ptr<Song>>();
    auto notice = std::make_shared<std::string>();
    auto foreign = std::make_shared<bool>(false);
    StartWork(std::make_unique<BackgroundWork>(
        "Opening " + Quoted(FileNameOfPath(path)),
        [path, song, notice, foreign](const Progress& progress) {
            *song = ReadAnySong(path, notice.get(), progress, foreign.get());
        },
        [this, path, song, notice, foreign, done](const std::string& error, bool) {
            work_.reset();
            std::string outcome = error;
            if (outcome.empty()) {
                try {
                    ShowForeign(*song, path, *foreign);
                } catch (const std::exception& e) {
                    outcome = ErrorText(e);
                }
            }
            Notify(kChangeWork);
            if (outcome.empty() && !notice->empty() && view_) view_->Report(*notice);
            if (done) done(outcome);
        },
        [this](std::function<void()> f) { Post(std::move(f)); }));
}

void Engine::SaveSongInBackground(const std::string& path,
                                  std::function<void(const std::string&)> done) {
    if (work_) ThrowBusy(*work_);
    // The song as it is now is what gets saved; edits meanwhile stay
    // unsaved. Playback holds still until the file is written.
    auto snapshot = std::make_shared<Song>(DetachedCopy(*song_));
    const unsigned revision = revision_;
    GetPlayer().Pause();
    StartWork(std::make_unique<BackgroundWork>(
        "Saving " + Quoted(FileNameOfPath(path)),
        [path, snapshot](const Progress& progress) { WriteSongFile(*snapshot, path, progress); },
        [this, path, revision, done](const std::string& error, bool) {
            work_.reset();
            GetPlayer().UnPause();
            if (error.empty()) {
                if (revision_ == revision) {
                    MarkSaved(path);
                } else {
                    // Changed while it was written: the file holds less
                    // than the song, which stays modified.
                    BelongTo(path);
                    changedOutsideUndo_ = true;
                    Notify(kChangeDocument);
                }
            }
            Notify(kChangeWork);
            if (done) done(error);
        },
        [this](std::function<void()> f) { Post(std::move(f)); }));
}

void Engine::ImportInBackground(std::string title, std::vector<std::string> paths,
                                std::function<void(std::vector<Imported>)> done) {
    if (work_) ThrowBusy(*work_);
    auto results = std::make_shared<std::vector<Imported>>(paths.size());
    StartWork(std::make_unique<BackgroundWork>(
        std::move(title),
        [paths, results](const Progress& progress) {
            // Each file is read before anything changes; one that cannot
            // be read says why and is left out.
            for (std::size_t i = 0; i < paths.size(); ++i) {
                const Progress part = [&](double d) {
                    return !progress || progress((double(i) + d) / double(paths.size()));
                };
                try {
                    (*results)[i].sound = ImportAudioFile(paths[i], part);
                } catch (const AppError& e) {
                    if (e.Number() == kErrCancelled) throw;
                    (*results)[i].error = e.Description();
                } catch (const std::exception& e) {
                    (*results)[i].error = ErrorText(e);
                }
            }
        },
        [this, results, done](const std::string& error, bool cancelled) {
            work_.reset();
            Notify(kChangeWork);
            if (cancelled) return;
            if (!error.empty() && view_) view_->Report(error);
            if (done) done(std::move(*results));
        },
        [this](std::function<void()> f) { Post(std::move(f)); }));
}

void Engine::CheckExportTarget(const std::string& path) const {
    // Writing audio over the song would lose it, whatever path leads there.
    if (!filePath_.empty() && IsSameFile(path, filePath_))
        ThrowError(kErrInvalidArgument,
                   Quoted(FileNameOfPath(path)) +
                       " is the song itself: exporting to it would replace the song with "
                       "audio. Choose another file.");
}

namespace {

// Writes what choice asks for: a MIDI file, stems into a folder, or the mix.
bool WriteExport(const Song& song, const ExportChoice& choice, const std::string& path,
                 const std::string& name, const Progress& progress, std::uint64_t* clipped) {
    if (choice.format == ExportChoice::Format::kMidi) {
        ExportMidiFile(song, choice, path, name);
        if (clipped) *clipped = 0;
        return true;
    }
    if (choice.stems) return ExportStems(song, choice, path, progress, clipped);
    return ExportSong(song, choice, path, progress, clipped);
}

}  // namespace

bool Engine::Export(const ExportChoice& choice, const std::string& path, const Progress& progress) {
    CheckExport(*song_, choice, Quoted(DocumentName()));
    CheckExportTarget(path);
    return WriteExport(*song_, choice, path, DocumentName(), progress, &exportClipped_);
}

void Engine::ExportInBackground(const ExportChoice& choice, const std::string& path,
                                std::function<void(const std::string&)> done) {
    if (work_) ThrowBusy(*work_);
    const std::string name = Quoted(DocumentName());
    CheckExport(*song_, choice, name);
    CheckExportTarget(path);
    auto snapshot = std::make_shared<Song>(DetachedCopy(*song_));
    auto clipped = std::make_shared<std::uint64_t>(0);
    StartWork(std::make_unique<BackgroundWork>(
        "Exporting " + name,
        [snapshot, choice, path, clipped, title = DocumentName()](const Progress& progress) {
            if (!WriteExport(*snapshot, choice, path, title, progress, clipped.get()))
                ThrowCancelled();
        },
        [this, done, clipped](const std::string& error, bool cancelled) {
            exportClipped_ = error.empty() && !cancelled ? *clipped : 0;
            work_.reset();
            Notify(kChangeWork);
            if (done) done(cancelled ? std::string() : error);
        },
        [this](std::function<void()> f) { Post(std::move(f)); }));
}

bool Engine::AutosaveNow() {
    if (!recovery_ || !IsModified() || revision_ == keptRevision_) return false;
    if (autosave_ && !autosave_->Ended()) return false;
    // A failing autosave is tried again quietly, not at every interval.
    const auto now = std::chrono::steady_clock::now();
    if (!recoveryProblem_.empty() && revision_ == failedRevision_ &&
        now - failedAt_ < std::chrono::minutes(1))
        return false;
    auto snapshot = std::make_shared<Song>(DetachedCopy(*song_));
    const unsigned revision = revision_;
    const std::string path = filePath_;
    SongRecovery* recovery = recovery_.get();
    autosave_ = std::make_unique<BackgroundWork>(
        "Keeping the song for recovery",
        [recovery, snapshot, path](const Progress&) { recovery->Keep(*snapshot, path); },
        [this, revision](const std::string& error, bool) {
            if (error.empty()) {
                keptRevision_ = revision;
                if (!recoveryProblem_.empty()) {
                    recoveryProblem_.clear();
                    Notify(kChangeDocument);
                }
                return;
            }
            failedRevision_ = revision;
            failedAt_ = std::chrono::steady_clock::now();
            const bool first = recoveryProblem_.empty();
            recoveryProblem_ = error;
            Notify(kChangeDocument);
            if (first && view_)
                view_->Report("Changes are not being kept for recovery: " + error +
                              ". Trellon tries again as you go on; save your work meanwhile.");
        },
        [this](std::function<void()> f) { Post(std::move(f)); });
    return true;
}
