#include "support/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <QString>

namespace {

QString FilterOf(const std::string& extensions, const std::string& description) {
    QStringList patterns;
    for (const QString& e : QString::fromStdString(extensions).split(u' ', Qt::SkipEmptyParts))
        patterns << QStringLiteral("*.") + e;
    return QString::fromStdString(description) + QStringLiteral(" (") + patterns.join(u' ') +
           QStringLiteral(")");
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

    void ShowAudioFileDialog(std::string& fileName, const std::string& description,
                             const std::string& patterns,
                             const std::function<void(const std::string&)>& preview,
                             QWidget* owner) override {
        // Qt's own dialog, so that a Play button can sit in it.
        QFileDialog dialog(owner);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QString::fromStdString(description + " (" + patterns + ")"),
                               QStringLiteral("All files (*)")});
        Propose(dialog, fileName);
        auto* play = new QPushButton(QStringLiteral("&Play"), &dialog);  // owned by the dialog
        play->setEnabled(false);
        QString current;
        QObject::connect(&dialog, &QFileDialog::currentChanged, play, [&](const QString& path) {
            current = path;
            play->setEnabled(QFileInfo(path).isFile());
        });
        QObject::connect(play, &QPushButton::clicked, &dialog,
                         [&] { preview(current.toStdString()); });
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(play, grid->rowCount(), 0, 1, -1, Qt::AlignLeft);
        fileName.clear();
        if (dialog.exec() != QDialog::Accepted) return;
        const QStringList chosen = dialog.selectedFiles();
        if (!chosen.isEmpty()) fileName = chosen.front().toStdString();
    }

    void ShowFolderDialog(std::string& folder, const std::string& title, QWidget* owner) override {
        QFileDialog dialog(owner, QString::fromStdString(title));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        Propose(dialog, folder);
        folder.clear();
        if (dialog.exec() != QDialog::Accepted) return;
        const QStringList chosen = dialog.selectedFiles();
        if (!chosen.isEmpty()) folder = chosen.front().toStdString();
    }

  private:
    static void Propose(QFileDialog& dialog, const std::string& fileName) {
        const QString proposal = QString::fromStdString(fileName);
        if (QFileInfo(proposal).isDir())
            dialog.setDirectory(proposal);
        else if (!proposal.isEmpty())
            dialog.selectFile(proposal);
    }

    static void Show(std::string& fileName, const std::string& extension,
                     const std::string& description, QWidget* owner, QFileDialog::AcceptMode mode) {
        QFileDialog dialog(owner);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        dialog.setNameFilter(FilterOf(extension, description));
        dialog.setDefaultSuffix(QString::fromStdString(extension).section(u' ', 0, 0));
        Propose(dialog, fileName);
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
