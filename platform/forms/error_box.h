// The error report of the windows: a message box with the error's
// description, only an OK button, and the program's title as caption.
#pragma once

#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* owner, const std::string& title,
                                          const std::string& description,
                                          QMessageBox::Icon icon = QMessageBox::NoIcon);
// Shows the box modally.
void ShowErrorBox(QWidget* owner, const std::string& title, const std::string& description,
                  QMessageBox::Icon icon = QMessageBox::NoIcon);

// How a window reports an error; tests install one that records it.
using ErrorReporter = std::function<void(const std::string& description)>;

// A window's error report, one at a time: a box runs the event loop, so
// errors that come while one is open go to the standard error stream,
// after the program's name.
class ErrorReport {
  public:
    ErrorReport(std::string programName, ErrorReporter show)
        : programName_(std::move(programName)), show_(std::move(show)) {}
    void SetReporter(ErrorReporter show) { show_ = std::move(show); }
    void operator()(const std::string& description);

  private:
    std::string programName_;
    ErrorReporter show_;
    bool open_ = false;
};
