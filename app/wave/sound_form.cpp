#include "wave/sound_form.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>

#include "forms/error_box.h"
#include "forms/key_codes.h"
#include "forms/twips.h"
#include "import/audio_import.h"
#include "output/av_module.h"
#include "support/app_error.h"
#include "support/program_name.h"

namespace {

int ButtonOf(const QMouseEvent& e) {
    const Qt::MouseButtons b =
        e.button() != Qt::NoButton ? Qt::MouseButtons(e.button()) : e.buttons();
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
           (b & Qt::MiddleButton ? 4 : 0);
}

LONG RoundX(double x) {
    return static_cast<LONG>(std::nearbyint(x));
}

}  // namespace

SoundForm::SoundForm()
    : report_(kProgramTitle, [this](const std::string& d) {
          ShowErrorBox(this, kProgramTitle, d, QMessageBox::Warning);
      }) {
    setWindowTitle(QStringLiteral("Track"));
    // 503 pixels wide as designed, and tall enough for the whole drawing
    // (y 0 to 512).
    setFixedSize(TwipsToPixels(7545), 513);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);  // moves without a button reach the handler too
}

SoundForm::~SoundForm() {
    GetAvSystem().DetachSink(this);
}

std::string SoundForm::StripQuotes(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

void SoundForm::Load(const std::string& commandLine) {
    Load(commandLine, 0);
}

void SoundForm::Load(const std::string& commandLine, LONG screenWidth) {
    // Any audio file, as the song's samples hear it.
    ImportedAudio audio = ImportAudioFile(StripQuotes(commandLine));
    view_.Attach(this, this, audio.wav.get(), screenWidth);
}

void SoundForm::DXCallback(LONG eventid) {
    try {
        view_.DXCallback(eventid);
    } catch (const std::exception& e) {
        report_(ErrorText(e));
    }
}

void SoundForm::KeyDown(int keyCode, int) {
    if (keyCode != kKeySpace) return;
    try {
        if (view_.IsPlaying())
            view_.StopPlaying();
        else
            view_.PlaySelection();
    } catch (const std::exception& e) {
        report_(ErrorText(e));
    }
}

void SoundForm::MouseDown(int, int, double x, double) {
    try {
        view_.BeginSelection(RoundX(x));
    } catch (const std::exception& e) {
        report_(ErrorText(e));
    }
}

void SoundForm::MouseMove(int, int, double x, double) {
    try {
        if (view_.IsSelecting()) view_.ContinueSelection(RoundX(x));
    } catch (const std::exception&) {
        // A move that cannot be followed is skipped.
    }
}

void SoundForm::MouseUp(int, int, double x, double) {
    try {
        if (view_.IsSelecting()) view_.FinishSelection(RoundX(x));
    } catch (const std::exception& e) {
        report_(ErrorText(e));
    }
}

void SoundForm::keyPressEvent(QKeyEvent* event) {
    KeyDown(FormKeyCode(*event), FormShiftState(event->modifiers()));
}

void SoundForm::mousePressEvent(QMouseEvent* e) {
    MouseDown(ButtonOf(*e), FormShiftState(e->modifiers()), e->position().x(), e->position().y());
}

void SoundForm::mouseMoveEvent(QMouseEvent* e) {
    MouseMove(ButtonOf(*e), FormShiftState(e->modifiers()), e->position().x(), e->position().y());
}

void SoundForm::mouseReleaseEvent(QMouseEvent* e) {
    MouseUp(ButtonOf(*e), FormShiftState(e->modifiers()), e->position().x(), e->position().y());
}
