#include "support/prompts.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "support/text_format.h"

namespace {

class QtPrompts : public Prompts {
  public:
    explicit QtPrompts(std::string title) : title_(QString::fromStdString(title)) {}

    SaveChoice AskToSaveChanges(const std::string& name, QWidget* owner) override {
        QMessageBox box(QMessageBox::Warning, title_,
                        QString::fromStdString("Save changes to " + Quoted(name) + "?"),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
        box.setInformativeText(QStringLiteral("Your changes are lost if you do not save them."));
        box.setDefaultButton(QMessageBox::Save);
        const int answer = box.exec();
        return answer == QMessageBox::Save      ? SaveChoice::kSave
               : answer == QMessageBox::Discard ? SaveChoice::kDiscard
                                                : SaveChoice::kCancel;
    }

    OverwriteChoice AskToOverwrite(const std::string& name, QWidget* owner) override {
        QMessageBox box(QMessageBox::Warning, title_,
                        QString::fromStdString("\u201C" + name +
                                               "\u201D has changed on disk since you opened it "
                                               "(another program, or another Trellon, saved "
                                               "it). Overwrite it with this song?"),
                        QMessageBox::NoButton, owner);
        QPushButton* overwrite =
            box.addButton(QStringLiteral("&Overwrite"), QMessageBox::AcceptRole);
        QPushButton* saveAs = box.addButton(QStringLiteral("Save &As..."), QMessageBox::ActionRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(saveAs);
        box.exec();
        return box.clickedButton() == overwrite ? OverwriteChoice::kOverwrite
               : box.clickedButton() == saveAs  ? OverwriteChoice::kSaveAs
                                                : OverwriteChoice::kCancel;
    }
    KitChoice AskHowToAddKit(const std::string& question, QWidget* owner) override {
        QMessageBox box(QMessageBox::Question, title_, QString::fromStdString(question),
                        QMessageBox::NoButton, owner);
        QPushButton* replace =
            box.addButton(QStringLiteral("&Replace Sounds"), QMessageBox::AcceptRole);
        QPushButton* add = box.addButton(QStringLiteral("&Add Tracks"), QMessageBox::ActionRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(add);
        box.exec();
        return box.clickedButton() == replace ? KitChoice::kReplace
               : box.clickedButton() == add   ? KitChoice::kAdd
                                              : KitChoice::kCancel;
    }
    bool Ask(const std::string& question, QWidget* owner) override {
        QMessageBox box(QMessageBox::Question, title_, QString::fromStdString(question),
                        QMessageBox::Yes | QMessageBox::No, owner);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    }

    void Tell(const std::string& note, QWidget* owner) override {
        QMessageBox box(QMessageBox::Information, title_, QString::fromStdString(note),
                        QMessageBox::Ok, owner);
        box.exec();
    }

    bool AskText(const std::string& question, std::string& text, QWidget* owner) override {
        bool ok = false;
        const QString answer =
            QInputDialog::getText(owner, title_, QString::fromStdString(question),
                                  QLineEdit::Normal, QString::fromStdString(text), &ok);
        if (ok) text = answer.toStdString();
        return ok;
    }

  private:
    QString title_;
};

}  // namespace

std::unique_ptr<Prompts> MakePrompts(const std::string& title) {
    return std::make_unique<QtPrompts>(title);
}
