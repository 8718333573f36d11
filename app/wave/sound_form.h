// The sample window: the waveform of one WAV file named on the command
// line. The mouse selects a stretch; the space bar plays and stops it.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "forms/error_box.h"
#include "sound/event_service.h"
#include "wave/peak_view.h"

class SoundForm : public QWidget, public DirectXEvent8 {
  public:
    SoundForm();
    ~SoundForm() override;

    // The load handler: the file named by commandLine (quotes around it
    // removed) is shown. Throws AppError when it cannot be read.
    void Load(const std::string& commandLine);
    // The same for a screen screenWidth pixels wide (0: the real screen).
    void Load(const std::string& commandLine, LONG screenWidth);
    PeakView& View() { return view_; }
    void DXCallback(LONG eventid) override;

    // The handlers, with the form's key codes and pixel columns.
    void KeyDown(int keyCode, int shift);
    void MouseDown(int button, int shift, double x, double y);
    void MouseMove(int button, int shift, double x, double y);
    void MouseUp(int button, int shift, double x, double y);

    // s without one pair of double quotes around it.
    static std::string StripQuotes(const std::string& s);

    // How errors are shown (tests record them).
    void SetErrorReporter(ErrorReporter r) { report_.SetReporter(std::move(r)); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    PeakView view_;
    ErrorReport report_;
};
