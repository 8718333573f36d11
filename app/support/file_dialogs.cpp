#include "support/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QString>

namespace {

QString FilterOf(const std::string& extension, const std::string& description) {
    return QString::fromStdString(description) + QStringLiteral(" (*.") +
           QString::fromStdString(extension) + QStringLiteral(")");
}

class QtFileDialogs : public FileDialogs {
  public:
    void ShowOpenFileDialog(std::string& fileName, const std::string& extension,
                            const std::string& description, QWidget* owner) override {
        Show(fileName, extension, description, owner, QFileDialog::AcceptOpen);
    }
    void ShowSaveFileDialog(std::string& fileName, const std::string& extension,
                            const std::string& description, QWidget* owner) override {
        Show(fileName, extension, description, owner, QFileDialog::AcceptSave);
    }

  private:
    static void Show(std::string& fileName, const std::string& extension,
                     const std::string& description, QWidget* owner, QFileDialog::AcceptMode mode) {
        QFileDialog dialog(owner);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        dialog.setNameFilter(FilterOf(extension, description));
        dialog.setDefaultSuffix(QString::fromStdString(extension));
        const QString proposal = QString::fromStdString(fileName);
        if (QFileInfo(proposal).isDir())
            dialog.setDirectory(proposal);
        else if (!proposal.isEmpty())
            dialog.selectFile(proposal);
        fileName.clear();
        if (dialog.exec() != QDialog::Accepted) return;
        const QStringList chosen = dialog.selectedFiles();
        if (!chosen.isEmpty()) fileName = chosen.front().toStdString();
    }
};

}  // namespace

std::unique_ptr<FileDialogs> MakeFileDialogs() {
    return std::make_unique<QtFileDialogs>();
}
