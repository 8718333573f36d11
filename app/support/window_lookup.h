// The desktop's top-level windows: their captions and class names, and a
// way to hide one. On X11 they are the window system's client windows, of
// every program; elsewhere only this program's own windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TopLevelWindow {
  public:
    virtual ~TopLevelWindow() = default;
    virtual std::string Caption() const = 0;
    virtual std::string ClassName() const = 0;
    virtual void SetVisible(bool visible) = 0;
};

class WindowCollection {
  public:
    explicit WindowCollection(std::vector<std::unique_ptr<TopLevelWindow>> windows)
        : windows_(std::move(windows)) {}
    std::size_t Count() const { return windows_.size(); }
    // The first window whose caption is exactly caption and, unless
    // className is empty, whose class is className; null when there is none.
    TopLevelWindow* FindByCaption(const std::string& caption, const std::string& className) const;

  private:
    std::vector<std::unique_ptr<TopLevelWindow>> windows_;
};

// Needs a QGuiApplication. Throws AppError when the window system cannot be asked.
WindowCollection TopLevelWindows();
