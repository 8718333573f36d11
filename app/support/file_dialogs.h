// The open and save dialogs for files of one type (or of several, their
// extensions apart by spaces: "loop h2song"). FileName starts as a
// proposal (a folder to start in, or a file to suggest; empty for none) and
// receives the chosen path; it is empty when the user cancels.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QWidget;

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    virtual void ShowOpenFileDialog(std::string& fileName, const std::string& extension,
                                    const std::string& description, QWidget* owner) = 0;
    virtual void ShowSaveFileDialog(std::string& fileName, const std::string& extension,
                                    const std::string& description, QWidget* owner) = 0;
    // An open dialog for files matching patterns ("*.wav *.flac"), with a
    // Play button that hands the selected file to preview.
    virtual void ShowAudioFileDialog(std::string& fileName, const std::string& description,
                                     const std::string& patterns,
                                     const std::function<void(const std::string&)>& preview,
                                     QWidget* owner) = 0;
    // A folder to write into (made when missing), titled title.
    virtual void ShowFolderDialog(std::string& folder, const std::string& title,
                                  QWidget* owner) = 0;
};

// Modal Qt dialogs filtered to "Description (*.extension)". The save dialog
// adds the extension to a name typed without it and asks before replacing.
std::unique_ptr<FileDialogs> MakeFileDialogs();
